#include "runtime/procedures.h"

#include <map>

namespace sitedex::runtime {

namespace {
std::map<std::string, ProcedureFunction, std::less<>>& registry() {
    static std::map<std::string, ProcedureFunction, std::less<>> r;
    return r;
}
}  // namespace

void registerProcedure(std::string name, ProcedureFunction function) { registry()[std::move(name)] = std::move(function); }

void unregisterProcedure(std::string_view name) {
    if (auto it = registry().find(name); it != registry().end()) registry().erase(it);
}

const ProcedureFunction* findProcedure(std::string_view name) {
    auto it = registry().find(name);
    return it == registry().end() ? nullptr : &it->second;
}

}  // namespace sitedex::runtime
