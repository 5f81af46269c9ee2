#pragma once
// The small progress window of the reports: a bar from 0 to 100, the percentage as text
// ("0% Completed" at first, then the percent in three places and "% Completed"), and "Cancel".
// Its timer ticks every hundredth of a second; each tick lets the job work for one budget, so a
// long job is paced by its own work and Cancel (or Escape) answers at once.
//
// Callers: the report procedures and the preview, on their own thread.

#include <string>

#include "runtime/jobs.h"
#include "ui/window_def.h"

namespace sitedex::app::reports {

struct ProgressWindow {
    ui::WindowDef def;
    int bar = 0, percentText = 0, cancel = 0;
};
const ProgressWindow& progressWindow();

// "  7% Completed": the percent through the picture @N3.
std::string percentText(int percent);

// Runs the job to its end in a progress window with that title. Returns false when the user
// cancelled (the job has then been told to cancel and has ended).
bool runWithProgress(runtime::Job& job, const std::string& title);

}  // namespace sitedex::app::reports
