#pragma once
// The table of headless commands. Each command lives in a file of its own (cli/cmd_<name>.cpp)
// and is entered in kCommands in cli/cli.cpp. A command receives its own arguments (argv[0] is
// the command name) and returns the process exit code: 0 success, 1 a refused request or a problem
// found (its message on standard error), 2 a usage error.

#include <span>
#include <string>
#include <string_view>

namespace sitedex::cli {

struct Command {
    std::string_view name;
    std::string_view summary;  // one line for `sitedex --help`
    int (*run)(std::span<char*> args);
};

std::span<const Command> commands();

// The data directory of a command: the value of --data-dir DIR (removed from args), else the
// working directory. Returns false and prints a usage message when --data-dir has no value.
bool takeDataDir(std::span<char*>& args, std::string& dir);

}  // namespace sitedex::cli
