#pragma once
// The system clipboard's text. Setting replaces what the clipboard holds with plain text; reading
// gives the text the clipboard holds now (empty when it holds none).
//
// Callers: procedures on any thread (the clipboard belongs to the one toolkit thread, which is also
// every procedure's), after the application object exists.

#include <string>
#include <string_view>

namespace sitedex::ui {

void setClipboardText(std::string_view text);
std::string clipboardText();

}  // namespace sitedex::ui
