#pragma once
// `sitedex export` (cli/cmd_export.cpp), for the command table in cli/cli.cpp: the export writer of
// the desktop program's Export window, headless.

#include <span>

namespace sitedex::cli {

int runExport(std::span<char*> args);

}  // namespace sitedex::cli
