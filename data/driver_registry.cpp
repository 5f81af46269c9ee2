#include "data/driver_registry.h"

#include <vector>

namespace sitedex::data {

namespace detail {
uint64_t g_driverRegistryGeneration = 1;
}

namespace {

struct Registry {
    std::vector<const DriverDescriptor*> drivers;
};

Registry& registry() {
    static Registry r;
    return r;
}

void put(const DriverDescriptor& d) {
    ++detail::g_driverRegistryGeneration;
    auto& v = registry().drivers;
    for (auto& p : v)
        if (sameName(p->name, d.name)) {
            p = &d;
            return;
        }
    v.push_back(&d);
}

}  // namespace

void registerDriver(const DriverDescriptor& descriptor) { put(descriptor); }

void unregisterDriver(std::string_view name) {
    ++detail::g_driverRegistryGeneration;
    auto& v = registry().drivers;
    for (auto it = v.begin(); it != v.end(); ++it)
        if (sameName((*it)->name, name)) {
            v.erase(it);
            return;
        }
}

const DriverDescriptor* findDriver(std::string_view name) {
    for (const DriverDescriptor* d : registry().drivers)
        if (sameName(d->name, name)) return d;
    return nullptr;
}

}  // namespace sitedex::data
