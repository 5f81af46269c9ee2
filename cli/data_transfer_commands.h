#pragma once
// The commands that bring data in from elsewhere (cli/cmd_merge.cpp, cmd_upgrade.cpp), for the
// command table in cli/cli.cpp. They drive the same jobs as the desktop's progress windows, with the
// command line's progress line (cli/progress.h).

#include <span>

namespace sitedex::cli {

int runMerge(std::span<char*> args);
int runUpgrade(std::span<char*> args);

}  // namespace sitedex::cli
