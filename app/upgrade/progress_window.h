#pragma once
// The small "Progress..." window that drives a long job (runtime/jobs.h) from its timer: a progress
// bar, a line of text, the percent ("NN% Completed") and "Cancel". Each timer tick works on the job
// for one budget and shows its percent; at the end it shows "Process Completed" and closes. Cancel,
// Escape and the close box ask the job to end, let it finish what it must, and close the window.
//
// The window opens on the calling procedure's thread (over its window, which is disabled until this
// one closes); before the frame exists (the upgrade at start-up) it is a window of its own.
//
// Callers: the upgrade and the database merge, on their procedure's thread.

#include <string>

#include "runtime/jobs.h"
#include "ui/window_def.h"

namespace sitedex::app::upgrade {

struct ProgressWindow {
    ui::WindowDef def;
    int bar, line, percent, cancel;
};
// The window named `name` (PROCEDURE$PROGRESSWINDOW).
ProgressWindow progressWindow(const std::string& name);

// Runs the job in the window until it ends; the window's title is "Processing Records" and its
// line of text `line`. Returns false when the user cancelled.
bool runJobInProgressWindow(runtime::Job& job, const std::string& windowName, const std::string& line);

}  // namespace sitedex::app::upgrade
