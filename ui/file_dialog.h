#pragma once
// The platform's file-open dialog, opened the way message boxes are (ui/message_box.h): without a
// nested event loop, over the calling procedure's window, which is disabled until it is answered,
// while the program's other windows go on working.
//
// The filter is the program's notation: pairs of "description|pattern" separated by "|", several
// patterns of one pair separated by ";" ("Sitedex Database|URL_L.VLX"). The dialog starts in the
// folder of `start` with its file selected when `start` names one (a relative name is taken from
// the working directory).
//
// Callers: procedures on their own thread. Tests answer the dialog through setFileDialogResponder.

#include <functional>
#include <string>
#include <string_view>

namespace sitedex::ui {

// Returns the absolute path chosen, or an empty text when the user cancelled.
std::string chooseFileToOpen(std::string_view title, std::string_view filter, std::string_view start);

struct FileDialogInfo {
    std::string title;
    std::string filter;
    std::string directory;  // the folder the dialog shows first
    int thread = 0;
};
// Answers file dialogs (tests): returns the path to choose, or an empty text to cancel. Empty: the
// dialogs wait for the user.
using FileDialogResponder = std::function<std::string(const FileDialogInfo&)>;
void setFileDialogResponder(FileDialogResponder responder);

}  // namespace sitedex::ui
