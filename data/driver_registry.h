#pragma once
// The table of drivers by registered name ("ASCII", "VELOX"), from which a file declaration finds its
// driver. The data layer knows no driver of its own: the program's start enters the drivers that
// come with it (drivers/standard_drivers.h), and a test enters its own, before the first file
// operation. A name with no driver makes every operation of its files fail with 80 "Unsupported File
// Driver Function".
//
// Callers: the access layer (lookup); start-up code and tests (registration).

#include "data/driver.h"

#include <string_view>

namespace sitedex::data {

// Enters or replaces the driver under descriptor.name. The descriptor must outlive its use.
void registerDriver(const DriverDescriptor& descriptor);
// Removes the name (tests only).
void unregisterDriver(std::string_view name);
// The driver registered under the name (case-insensitive), or null.
const DriverDescriptor* findDriver(std::string_view name);
// Raised by every registration change, so that declarations can cache their lookup (declared with
// FileDecl, which asks on every operation).
inline uint64_t driverRegistryGeneration() { return detail::g_driverRegistryGeneration; }

}  // namespace sitedex::data
