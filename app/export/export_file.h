#pragma once
// ExportFile: the progress window of one export ("Progress...", titled "Processing Records"): a
// progress bar, the text "Exporting", the percent line ("  5% Completed") and Cancel.
//
// It writes what the export settings (app/export/export_options.h) ask for, through the export job
// (app/export/export_job.h), which each timer event of the window runs for one time budget; so the
// window answers at once and Cancel works, while a large export is paced by its own work only.
// At the end the percent line shows "Process Completed" and the window closes itself; Cancel (or
// Escape, or the close box) closes it at once. The closing lines are written after the window has
// closed, also after Cancel, so the output is always a complete page. A failed export shows why
// (warning 35 for a read error of the Locations file, else a box with the job's message) and
// leaves the earlier files as they were.
//
// Callers: ExportMain, on its thread (its window is disabled meanwhile).

#include "ui/window_def.h"

namespace sitedex::app::exporting {

void ExportFile();

struct ExportFileWindow {
    ui::WindowDef def;
    int progress = 0, text = 0, percent = 0, cancel = 0;
};
// REQUIRES: the variables outlive the window.
ExportFileWindow exportFileWindow(int* progress, std::string* text, std::string* percent);

}  // namespace sitedex::app::exporting
