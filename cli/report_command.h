#pragma once
// The command that writes a printed list as PDF (cli/cmd_report.cpp).

#include <span>

namespace sitedex::cli {

int runReport(std::span<char*> args);

}  // namespace sitedex::cli
