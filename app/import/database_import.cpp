#include "app/import/database_import.h"

#include "app/import/database_merge.h"
#include "app/upgrade/progress_window.h"
#include "data/dictionary.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/file_dialog.h"
#include "ui/window.h"

namespace sitedex::app::importing {

using namespace runtime;

namespace {

ImportDatabaseWindow makeImportDatabaseWindow() {
    ImportDatabaseWindow w;
    ui::WindowDef& d = w.def;
    d.name = "IMPORTSITEDX$WINDOW";
    d.title = "Import from Sitedex Database";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 250;
    d.height = 76;
    d.alertKeys = {kEscKey};
    w.line1 = d.addString("This option will import *only* location information from another", {8, 6, 236, 10});
    w.line2 = d.addString("Sitedex database.", {8, 16, 236, 10});
    w.browse = d.addButton("&Browse", {196, 33, 48, 14});
    w.source = d.addEntry(nullptr, {52, 34, 140, 12});
    w.prompt = d.addPrompt("Import from:", {8, 36, 42, 10});
    w.ok = d.addButton("&OK", {142, 56, 48, 14}, true);
    w.cancel = d.addButton("Cancel", {196, 56, 48, 14});
    return w;
}

std::string trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

const ImportDatabaseWindow& importDatabaseWindow() {
    static const ImportDatabaseWindow w = makeImportDatabaseWindow();
    return w;
}

void ImportURLProcess() {
    DatabaseMerge merge(data::NameAscii);
    if (!merge.open())
        return;
    upgrade::runJobInProgressWindow(merge, "IMPORTURLPROCESS$PROGRESSWINDOW", "");
    switch (merge.outcome()) {
        case DatabaseMerge::Outcome::kCompleted:
            messageBox(merge.summary(), "Import from Sitedex Database", kIconAsterisk);
            break;
        case DatabaseMerge::Outcome::kCancelled:
            messageBox("The import was cancelled.  " + merge.summary(), "Import from Sitedex Database", kIconAsterisk);
            break;
        default:
            break;  // the failure has been shown
    }
}

void ImportSITEDX() {
    const ImportDatabaseWindow& iw = importDatabaseWindow();
    std::string source = kDatabaseFileName;  // the file of that name in the working directory
    ui::WindowDef def = iw.def;
    def.controls[size_t(iw.source - 1)].textVariable = &source;
    ui::Window w(def);
    RestoreWindowPlacement(w, "ImportSITEDX");

    while (w.waitForEvent()) {
        const int event = currentEvent();
        if (event == kEventOpenWindow) {
            w.focus(iw.source);  // the user types the name first
            continue;
        }
        if (event == kEventAlertKey && keyCode() == kEscKey) {
            w.post(kEventCloseWindow);
            continue;
        }
        if (event != kEventAccepted)
            continue;
        const int control = acceptedControl();
        if (control == iw.browse) {
            std::string chosen = ui::chooseFileToOpen("Choose a File", "Sitedex Database|URL_L.VLX", trimmed(source));
            if (!chosen.empty()) {
                source = chosen;
                w.redisplay(iw.source);
            }
        } else if (control == iw.ok) {
            // What the entry shows: OK pressed by its accelerator leaves the entry without its
            // change being taken into the variable.
            source = w.text(iw.source);
            const std::string name = mergeSourceName(source);
            if (name.empty()) {
                messageBox("You can only import from databases created by Sitedex version 1.5 and above.",
                           "Cannot Import", kIconExclamation);
                w.focus(iw.source);
                continue;
            }
            data::NameAscii = name;
            ImportURLProcess();
            // The focus comes back to the dialog, which stays in front for the next merge.
            w.focus(iw.source);
        } else if (control == iw.cancel) {
            w.post(kEventCloseWindow);
        }
    }
    SaveWindowPlacement(w, "ImportSITEDX");
    w.close();
}

void registerDatabaseImportProcedures() {
    registerProcedure("ImportSITEDX", ImportSITEDX);
    registerProcedure("ImportURLProcess", ImportURLProcess);
}

}  // namespace sitedex::app::importing
