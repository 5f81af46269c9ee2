#pragma once
// Runs the desktop program: creates the application object, installs the window layer's hooks and
// the shut-down watch, runs the main procedure as thread 1, and returns when it has returned.
//
// Shut-down: asked by the session whether it may end, the program answers yes; when the session
// does end (the application is told to quit), or when the process receives SIGTERM, EVENT:CloseDown
// is posted to the frame's thread, so the frame closes as under File > Exit (its child windows
// first) and the main procedure returns normally. Should a procedure keep the frame open (a box
// nobody answers), the program ends 10 seconds after a SIGTERM all the same, with exit code 1.
//
// Callers: the command line's desktop start path, once.

#include <functional>

namespace sitedex::ui {

// Returns the process exit code (0 once the main procedure has returned).
int runDesktop(int argc, char** argv, std::function<void()> mainProcedure);

// Posts EVENT:CloseDown to every window of the frame's thread, the frame's last, so that a window
// the frame's procedure has opened on top of it (About) closes first. Used by the shut-down watch;
// tests may call it.
void requestCloseDown();

// The name the help menu opens (a resource path such as ui::kHelpDocument, or a file).
void setHelpFile(const char* path);
// Opens the help document at its contents in a viewer window of its own (one at a time).
void showHelpContents();

}  // namespace sitedex::ui
