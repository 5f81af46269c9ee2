#include "drivers/standard_drivers.h"

#include "data/driver_registry.h"
#include "drivers/record/velox_driver.h"
#include "drivers/text/text_driver.h"

namespace sitedex::drivers {

void registerStandardDrivers() {
    if (data::findDriver("VELOX") == &record::veloxDriverDescriptor() && data::findDriver("ASCII") == &text::descriptor())
        return;
    data::registerDriver(text::descriptor());
    data::registerDriver(record::veloxDriverDescriptor());
}

}  // namespace sitedex::drivers
