#pragma once
// The few text decodings the clipboard's HTML needs: bytes that are not UTF-8 taken as
// Windows-1252, character references resolved, tags left out, white space folded.
//
// Guarantees: every result is valid UTF-8, whatever the input. A reference that names no character
// (an unknown name, a number out of range) is kept as written; numeric references to 128-159 mean
// the Windows-1252 characters of those codes, as browsers read them; 0, surrogates and numbers past
// U+10FFFF become U+FFFD.
//
// Callers: the clipboard scan, on pieces of a few hundred bytes.

#include <string>
#include <string_view>

namespace sitedex::app::clipboard {

// The text itself when it is valid UTF-8, else its bytes read as Windows-1252.
std::string utf8FromClipboardBytes(std::string_view bytes);

// "&amp;", "&#233;", "&#xE9;" and the other references of HTML resolved to UTF-8.
std::string decodeCharacterReferences(std::string_view text);

// The text with every tag ("<...>") left out.
std::string withoutTags(std::string_view text);

// Every run of white space (blanks, tabs, line breaks, no-break spaces) as one blank; none at
// either end.
std::string foldWhiteSpace(std::string_view text);

// Whether the bytes are valid UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace sitedex::app::clipboard
