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

// The names of record files (*.VLX, any case) of a directory, sorted, whatever they are on disk.
std::vector<std::string> recordFilesIn(const std::string& dir);

// Why a record file's name cannot be opened as a file (a directory, a link that leads round in a
// circle, a device); empty for a regular file and for a link to a file not made yet.
std::string whyNotARegularFile(const std::string& path);

// Resolves a FILE argument: the path and table; `table` is empty when none was named.
void resolveRecordFile(const std::string& dataDir, const std::string& arg, std::string& path, std::string& table);

// The tables to work on: the one named, or every table of the file.
record::Status tablesOf(const std::string& path, const std::string& table, std::vector<std::string>& tables);

// One line for a failed engine call, with the page offset of a damaged file.
std::string describe(const record::Status& s);

}  // namespace sitedex::cli
