#pragma once
// The program body: Main owns the application frame MAIN$APPFRAME ("Sitedex 97") in which every
// other window opens; it checks the data version, shows the splash, and starts a procedure for each
// menu command. When the frame closes, Main returns and the program ends.
//
// Callers: the desktop start (runDesktopProgram) runs Main as thread 1; tests do the same with
// ui::startFrameProcedure.

#include <string_view>

#include "ui/window_def.h"

namespace sitedex::app::shell {

void Main();

// The private event the splash posts to the frame's thread as it closes; the frame answers it by
// starting BrowseSITEDX.
inline constexpr int kSplashClosedEvent = 1105;

// Stack sizes the menu commands request.
inline constexpr std::size_t kSmallStack = 25000;
inline constexpr std::size_t kLargeStack = 50000;

// The frame's definition, with the control numbers of its menu commands.
struct FrameDefinition {
    ui::WindowDef def;
    int fileImport, fileClipboardMonitor, fileExport, fileMerge, filePrintSetup, fileExit;
    int browseLocations, browseCategories;
    int printByDescription, printByLocation, printByCategory, printByRating, printByKeyword, printCategories;
    int windowTile, windowCascade, windowArrange;
    int helpContents, helpWhatsNew, helpAbout;
};
const FrameDefinition& frameDefinition();

// Starts the procedure registered under `name` on a new thread with the stack requested; a name
// that is not registered shows standard warning 6 instead. Returns the thread number, 0 if none.
int startNamedProcedure(std::string_view name, std::size_t stack);

// Registers every procedure the menus start by name. Each subsystem adds its registration here.
void registerApplicationProcedures();

// Step 3 of the start-up: looks for data files of older versions and converts them, then tells what
// the user should know (backups kept, a cancel). Called only when the stored data version is below
// 1.5. False when an upgrade that ran did not complete: the version must then stay as it was.
bool upgradeOlderDataFiles();

// Runs the desktop program (application object, hooks, Main on thread 1); returns the exit code.
int runDesktopProgram(int argc, char** argv);

}  // namespace sitedex::app::shell
