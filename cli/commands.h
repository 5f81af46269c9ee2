#pragma once
// The table of headless commands. Each command lives in a file of its own (cli/cmd_<name>.cpp)
// and is entered in kCommands in cli/cli.cpp. A command receives its own arguments (argv[0] is
// the command name) and returns the process exit code: 0 success, 1 a refused request or a problem
// found (its message on standard error), 2 a usage error.

#include <span>
#include <string>
#include <string_view>

#include "drivers/record/pager.h"

namespace sitedex::cli {

struct Command {
    std::string_view name;
    std::string_view summary;  // one line for `sitedex --help`
    int (*run)(std::span<char*> args);
};

std::span<const Command> commands();

// The options every command takes, removed from args: the data directory (--data-dir DIR, else the
// working directory) and how long to wait for a file another program is changing (--wait SECONDS,
// default kDefaultWaitSeconds; the record driver is told). Returns false and prints a usage message
// when either has no (valid) value.
constexpr int kDefaultWaitSeconds = 5;
bool takeDataDir(std::span<char*>& args, std::string& dir);
// The wait given, and engine options for the record tools that honour it.
int waitSeconds();
record::PagerOptions toolOptions();

}  // namespace sitedex::cli
