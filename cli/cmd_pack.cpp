// sitedex pack: writes a record file anew, dense, with every record, memo and key kept.
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "cli/commands.h"
#include "cli/record_commands.h"
#include "cli/record_files.h"

namespace sitedex::cli {

int runPack(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir)) return 2;
    if (args.size() != 2 || std::string_view(args[1]) == "--help") {
        bool help = args.size() == 2;
        std::fputs("Usage: sitedex pack FILE [--data-dir DIR]\n"
                   "Writes FILE (NAME\\!TABLE for one table) anew with every page filled, its keys rebuilt from\n"
                   "its records, and cuts the space given back off the file. Records, their numbers, memos and\n"
                   "keys are kept; an interrupted pack leaves the file as it was. A damaged file is not packed:\n"
                   "see sitedex check and sitedex rebuild.\n",
                   help ? stdout : stderr);
        return help ? 0 : 2;
    }
    std::string path, table;
    resolveRecordFile(dir, args[1], path, table);
    if (std::string why = whyNotARegularFile(path); !why.empty()) {
        std::fprintf(stderr, "sitedex pack: %s: %s\n", args[1], why.c_str());
        return 1;
    }
    std::error_code ec;
    uint64_t before = std::filesystem::file_size(path, ec);
    std::vector<std::string> tables;
    record::Status s = tablesOf(path, table, tables);
    uint32_t total = 0;
    for (size_t t = 0; s.ok() && t < tables.size(); ++t) {
        std::unique_ptr<record::RecordFile> f;
        s = record::RecordFile::open(path, tables[t], nullptr, toolOptions(), f);
        if (s.ok()) s = f->pack();
        uint32_t n = 0;
        if (s.ok()) s = f->recordCount(n);
        total += n;
    }
    if (!s.ok()) {
        std::fprintf(stderr, "sitedex pack: %s: %s\n", args[1], describe(s).c_str());
        return 1;
    }
    uint64_t after = std::filesystem::file_size(path, ec);
    std::printf("%s: packed, %u records, %llu bytes (was %llu)\n", args[1], total, (unsigned long long)after,
                (unsigned long long)before);
    return 0;
}

}  // namespace sitedex::cli
