// sitedex rebuild: recreates every key of a record file from its records.
#include <cstdio>
#include <span>
#include <string>

#include "cli/commands.h"
#include "cli/record_files.h"

namespace sitedex::cli {

int runRebuild(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir)) return 2;
    if (args.size() != 2 || std::string_view(args[1]) == "--help") {
        bool help = args.size() == 2;
        std::fputs("Usage: sitedex rebuild FILE [--data-dir DIR]\n"
                   "Rebuilds every key of FILE (NAME\\!TABLE for one table) from its records.\n",
                   help ? stdout : stderr);
        return help ? 0 : 2;
    }
    std::string path, table;
    resolveRecordFile(dir, args[1], path, table);
    std::vector<std::string> tables;
    record::Status s = tablesOf(path, table, tables);
    uint32_t total = 0;
    for (size_t t = 0; s.ok() && t < tables.size(); ++t) {
        std::unique_ptr<record::RecordFile> f;
        s = record::RecordFile::open(path, tables[t], nullptr, record::PagerOptions{}, f);
        if (s.ok()) s = f->buildKeys(-1);
        uint32_t n = 0;
        if (s.ok()) s = f->recordCount(n);
        total += n;
    }
    if (!s.ok()) {
        std::fprintf(stderr, "sitedex rebuild: %s: %s\n", args[1], describe(s).c_str());
        return 1;
    }
    std::printf("%s: keys rebuilt, %u records\n", args[1], total);
    return 0;
}

}  // namespace sitedex::cli
