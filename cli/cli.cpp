#include "cli/cli.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/data_transfer_commands.h"
#include "cli/export_commands.h"
#include "cli/import_command.h"
#include "cli/maintenance_commands.h"
#include "cli/record_commands.h"
#include "cli/report_command.h"
#include "drivers/record/velox_driver.h"
#include "drivers/standard_drivers.h"

#ifndef SITEDEX_VERSION
#define SITEDEX_VERSION "unknown"
#endif

namespace sitedex::cli {

// Commands that draw pages need Qt's GUI libraries: the program file leaves them to the window library.
[[gnu::weak]] int runReport(std::span<char*> args);

namespace {
// Each command adds its line here. A command that needs Qt's GUI libraries also declares its run
// function weak just above the table (see commands.h).
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
    {"merge", "add the locations of another Sitedex database", runMerge},
    {"upgrade", "convert the data files of an older version", runUpgrade},
    {"report", "write a printed list of locations or categories as PDF", runReport},
    {"import", "import the addresses of a web page, bookmark file, comma file or text", runImport},
    {"export", "write the locations as web pages, a bookmark file or text", runExport},
    {"", "", nullptr},
};

bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// The manual page and the shell completion are made from this text and the commands' own: a
// section is a line ending in ':' and its entries are indented by two spaces, with at least two
// spaces between an entry's name and its text.
void printUsage() {
    std::fputs(
        "Usage: sitedex [--data-dir DIR]\n"
        "       sitedex [--data-dir DIR] COMMAND [ARGUMENTS]\n"
        "       sitedex --help | --version\n"
        "\n"
        "Sitedex keeps a database of web locations (bookmarks) in categories.\n"
        "Started without a command it opens its window on the data files in DIR; that needs a\n"
        "graphical display. The commands work without a display on the data files in DIR. Each\n"
        "command describes itself: sitedex COMMAND --help.\n",
        stdout);
    size_t width = 16;
    for (const Command& c : commands())
        width = std::max(width, c.name.size() + 2);
    bool any = false;
    for (const Command& c : commands()) {
        if (!any)
            std::fputs("\nCommands:\n", stdout);
        any = true;
        std::printf("  %-*.*s %.*s\n", int(width), int(c.name.size()), c.name.data(), int(c.summary.size()),
                    c.summary.data());
    }
    std::fputs(
        "\nOptions:\n"
        "  --data-dir DIR   the folder of the data files (default: the working directory), before\n"
        "                   the command or among its arguments; a leading ~/ stands for the home\n"
        "                   folder. Missing data files are made; the window also makes the folder.\n"
        "  --wait SECONDS   how long a command waits for a file another program is changing before it\n"
        "                   reports the file in use and ends (default 5); the window asks instead\n"
        "  --help           show this text (or a command's own, after the command)\n"
        "  --version        show the version of the program\n"
        "\nFiles:\n"
        "  DIR/URL_L.VLX    the locations\n"
        "  DIR/URL_C.VLX    the categories\n"
        "  DIR/URL_H.VLX    the HTML snippets of the categories\n"
        "  DIR/URL_Y.VLX    the file names last used by the export\n"
        "  ~/.config/sitedex/SITEDX.INI\n"
        "                   the settings: options and the placement of the windows\n"
        "\nEnvironment:\n"
        "  SITEDEX_CONFIG_DIR\n"
        "                   the folder of SITEDX.INI, in place of ~/.config/sitedex\n"
        "  XDG_CONFIG_HOME  when set, SITEDX.INI is in XDG_CONFIG_HOME/sitedex\n"
        "  DISPLAY, WAYLAND_DISPLAY\n"
        "                   the graphical display the window opens on\n"
        "  QT_QPA_PLATFORM  the window system Qt draws on (offscreen: none, for tests)\n"
        "\nExit status:\n"
        "  0                success\n"
        "  1                a refused request or a problem found (the message is on standard error)\n"
        "  2                a usage error\n",
        stdout);
}

int unknown(std::string_view what) {
    std::fprintf(stderr, "sitedex: unknown command or option '%.*s' (see sitedex --help)\n", int(what.size()),
                 what.data());
    return kExitUsage;
}

bool isDataDirOption(std::string_view a) {
    return a == "--data-dir" || a.rfind("--data-dir=", 0) == 0;
}

bool isWaitOption(std::string_view a) {
    return a == "--wait" || a.rfind("--wait=", 0) == 0;
}

int g_waitSeconds = kDefaultWaitSeconds;

bool readWait(std::string_view value) {
    std::string text(value);
    char* end = nullptr;
    long seconds = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || seconds < 0 || seconds > 86400) {
        std::fprintf(stderr, "sitedex: --wait needs a number of seconds (0 to 86400), not '%s'\n", text.c_str());
        return false;
    }
    g_waitSeconds = int(seconds);
    return true;
}

// The folder named by --data-dir, with a leading "~" standing for the home folder: a desktop
// entry's command line passes the option as it is written, with no shell to expand it.
std::string expandHome(std::string_view dir) {
    const char* home = std::getenv("HOME");
    if (!home || !*home || dir.empty() || dir[0] != '~' || (dir.size() > 1 && dir[1] != '/'))
        return std::string(dir);
    return home + std::string(dir.substr(1));
}

