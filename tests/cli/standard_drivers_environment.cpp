// The test program enters the drivers that come with the program, as the program's start does.
#include <gtest/gtest.h>

#include "drivers/standard_drivers.h"

namespace {

class StandardDrivers : public ::testing::Environment {
public:
    void SetUp() override { sitedex::drivers::registerStandardDrivers(); }
};

[[maybe_unused]] ::testing::Environment* const g_standardDrivers =
    ::testing::AddGlobalTestEnvironment(new StandardDrivers);

}  // namespace
