#include "cli/record_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace sitedex::cli {

namespace fs = std::filesystem;

std::vector<std::string> recordFilesIn(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    // Every name counts, whatever it is: a directory or a broken link under a data file's name is
    // a problem to report, not something to pass over.
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        std::string ext = e.path().extension().string();
        for (char& c : ext) c = char(toupper(static_cast<unsigned char>(c)));
        if (ext == ".VLX") out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string whyNotARegularFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ELOOP) return "cannot be opened: a symbolic link that leads round in a circle";
        // (A link to a file not made yet is made when first needed, as a missing file is.)
        if (errno == ENOENT) return {};
        return std::string("cannot be opened: ") + std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return "cannot be opened: it is a directory, not a record file";
    if (!S_ISREG(st.st_mode)) return "cannot be opened: it is not a regular file";
    return {};
}

void resolveRecordFile(const std::string& dataDir, const std::string& arg, std::string& path, std::string& table) {
    record::splitTableName(arg, path, table);
    if (arg.find("\\!") == std::string::npos) table.clear();
    std::error_code ec;
    if (!fs::path(path).is_absolute() && !fs::exists(path, ec)) path = (fs::path(dataDir) / path).string();
}

record::Status tablesOf(const std::string& path, const std::string& table, std::vector<std::string>& tables) {
    if (!table.empty()) {
        tables = {table};
        return {};
    }
    record::Status s = record::RecordFile::listTables(path, tables);
    if (s.ok() && tables.empty()) return record::Status::error(record::kInvalidDataFile, "no tables");
    return s;
}

std::string describe(const record::Status& s) {
    using namespace record;
    switch (s.code) {
        case kDamaged:
            return "damaged page at offset " + std::to_string(s.offset) + ": " + s.detail + " (check " +
                   std::to_string(s.check) + ")";
        case kInvalidDataFile:
            return "not a record file" + (s.detail.empty() || s.detail == "not a record file" ? "" : " (" + s.detail + ")");
        case kNotFound:
            return "not found" + (s.detail.empty() ? "" : " (" + s.detail + ")");
        case kBadDeclaration:
            return "invalid stored definition (" + s.detail + ")";
        case kLocked:
            return "locked by another program";
        case kRebuildKeys:
            return "keys must be rebuilt (" + s.detail + "; sitedex rebuild does it)";
        case kDuplicate:
            return "duplicate value in unique key " + s.detail;
        default:
            return s.toString();
    }
}

}  // namespace sitedex::cli
