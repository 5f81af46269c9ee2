#pragma once
// ExportMain: the "Export" window, where the user chooses the export file, its type and options,
// and starts the export (ExportFile) as often as wanted; Cancel closes it.
//
// Opening reads the seven [Export] keys of SITEDX.INI (each defaulting to the option variable's
// present value), lists the categories and, once each, the names of earlier exports kept in the
// History file (type "Export", newest first). The file name is a combination box: a name typed
// without a "." in its file-name part gets ".htm" (the web-page types and "Bookmark File") or
// ".txt" and that part is lower-cased; Browse opens the platform's file dialog. "Category to
// Export:" is enabled only while "Selected" is chosen. OK with a blank name shows "Information
// Required"; otherwise it drops the oldest "Export" entry of a History file that holds ten records
// or more, records the name (a duplicate key is ignored), writes the keys, refills the list and
// runs ExportFile; the window then stays open for the next export. The right mouse button (or
// Shift+F10) offers [History] Export1 as the name. "Help!" starts ExportHelp by name (the standard
// warning while no such procedure is part of the program). Enter is OK, Escape is Cancel.
//
// Callers: the frame's File > Export, on a thread of its own.

#include <string>

#include "ui/window_def.h"

namespace sitedex::app::exporting {

struct ExportSettings;

void ExportMain();

// Registers ExportMain under its name (the frame's menu starts it by name).
void registerExportProcedures();

struct ExportMainWindow {
    ui::WindowDef def;
    int prompt = 0, text = 0, fileName = 0, browse = 0;
    int type = 0, typeRadios[6] = {};
    int categories = 0, all = 0, selected = 0;
    int categoryPrompt = 0, category = 0;
    int order = 0, byLocation = 0, byDescription = 0;
    int group = 0, siteInfo = 0, ratings = 0;
    int ok = 0, cancel = 0, help = 0;
};
// REQUIRES: the variables outlive the window.
ExportMainWindow exportMainWindow(ExportSettings& settings, std::string& fileName);

}  // namespace sitedex::app::exporting
