#pragma once
// The drivers that come with the program: the record-file driver "VELOX" and the line text file
// driver "ASCII". The data layer knows drivers only by the names files declare; the program's start
// (and every test or benchmark program that opens files through the data layer) enters these two in
// its registry before the first file statement.

namespace sitedex::drivers {

// Enters both drivers in the data layer's registry (data/driver_registry.h); calling it again
// changes nothing.
void registerStandardDrivers();

}  // namespace sitedex::drivers
