// The sitedex executable: the command line decides whether to run a headless command or the
// desktop program.
#include "cli/cli.h"

int main(int argc, char** argv) { return sitedex::cli::run(argc, argv); }
