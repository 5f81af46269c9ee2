#pragma once
// The commands that inspect and repair record files (cli/cmd_check.cpp, cmd_dump.cpp,
// cmd_rebuild.cpp, cmd_pack.cpp), for the command table in cli/cli.cpp.

#include <span>

namespace sitedex::cli {

int runCheck(std::span<char*> args);
int runDump(std::span<char*> args);
int runRebuild(std::span<char*> args);
int runPack(std::span<char*> args);

}  // namespace sitedex::cli
