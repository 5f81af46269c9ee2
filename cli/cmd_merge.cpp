// sitedex merge: adds the locations of another Sitedex database, as File > Merge URL databases does.
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "app/import/database_import.h"
#include "app/import/database_merge.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/data_transfer_commands.h"
#include "cli/progress.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex merge PATH [--data-dir DIR]\n"
    "Adds the locations of another Sitedex database to this one. PATH is the other database's folder\n"
    "or its URL_L.VLX; it is only read, and may be open in another running Sitedex meanwhile.\n"
    "Each location is added with its address, description, category, rating and keyword; its site\n"
    "information is not carried over, and no categories are made. Addresses already here (in any\n"
    "letter case) are passed over. Prints how many locations were added and how many were already\n"
    "present. Ctrl+C stops the merge; what was added until then stays.\n";

}  // namespace

int runMerge(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    // PATH is taken from where the command was given, before the data folder becomes current.
    std::error_code ec;
    const std::filesystem::path given = std::filesystem::absolute(p.positional[0], ec);
    const std::string source =
        app::importing::mergeSourceName(ec ? p.positional[0] : given.lexically_normal().string());
    if (!std::filesystem::exists(given, ec)) {
        complain("merge", "there is no file or folder '" + p.positional[0] + "'");
        return kExitRefused;
    }
    if (source.empty()) {
        complain("merge", "'" + p.positional[0] +
                              "' is not a Sitedex database: give its folder or its URL_L.VLX. You can only import from "
                              "databases created by Sitedex version 1.5 and above.");
        return kExitRefused;
    }
    DataSession session(dir, {});
    return session.run([&] {
        app::importing::DatabaseMerge merge(source);
        if (!merge.open())
            return kExitRefused;
        const bool finished = runToEnd(merge, "Merging");
        if (merge.outcome() == app::importing::DatabaseMerge::Outcome::kFailed)
            return kExitRefused;
        std::printf("%s\n", merge.summary().c_str());
        if (!finished) {
            complain("merge", "cancelled; the locations added until then stay");
            return kExitRefused;
        }
        return merge.failed() > 0 ? kExitRefused : kExitOk;
    });
}

}  // namespace sitedex::cli
