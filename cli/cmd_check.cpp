// sitedex check: verifies every record file of the data directory without changing it.
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "cli/commands.h"
#include "cli/record_files.h"

namespace sitedex::cli {

int runCheck(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir)) return 2;
    if (args.size() > 1) {
        if (std::string_view(args[1]) == "--help") {
            std::puts("Usage: sitedex check [--data-dir DIR]\n"
                      "Checks every record file (*.VLX) of DIR: tree order and shape, packed pages, every key\n"
                      "against the records, memo pieces. One line per file; exit code 1 when any problem is found.\n"
                      "Files are opened for reading only and never changed.");
            return 0;
        }
        std::fprintf(stderr, "sitedex check: unexpected argument '%s'\n", args[1]);
        return 2;
    }
    std::error_code dirError;
    if (!std::filesystem::is_directory(dir, dirError)) {
        std::fprintf(stderr, "sitedex check: cannot read the data folder %s: %s\n", dir.c_str(),
                     dirError ? dirError.message().c_str() : "not a folder");
        return 1;
    }
    std::vector<std::string> files = recordFilesIn(dir);
    if (files.empty()) {
        std::printf("no record files in %s\n", dir.c_str());
        return 0;
    }
    int problems = 0;
    for (const std::string& path : files) {
        std::string name = std::filesystem::path(path).filename().string();
        if (std::string why = whyNotARegularFile(path); !why.empty()) {
            ++problems;
            std::printf("%s: %s\n", name.c_str(), why.c_str());
            continue;
        }
        std::error_code ec;
        if (std::filesystem::file_size(path, ec) == 0 && !ec) {
            std::printf("%s: ok (empty, not yet used)\n", name.c_str());
            continue;
        }
        std::vector<std::string> tables;
        record::Status s = tablesOf(path, "", tables);
        if (s.code == record::kNotFound) {
            // Its making was cut short before anything was in it: the next program to write it makes
            // it anew.
            std::printf("%s: ok (empty, not yet used)\n", name.c_str());
            continue;
        }
        std::string line;
        uint64_t lost = 0;
        for (size_t i = 0; s.ok() && i < tables.size(); ++i) {
            std::unique_ptr<record::RecordFile> f;
            record::PagerOptions o = toolOptions();
            o.writable = false;
            s = record::RecordFile::open(path, tables[i], nullptr, o, f);
            record::RecordFile::CheckReport rep;
            if (s.ok()) s = f->check(rep);
            if (!s.ok()) {
                if (tables.size() > 1) s.detail = "table " + tables[i] + ": " + s.detail;
                break;
            }
            if (!line.empty()) line += ", ";
            line += std::to_string(rep.records) + (rep.records == 1 ? " record" : " records");
            if (tables.size() > 1 || tables[i] != "UNNAMED") line += " in " + tables[i];
            lost = rep.unaccountedBytes;
        }
        // Space no page uses and the free-space map does not list is not damage (every record is
        // whole), but it is lost to use until the file is packed.
        if (s.ok() && lost)
            line += "; " + std::to_string(lost) + " bytes neither in use nor listed as free (sitedex pack " +
                    name + " gives them back)";
        if (s.ok()) {
            std::printf("%s: ok, %s\n", name.c_str(), line.c_str());
        } else {
            ++problems;
            std::printf("%s: %s\n", name.c_str(), describe(s).c_str());
        }
    }
    return problems ? 1 : 0;
}

}  // namespace sitedex::cli
