#pragma once
// The merge of another Sitedex database, as the user does it from File > Merge URL databases:
//
//   - ImportSITEDX: the dialog "Import from Sitedex Database". The user types or browses for the
//     other database's URL_L.VLX (a folder holding one will do) and presses OK; a name without
//     "URL_L.VLX" gets the "Cannot Import" message. Each OK runs one merge; the dialog stays open
//     until Cancel (or Escape). Its position is kept under "ImportSITEDX".
//   - ImportURLProcess: one merge of the file named by the source name (data::NameAscii) in a
//     progress window (database_merge.h), then a message with what it did.
//
// Callers: the main frame's menu command, on a thread of its own (registered by
// registerDatabaseImportProcedures).

#include <string>

#include "ui/window_def.h"

namespace sitedex::app::importing {

void ImportSITEDX();
void ImportURLProcess();

void registerDatabaseImportProcedures();

// The dialog with the numbers of its controls (tests drive it by these).
struct ImportDatabaseWindow {
    ui::WindowDef def;
    int line1, line2, browse, source, prompt, ok, cancel;
};
const ImportDatabaseWindow& importDatabaseWindow();


}  // namespace sitedex::app::importing
