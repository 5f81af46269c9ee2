#pragma once
// The one way the command-line tools find and open record files: names are taken as given or
// looked up in the data directory, "NAME\!TABLE" picks a table, ".VLX" is added when the name has
// no extension; every table of a file is opened with the definition stored in the file.
//
// Callers: the check, dump and rebuild commands.

#include <memory>
#include <string>
#include <vector>

#include "drivers/record/table.h"

namespace sitedex::cli {

// The record files (*.VLX, any case) of a directory, sorted by name.
std::vector<std::string> recordFilesIn(const std::string& dir);

// Resolves a FILE argument: the path and table; `table` is empty when none was named.
void resolveRecordFile(const std::string& dataDir, const std::string& arg, std::string& path, std::string& table);

// The tables to work on: the one named, or every table of the file.
record::Status tablesOf(const std::string& path, const std::string& table, std::vector<std::string>& tables);

// One line for a failed engine call, with the page offset of a damaged file.
std::string describe(const record::Status& s);

}  // namespace sitedex::cli
