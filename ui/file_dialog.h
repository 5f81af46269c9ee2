#pragma once
// The platform's file-open dialog, opened the way the window layer opens every box: without a
// nested event loop, its owner window disabled while it is up, the calling procedure waiting for the
// answer like for any event.
//
// Filters are written as the program writes them, pairs of a label and a pattern separated by "|":
// "All Files|*.*|HTML files|*.htm|ASCII files|*.txt". "*.*" means every file (on this system a name
// needs no dot), and "*.htm" also shows "*.html" files.
//
// Callers: procedures (the import and export dialogs' Browse), on their own thread; tests answer the
// dialog through setFileDialogResponder.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sitedex::ui {

// Shows the dialog and returns the chosen file's path, or nullopt when the user cancels.
std::optional<std::string> chooseFileToOpen(std::string_view title, std::string_view filters,
                                            std::string_view startPath);

// Tests: answers the dialogs (the dialog still opens); receives the title and the start path and
// returns the path to choose, or nullopt to cancel.
using FileDialogResponder =
    std::function<std::optional<std::string>(const std::string& title, const std::string& startPath)>;
void setFileDialogResponder(FileDialogResponder responder);

}  // namespace sitedex::ui