// No command: the window, on the data folder when one was named.
int openWindow(char* program, std::vector<char*> global, WindowProgram window) {
    std::span<char*> options(global);
    std::string dir;
    for (char* a : global)
        if (isWaitOption(a)) {
            std::fputs("sitedex: --wait is for the commands; the window asks when a file is in use\n", stderr);
            return kExitUsage;
        }
    if (!takeDataDir(options, dir))
        return kExitUsage;
    if (!haveDisplay()) {
        std::fputs(
            "sitedex: no graphical display is available (DISPLAY is not set); start Sitedex from a desktop "
            "session, or see sitedex --help for the commands that work without one.\n",
            stderr);
        return kExitRefused;
    }
    if (!window) {
        std::fputs("sitedex: this program has no window\n", stderr);
        return kExitRefused;
    }
    if (!global.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (::chdir(dir.c_str()) != 0) {
            std::fprintf(stderr, "sitedex: cannot use the data folder %s: %s\n", dir.c_str(), std::strerror(errno));
            return kExitRefused;
        }
    }
    char* alone[] = {program, nullptr};
    return window(1, alone);
}

}  // namespace

std::span<const Command> commands() {
    std::span<const Command> all(kCommands);
    // The table ends with an empty line, so that it is never empty.
    while (!all.empty() && all.back().name.empty())
        all = all.first(all.size() - 1);
    return all;
}

bool takeDataDir(std::span<char*>& args, std::string& dir) {
    static thread_local std::vector<char*> kept;
    // args may be what an earlier call left in `kept`: the new list is made apart, then kept.
    std::vector<char*> rest;
    dir = ".";
    g_waitSeconds = kDefaultWaitSeconds;
    bool found = false;
    bool foundWait = false;
    bool onlyPositional = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (!onlyPositional && isWaitOption(a)) {
            if (foundWait) {
                std::fputs("sitedex: --wait is given twice\n", stderr);
                return false;
            }
            foundWait = true;
            if (a == "--wait" && i + 1 >= args.size()) {
                std::fputs("sitedex: --wait needs a number of seconds\n", stderr);
                return false;
            }
            if (!readWait(a == "--wait" ? std::string_view(args[++i]) : a.substr(std::strlen("--wait="))))
                return false;
            continue;
        }
        if (onlyPositional || !isDataDirOption(a)) {
            onlyPositional = onlyPositional || a == "--";
            rest.push_back(args[i]);
            continue;
        }
        if (found) {
            std::fputs("sitedex: --data-dir is given twice\n", stderr);
            return false;
        }
        found = true;
        if (a == "--data-dir") {
            if (i + 1 >= args.size()) {
                std::fputs("sitedex: --data-dir needs a folder\n", stderr);
                return false;
            }
            dir = expandHome(args[++i]);
        } else {
            dir = expandHome(a.substr(std::strlen("--data-dir=")));
        }
        if (dir.empty()) {
            std::fputs("sitedex: --data-dir needs a folder\n", stderr);
            return false;
        }
    }
    kept.swap(rest);
    args = std::span<char*>(kept);
    // Another program's change holds a file for this long at most before the command says the file
    // is in use and ends (exit 1), instead of seeming to hang.
    record::setVeloxWaits(g_waitSeconds * 1000, g_waitSeconds * 1000);
    return true;
}

int waitSeconds() {
    return g_waitSeconds;
}

record::PagerOptions toolOptions() {
    record::PagerOptions o;
    o.openWaitMs = o.lockWaitMs = g_waitSeconds * 1000;
    return o;
}

int run(int argc, char** argv, WindowProgram window) {
    drivers::registerStandardDrivers();
    std::vector<char*> args(argv, argv + argc);
    // The options of every command given before the command, in their order.
    std::vector<char*> global;
    size_t i = 1;
    for (; i < args.size() && args[i][0] == '-'; ++i) {
        std::string_view a = args[i];
        if (a == "--help" || a == "-h") {
            printUsage();
            return kExitOk;
        }
        if (a == "--version") {
            std::puts("sitedex " SITEDEX_VERSION);
            return kExitOk;
        }
        if (!isDataDirOption(a) && !isWaitOption(a))
            return unknown(a);
        global.push_back(args[i]);
        if ((a == "--data-dir" || a == "--wait") && i + 1 < args.size())
            global.push_back(args[++i]);
    }
    if (i == args.size())
        return openWindow(args[0], global, window);
    std::string_view name = args[i];
    for (const Command& c : commands()) {
        if (c.name != name)
            continue;
        if (!c.run) {
            if (window)
                return window(argc, argv);
            std::fprintf(stderr, "sitedex: %s is not part of this program\n", args[i]);
            return kExitRefused;
        }
        // The command sees its name, then the options given before it, then its own arguments.
        std::vector<char*> own{args[i]};
        own.insert(own.end(), global.begin(), global.end());
        own.insert(own.end(), args.begin() + long(i) + 1, args.end());
        return c.run(std::span<char*>(own));
    }
    return unknown(name);
}

}  // namespace sitedex::cli
