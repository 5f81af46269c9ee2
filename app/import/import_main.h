#pragma once
// ImportMain: the "Import" dialog, started from the frame's File > Import on a thread of its own,
// and ImportFile, the import run with its progress window.
//
// The dialog offers the document to import (typed, picked from the earlier imports the History file
// remembers, or chosen with Browse), its kind ("HTML Document", "Comma-delimited file", "Any ASCII
// text file") and how categories are given ("Selected Category" with the category chosen below it,
// "Make Best Guess", "Ask for Each URL"). OK checks the name ("Information Required" when blank),
// remembers it in the History file (keeping at most ten entries there: the oldest "Import" entry
// gives way), writes the four [Import] keys of SITEDX.INI and runs the import; the dialog stays open
// for the next one. "Help!" shows the import help text (ImportHelp). Placement "ImportMain".
//
// ImportFile runs one import with the options below (app/import/import_job.h) in the window
// "Processing Records": a progress bar by bytes of the document, "Cancel" (what was added stays).
// Each timer event works for a time budget, then the batch is committed before other windows run.
// At the end it tells what happened: how many addresses were added, already present, passed over.
//
// Callers: the frame (ImportMain, by name); ImportMain (ImportFile); tests.

#include <string>

#include "ui/window_def.h"

namespace sitedex::app::importing {

// The import options (the [Import] keys). The document's name is the shell's import document name.
std::string& NameImport();
std::string& TypeImport();      // "HTML Document", "Comma-delimited file", "Any ASCII text file"
std::string& MethodImport();    // "Selected Category", "Make Best Guess", "Ask for Each URL"
std::string& CategoryImport();  // the selected category

void ImportMain();
void ImportFile();

struct ImportMainWindow {
    ui::WindowDef def;
    int filePrompt = 0, text = 0, file = 0, browse = 0;
    int type = 0, html = 0, comma = 0, ascii = 0;
    int method = 0, selected = 0, guess = 0, ask = 0;
    int categoryPrompt = 0, category = 0, ok = 0, cancel = 0, help = 0;
};
// The dialog bound to the option variables (the file combo to `fileName`).
ImportMainWindow importMainWindow(std::string* fileName);

struct ProgressWindow {
    ui::WindowDef def;
    int bar = 0, text = 0, percent = 0, cancel = 0;
};
ProgressWindow importProgressWindow(int* barValue);

// Enters ImportMain in the procedure registry (a name already registered stays as it is).
void registerImportProcedures();

}  // namespace sitedex::app::importing
