#include "app/shell/main_frame.h"

#include <string>

#include "app/clipboard/monitor_clipboard.h"
#include "app/import/database_import.h"
#include "app/import/import_main.h"
#include "app/maintenance/browse_categories.h"
#include "app/maintenance/browse_sitedx.h"
#include "app/reports/print_reports.h"
#include "app/shell/globals.h"
#include "app/shell/splash.h"
#include "app/upgrade/upgrade_procedures.h"
#include "app/viewer/text_viewer.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/window_placement.h"
#include "ui/desktop.h"
#include "ui/message_box.h"
#include "ui/resources.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace sitedex::app::shell {

using namespace runtime;

namespace {

FrameDefinition makeFrameDefinition() {
    FrameDefinition f;
    ui::WindowDef& d = f.def;
    d.name = "MAIN$APPFRAME";
    d.title = "Sitedex 97";
    d.kind = ui::WindowKind::kFrame;
    d.width = 420;
    d.height = 280;
    d.centered = true;
    d.resizable = true;
    d.statusBar = true;

    int file = d.addMenu(0, "&File");
    f.fileImport = d.addItem(file, "&Import");
    f.fileClipboardMonitor = d.addItem(file, "&Clipboard Monitor", "Monitor clipboard for URLs...");
    f.fileExport = d.addItem(file, "&Export", "Export to HTML or  ASCII");
    f.fileMerge = d.addItem(file, "&Merge URL databases", "Import from Sitedex database in another directory");
    d.addSeparator(file);
    f.filePrintSetup = d.addItem(file, "&Print Setup ...", "Setup printer");
    d.addSeparator(file);
    f.fileExit = d.addItem(file, "E&xit", "Exit this application");

    int browse = d.addMenu(0, "&Browse");
    f.browseLocations = d.addItem(browse, "&Locations", "Browse SITEDX");
    f.browseCategories = d.addItem(browse, "&Categories", "Browse Categories");

    int reports = d.addMenu(0, "&Reports", "Report data");
    int locations = d.addMenu(reports, "Locations");
    f.printByDescription = d.addItem(locations, "Print by Description", "Print ordered by Description");
    f.printByLocation = d.addItem(locations, "Print by Location", "Print ordered by Location key");
    f.printByCategory = d.addItem(locations, "Print by Category", "Print ordered by Category key");
    f.printByRating = d.addItem(locations, "Print by Rating", "Print ordered by Rating key");
    f.printByKeyword = d.addItem(locations, "Print by Keyword", "Print ordered by Keyword key");
    f.printCategories = d.addItem(reports, "Categories", "Print ordered by Category key");

    int window = d.addMenu(0, "&Window", "Create and Arrange windows");
    f.windowTile = d.addItem(window, "T&ile", "Make all open windows visible");
    f.windowCascade = d.addItem(window, "&Cascade", "Stack all open windows");
    f.windowArrange = d.addItem(window, "&Arrange Icons", "Align all window icons");

    int help = d.addMenu(0, "&Help", "Windows Help");
    f.helpContents = d.addItem(help, "&Contents", "View the contents of the help file");
    f.helpWhatsNew = d.addItem(help, "&What's New");
    d.addSeparator(help);
    f.helpAbout = d.addItem(help, "&About", "About This Program");
    return f;
}

struct Command {
    int FrameDefinition::*control;
    const char* procedure;
    std::size_t stack;
};

// The menu commands that start a procedure on a thread of its own.
constexpr Command kStartCommands[] = {
    {&FrameDefinition::fileImport, "ImportMain", kSmallStack},
    {&FrameDefinition::fileClipboardMonitor, "MonitorClipboard", kSmallStack},
    {&FrameDefinition::fileExport, "ExportMain", kSmallStack},
    {&FrameDefinition::fileMerge, "ImportSITEDX", kSmallStack},
    {&FrameDefinition::browseLocations, "BrowseSITEDX", kLargeStack},
    {&FrameDefinition::browseCategories, "BrowseCategories", kLargeStack},
    {&FrameDefinition::printByDescription, "PrintURL:K_Description", kLargeStack},
    {&FrameDefinition::printByLocation, "PrintURL:K_Location", kLargeStack},
    {&FrameDefinition::printByCategory, "PrintURL:K_Category", kLargeStack},
    {&FrameDefinition::printByRating, "PrintURL:K_Rating", kLargeStack},
    {&FrameDefinition::printByKeyword, "PrintURL:K_Keyword", kLargeStack},
    {&FrameDefinition::printCategories, "PrintCAT:K_Category", kLargeStack},
    {&FrameDefinition::helpWhatsNew, "WhatsNew", kSmallStack},
};

// Acts on a menu command of the frame.
void runMenuCommand(ui::Window& frame, int control) {
    const FrameDefinition& f = frameDefinition();
    for (const Command& c : kStartCommands) {
        if (f.*(c.control) == control) {
            startNamedProcedure(c.procedure, c.stack);
            return;
        }
    }
    if (control == f.filePrintSetup) ui::printerSetup();
    else if (control == f.fileExit) frame.post(kEventCloseWindow);
    else if (control == f.windowTile) frame.tileChildren();
    else if (control == f.windowCascade) frame.cascadeChildren();
    else if (control == f.windowArrange) frame.arrangeIcons();
    else if (control == f.helpContents) ui::showHelpContents();
    else if (control == f.helpAbout) About();
}

}  // namespace

