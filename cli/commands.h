#pragma once
// The table of headless commands. Each command lives in a file of its own (cli/cmd_<name>.cpp)
// and is entered in kCommands in cli/cli.cpp. A command receives its own arguments (argv[0] is
// the command name) and returns the process exit code: 0 success, 1 a refused request or a problem
// found (its message on standard error), 2 a usage error.
//
// `sitedex COMMAND --help` prints the command's usage text on standard output and ends with 0. The
// manual page and the shell completion are made from these texts when the program is built, so
// they follow the commands: the text begins with "Usage: sitedex COMMAND", its options as
// [--name VALUE] (VALUE in capitals; FILE and DIR complete file and folder names); the options
// described one a line, indented by two spaces, with at least two spaces before the description.
//
// A command that needs Qt's GUI libraries (drawing pages, say) would make every headless command
// load them, as the program file holds all that its table names. Such a command declares its run
// function weak in cli/cli.cpp, just above the table:
//     [[gnu::weak]] int runReport(std::span<char*> args);
// The program file then holds no code of it, finds its run function null and hands the command line
// to the window library, which holds every command.

#include <span>
#include <string>
#include <string_view>

#include "drivers/record/pager.h"

namespace sitedex::cli {

struct Command {
    std::string_view name;
    std::string_view summary;           // one line for `sitedex --help`
    int (*run)(std::span<char*> args);  // null: the command is in the window library only
};

std::span<const Command> commands();

// The options every command takes, removed from args: the data directory (--data-dir DIR or
// --data-dir=DIR; a leading "~/" stands for the home folder; else the working directory) and how
// long to wait for a file another program is changing (--wait SECONDS, default kDefaultWaitSeconds;
// the record driver is told). Returns false and prints a usage message when either has no (valid)
// value or is given twice.
constexpr int kDefaultWaitSeconds = 5;
bool takeDataDir(std::span<char*>& args, std::string& dir);
// The wait given, and engine options for the record tools that honour it.
int waitSeconds();
record::PagerOptions toolOptions();

}  // namespace sitedex::cli
