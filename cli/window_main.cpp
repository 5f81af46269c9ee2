// The entry of the window library (sitedex-window.so): the whole program, with its windows, which
// the program file loads when the window opens or for a command that needs Qt's GUI libraries
// (cli/main.cpp). It runs the same command line again; here every command of the table is present
// and no command left means the desktop program. Only the entry is exported: the library keeps its
// own copy of every layer, apart from the program file's.
#include "app/shell/main_frame.h"
#include "cli/cli.h"

namespace {

int startDesktop(int argc, char** argv) {
    return sitedex::app::shell::runDesktopProgram(argc, argv);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int sitedexWindowLibraryMain(int argc, char** argv) {
    return sitedex::cli::run(argc, argv, startDesktop);
}
