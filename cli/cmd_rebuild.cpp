// sitedex rebuild: writes a record file anew from every record it can read, keys rebuilt, keeping
// the file as it was in a backup.
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "cli/commands.h"
#include "cli/record_commands.h"
#include "cli/record_files.h"
#include "data/dictionary.h"
#include "drivers/record/rebuild.h"
#include "drivers/record/velox_driver.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex rebuild FILE [--data-dir DIR]\n"
    "Rebuilds FILE (NAME\\!TABLE names a table; every table of the file is rebuilt) from every record\n"
    "it can read, even when the file is damaged: the records keep their numbers, their site\n"
    "information is kept up to any damaged piece, and every key is made anew from them. The new\n"
    "file is checked before it takes the old one's place; the old one is kept beside it as\n"
    "FILE.<date>-<time>.bak. Says how many records were saved and how many could not be read; exit\n"
    "code 1 when some could not be, or when nothing could be read (the file is then left as it was).\n";

// The program's own files are rebuilt with their declared definitions where the stored ones are
// damaged.
std::map<std::string, record::Schema> declaredFor(const std::string& path) {
    std::string stem = std::filesystem::path(path).stem().string();
    for (char& c : stem) c = char(toupper(static_cast<unsigned char>(c)));
    for (data::FileDecl* f : {&data::SITEDX, &data::Categories, &data::CatHTML, &data::History, &data::OldLocations,
                              &data::OldCatHTML, &data::OldCategories}) {
        std::string name(f->name());
        for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
        if (name == stem) return {{"UNNAMED", record::veloxSchemaOf(*f)}};
    }
    return {};
}

}  // namespace

int runRebuild(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir)) return 2;
    if (args.size() != 2 || std::string_view(args[1]) == "--help") {
        bool help = args.size() == 2;
        std::fwrite(kUsage.data(), 1, kUsage.size(), help ? stdout : stderr);
        return help ? 0 : 2;
    }
    std::string path, table;
    resolveRecordFile(dir, args[1], path, table);
    if (std::string why = whyNotARegularFile(path); !why.empty()) {
        std::fprintf(stderr, "sitedex rebuild: %s: %s\n", args[1], why.c_str());
        return 1;
    }
    record::RebuildReport report;
    record::Status s = record::rebuildFile(path, declaredFor(path), toolOptions(), report);
    for (const std::string& line : report.damage) std::fprintf(stderr, "sitedex rebuild: %s: %s\n", args[1], line.c_str());
    if (!s.ok()) {
        std::fprintf(stderr, "sitedex rebuild: %s: %s\n", args[1], describe(s).c_str());
        return 1;
    }
    std::string backup = std::filesystem::path(report.backup).filename().string();
    std::printf("%s: rebuilt, %llu %s saved, %llu could not be read", args[1], (unsigned long long)report.saved,
                report.saved == 1 ? "record" : "records", (unsigned long long)report.unreadable);
    if (report.leftOut)
        std::printf(", %llu left out (their address or name is another record's too)", (unsigned long long)report.leftOut);
    if (report.memosCut) std::printf(", %llu kept without part of their site information", (unsigned long long)report.memosCut);
    std::printf("; the file as it was is kept as %s\n", backup.c_str());
    return report.unreadable || report.leftOut ? 1 : 0;
}

}  // namespace sitedex::cli
