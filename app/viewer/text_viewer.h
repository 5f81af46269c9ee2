#pragma once
// The text viewers: WhatsNew (Help > What's New), ExportHelp and ImportHelp (the "Help!" buttons of
// the export and import windows). One design, three tables: each shows a plain text file read-only
// in a list, loads it in a loading window that can be cancelled (keeping the lines read), searches
// it ("Searching Text...", Find Next, starting again at the other end on request) and prints it.
//
// The file is looked for in the data folder (the working directory) under its name; when it is not
// there, the program's own copy is shown (ui/builtin_texts.h). A file that cannot be opened gives
// warning 26, an empty one warning 28; the window then stays with an empty list.
//
// Callers: started by name on a thread of their own.

#include <string>

#include "data/declarations.h"
#include "ui/window_def.h"

namespace sitedex::app::viewer {

struct ViewerDesign {
    const char* procedure;    // "WhatsNew", "ExportHelp", "ImportHelp"
    const char* fileName;     // "whatsnew.txt", "Export.Txt"
    const char* windowName;   // "WHATSNEW$VIEWWINDOW", ...
    const char* title;        // "What's New", "Using Sitedex"
    const char* loadingText;  // the line of text of the loading window
    bool showBytes;           // the loading percentage tells the bytes read
    const char* placement;    // settings section of the window's placement
    data::FileDecl* file;
    std::string* nameVariable;
    bool builtInCopy = true;  // a missing file is replaced by the program's own copy
};

const ViewerDesign& whatsNewDesign();
const ViewerDesign& exportHelpDesign();
const ViewerDesign& importHelpDesign();

struct ViewWindow {
    ui::WindowDef def;
    int list, print, find, findNext, close;
};
ViewWindow viewWindow(const ViewerDesign& design);

struct LoadingWindow {
    ui::WindowDef def;
    int bar, line, percent, cancel;
};
LoadingWindow loadingWindow(const ViewerDesign& design);

struct SearchWindow {
    ui::WindowDef def;
    int findWhatPrompt, findWhat, wholeWord, matchCase, direction, up, down, find, cancel;
};
SearchWindow searchWindow(const ViewerDesign& design);

// The loading window's percentage text: "42% Completed", with the bytes read for WhatsNew
// ("42% Completed (1234) bytes").
std::string loadingPercentText(const ViewerDesign& design, int percent, long long bytes);

// Runs a viewer of that design (the body of the three procedures).
void runTextViewer(const ViewerDesign& design);

void WhatsNew();
void ExportHelp();
void ImportHelp();

void registerViewerProcedures();

}  // namespace sitedex::app::viewer
