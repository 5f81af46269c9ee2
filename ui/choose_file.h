#pragma once
// The platform's dialog for choosing a file, opened like the program's message boxes: without a
// nested event loop, the calling procedure's window disabled while it is up, the procedure waiting
// for the answer like for any event (so the program's other windows go on working).
//
// The filter is given the desktop's way, "Description|pattern|Description|pattern" (for instance
// "All Files|*.*|HTML files|*.htm"); "*.*" means every file, names without a dot included. In
// kSave mode a name that does not exist yet may be typed (no overwrite question: the caller
// decides what happens to an existing file).
//
// Callers: procedures, on their own thread. Tests answer the dialog through setFileDialogResponder.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sitedex::ui {

enum class FileDialogMode { kOpen, kSave };

struct FileDialogInfo {
    std::string title;
    std::string filter;
    std::string start;  // the file or folder the dialog starts from
    FileDialogMode mode = FileDialogMode::kOpen;
};

// The path chosen, or std::nullopt when the user cancelled.
std::optional<std::string> chooseFile(const FileDialogInfo& info);

// Tests: answers every file dialog with the path returned (std::nullopt: Cancel), once it is up.
using FileDialogResponder = std::function<std::optional<std::string>(const FileDialogInfo&)>;
void setFileDialogResponder(FileDialogResponder responder);

}  // namespace sitedex::ui
