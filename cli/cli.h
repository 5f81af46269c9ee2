#pragma once
// The command-line front end. `run` looks at the arguments: a known command runs headless and
// returns its exit code (0 success, 1 a refused request, 2 a usage error); no command starts the
// desktop program, which needs a display. The options of every command (--data-dir) may stand
// before the command as well as among its arguments.
//
// The program file holds only what the headless commands need. The windows, and any command that
// needs Qt's GUI libraries, live in the window library (cli/window_main.cpp), which holds the whole
// program and is loaded only when one of them is wanted: loading Qt's libraries is most of the cost
// of starting a process, and a headless command has no use for them. `window` is the way to that
// library: the program file passes one that loads it and hands it the command line; the window
// library passes one that starts the desktop program; tests pass none.

namespace sitedex::cli {

// Runs the window program with the command line given; returns the exit code.
using WindowProgram = int (*)(int argc, char** argv);

int run(int argc, char** argv, WindowProgram window = nullptr);

}  // namespace sitedex::cli
