#pragma once
// The system clipboard's text. Setting replaces what the clipboard holds with plain text; reading
// gives the text the clipboard holds now (empty when it holds none).
//
// clipboardContents() reads both flavours a copy from a web page offers: the plain text, and the
// HTML beside it as the bytes the owner put there (UTF-16 turned into UTF-8; any other bytes are
// left for the reader to decode). Reading never changes what the clipboard holds.
//
// Callers: procedures on any thread (the clipboard belongs to the one toolkit thread, which is also
// every procedure's), after the application object exists.

#include <string>
#include <string_view>

namespace sitedex::ui {

void setClipboardText(std::string_view text);
std::string clipboardText();

struct ClipboardContents {
    std::string text;  // UTF-8; empty when the clipboard holds no text
    std::string html;  // empty when it holds no HTML
};
ClipboardContents clipboardContents();

}  // namespace sitedex::ui
