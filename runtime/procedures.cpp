#include "runtime/procedures.h"

#include <map>

#include "runtime/thread_state.h"

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

namespace {
struct CallVariables {
    long request = 0;
    long response = 0;
};
PerThread<CallVariables>& callVariables() {
    static PerThread<CallVariables> v;
    static const bool hooked = [] {
        addThreadEndHook([](int thread) { callVariables().reset(thread); });
        return true;
    }();
    (void)hooked;
    return v;
}
}  // namespace

long& CallRequest() { return callVariables().current().request; }
long& CallResponse() { return callVariables().current().response; }

}  // namespace sitedex::runtime