const FrameDefinition& frameDefinition() {
    static const FrameDefinition f = makeFrameDefinition();
    return f;
}

int startNamedProcedure(std::string_view name, std::size_t stack) {
    const ProcedureFunction* found = findProcedure(name);
    if (!found) {
        data::ShowWarning(6, name);
        return 0;
    }
    return ui::startProcedure(*found, stack, std::string(name));  // a copy: the registry may change meanwhile
}

void registerApplicationProcedures() {
    // Each subsystem registers the procedures its menu commands start, as it is added to the program.
    maintenance::registerLocationProcedures();
    maintenance::registerCategoryProcedures();
    clipboard::registerClipboardProcedures();
    importing::registerDatabaseImportProcedures();
    reports::registerReportProcedures();
    viewer::registerViewerProcedures();  // WhatsNew, and ExportHelp and ImportHelp for the dialogs' "Help!"
    importing::registerImportProcedures();
}

bool upgradeOlderDataFiles() {
    const upgrade::UpgradeReport report = upgrade::upgradeOlderDataFiles(upgrade::driveInProgressWindow);
    if (!report.notes.empty())
        messageBox(upgrade::upgradeNotesText(report), "Upgrade", kIconAsterisk, kButtonOk);
    return report.complete;
}

void Main() {
    importDocumentName() = "bookmark.htm";                                  // 1
    versionText() = readSetting("System", "Version", "");                  // 2
    // An upgrade that was cancelled or failed leaves the version as it was, so that it is offered
    // again at the next start.
    bool upToDate = true;
    if (settingNumber(versionText()) < 1.5) upToDate = upgradeOlderDataFiles();  // 3
    versionText() = kVersion;                                               // 4
    if (upToDate) writeSetting("System", "Version", versionText());
    ui::setHelpFile(ui::kHelpDocument);                                     // 5
    CallRequest() = 0;                                                      // 6
    CallResponse() = 0;
    bodyInFrame() = settingNumber(readSetting("Settings", "BodyInFrame", "")) == 1 ? 1 : 0;  // 7

    ui::Window frame(frameDefinition().def);                                // 8
    RestoreWindowPlacement(frame, "Main");
    const bool placed = true;
    // The shut-down notices reach the frame as EVENT:CloseDown (ui::runDesktop watches for them).

    int splashThread = 0;
    while (frame.waitForEvent()) {                                          // 9
        switch (currentEvent()) {
            case kEventOpenWindow:
                splashThread = ui::startProcedure(Splash, 0, "Splash");
                break;
            case kEventAccepted:
                if (splashThread != 0) {
                    ui::postEvent(kEventCloseWindow, 0, splashThread);
                    splashThread = 0;
                }
                runMenuCommand(frame, acceptedControl());
                break;
            case kSplashClosedEvent:
                // The splash has gone: its thread number may soon belong to another procedure, which
                // a later menu command must not close in its place.
                splashThread = 0;
                startNamedProcedure("BrowseSITEDX", 0);
                break;
            default:
                break;
        }
    }
    if (placed) SaveWindowPlacement(frame, "Main");
    frame.close();
    CallResponse() = ResponseCancelled;  // the frame has no response of its own
}

int runDesktopProgram(int argc, char** argv) {
    registerApplicationProcedures();
    return ui::runDesktop(argc, argv, Main);
}

}  // namespace sitedex::app::shell
