#pragma once
// `sitedex import` (cli/cmd_import.cpp), for the command table in cli/cli.cpp: the document import
// of File > Import, headless, with the same import job.

#include <span>

namespace sitedex::cli {

int runImport(std::span<char*> args);

}  // namespace sitedex::cli
