#pragma once
// The command-line front end. `run` looks at the arguments: a known command runs headless and
// returns its exit code (0 success, 1 a refused request, 2 a usage error); no command starts the
// desktop program, which needs a display.

namespace sitedex::cli {

int run(int argc, char** argv);

}  // namespace sitedex::cli
