#include "cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell/main_frame.h"
#include "cli/commands.h"
#include "cli/maintenance_commands.h"
#include "cli/record_commands.h"
#include "drivers/record/velox_driver.h"
#include "drivers/standard_drivers.h"

namespace sitedex::cli {

namespace {
// Each command adds its line here.
const Command kCommands[] = {
    {"check", "check every record file of the data directory", runCheck},
    {"dump", "print a record file's definition and records", runDump},
    {"rebuild", "rebuild a record file from every record it can read", runRebuild},
    {"pack", "write a record file anew, dense", runPack},
    {"list", "list the locations (tsv, csv or json)", runList},
    {"add", "add a location", runAdd},
    {"remove", "delete a location", runRemove},
    {"categories", "list the categories (tsv, csv or json)", runCategories},
    {"add-category", "add a category", runAddCategory},
    {"rename-category", "rename a category, with its snippets and locations", runRenameCategory},
    {"remove-category", "delete a category with its snippets and locations", runRemoveCategory},
    {"", "", nullptr},
};

bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

void printUsage() {
    std::fputs(
        "Usage: sitedex [--help]\n"
        "       sitedex COMMAND [--data-dir DIR] [ARGUMENTS]\n"
        "\n"
        "Sitedex keeps a database of web locations (bookmarks) in categories.\n"
        "Started without a command it opens its window; that needs a graphical display.\n"
        "Commands work without a display on the data files in DIR (default: the working directory).\n",
        stdout);
    bool any = false;
    for (const Command& c : commands()) {
        if (!any) std::fputs("\nCommands:\n", stdout);
        any = true;
        std::printf("  %-16.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.summary.size()), c.summary.data());
    }
    std::fputs("\nOptions:\n  --help           show this text (or a command's own, after the command)\n"
               "  --wait SECONDS   how long a command waits for a file another program is changing, before it\n"
               "                   reports the file in use (default 5)\n",
               stdout);
    std::fputs("\nExit status: 0 success; 1 a refused request or a problem found (the message is on standard\n"
               "error); 2 a usage error.\n",
               stdout);
}
}  // namespace

std::span<const Command> commands() {
    std::span<const Command> all(kCommands);
    // The table may hold an empty terminator while no command is registered.
    while (!all.empty() && all.back().run == nullptr) all = all.first(all.size() - 1);
    return all;
}

namespace {
int g_waitSeconds = kDefaultWaitSeconds;
}  // namespace

int waitSeconds() { return g_waitSeconds; }

record::PagerOptions toolOptions() {
    record::PagerOptions o;
    o.openWaitMs = o.lockWaitMs = g_waitSeconds * 1000;
    return o;
}

bool takeDataDir(std::span<char*>& args, std::string& dir) {
    static thread_local std::vector<char*> kept;
    kept.assign(args.begin(), args.end());
    dir = ".";
    g_waitSeconds = kDefaultWaitSeconds;
    bool haveDir = false, haveWait = false;
    for (size_t i = 0; i < kept.size();) {
        bool isDir = std::strcmp(kept[i], "--data-dir") == 0, isWait = std::strcmp(kept[i], "--wait") == 0;
        if ((isDir && haveDir) || (isWait && haveWait) || (!isDir && !isWait)) {
            ++i;
            continue;
        }
        if (i + 1 >= kept.size()) {
            std::fputs(isDir ? "sitedex: --data-dir needs a folder\n" : "sitedex: --wait needs a number of seconds\n",
                       stderr);
            return false;
        }
        if (isDir) {
            dir = kept[i + 1];
            haveDir = true;
        } else {
            char* end = nullptr;
            long seconds = std::strtol(kept[i + 1], &end, 10);
            if (end == kept[i + 1] || *end || seconds < 0 || seconds > 86400) {
                std::fprintf(stderr, "sitedex: --wait needs a number of seconds (0 to 86400), not '%s'\n", kept[i + 1]);
                return false;
            }
            g_waitSeconds = int(seconds);
            haveWait = true;
        }
        kept.erase(kept.begin() + long(i), kept.begin() + long(i) + 2);
    }
    // Another program's change holds a file for this long at most before the command says the file
    // is in use and ends (exit 1), instead of seeming to hang.
    record::setVeloxWaits(g_waitSeconds * 1000, g_waitSeconds * 1000);
    args = std::span<char*>(kept);
    return true;
}

int run(int argc, char** argv) {
    drivers::registerStandardDrivers();
    std::span<char*> args(argv, size_t(argc));
    if (args.size() > 1) {
        std::string_view first = args[1];
        if (first == "--help" || first == "-h") {
            printUsage();
            return 0;
        }
        for (const Command& c : commands())
            if (c.name == first) return c.run(args.subspan(1));
        std::fprintf(stderr, "sitedex: unknown command or option '%s' (see sitedex --help)\n", argv[1]);
        return 2;
    }
    if (!haveDisplay()) {
        std::fputs(
            "sitedex: no graphical display is available (DISPLAY is not set); start Sitedex from a desktop "
            "session, or see sitedex --help for the commands that work without one.\n",
            stderr);
        return 1;
    }
    return app::shell::runDesktopProgram(argc, argv);
}

}  // namespace sitedex::cli
