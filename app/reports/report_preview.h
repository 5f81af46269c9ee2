#pragma once
// ReportPreview: the pages a report produced, several at once as thumbnails or one at a time at a
// zoom, paged through with the View menu, the toolbar, Page Up and Page Down; printed (the preview
// closes and answers ResponseCompleted), saved as PDF (File > Save as PDF..., the preview stays),
// or left without printing (Exit, Escape, the close box: ResponseCancelled). It never prints
// itself. Print with no printer installed says so and keeps the preview open.
//
// Also here: the dialogs "Jump to a Report Page" and "Change the Report Display".
//
// Callers: the report procedures, on their thread (the window is modal for that thread only).

#include <string>

#include "ui/report_engine.h"
#include "ui/window_def.h"

namespace sitedex::app::reports {

struct PreviewWindow {
    ui::WindowDef def;
    int fileMenu, printItem, pdfItem, exitItem;
    int viewMenu, nextItem, previousItem, jumpItem, displayItem, zoomMenu;
    int zoomItems[7];  // No Zoom, Page Width, 50%, 75%, 100%, 200%, 300%
    int printButton, exitButton, zoomButton;
    int pagePrompt, pageSpin, acrossPrompt, acrossSpin, downPrompt, downSpin;
};
const PreviewWindow& previewWindow();

struct JumpWindow {
    ui::WindowDef def;
    int pagePrompt, pageSpin, ok, cancel;
};
const JumpWindow& jumpWindow();

struct DisplayWindow {
    ui::WindowDef def;
    int group, acrossPrompt, acrossSpin, downPrompt, downSpin, ok;
};
const DisplayWindow& displayWindow();

// Shows the pages (title: the report's, for the PDF). CallResponse() is ResponseCompleted when the
// user chose to print, ResponseCancelled otherwise.
void ReportPreview(const ui::ReportPages& pages, const std::string& title = "Report");

// The dialogs: the page chosen (the current one after Cancel); the thumbnails across and down.
int JumpToReportPage(int current, int total);
void ChangeReportDisplay(int& across, int& down);

}  // namespace sitedex::app::reports
