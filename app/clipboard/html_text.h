#pragma once
// What the clipboard's HTML needs beyond the program's text decoding (runtime/text_decoding.h):
// tags left out and white space folded, so that a link's text reads as the page showed it.
//
// Callers: the clipboard scan, on pieces of a few hundred bytes of valid UTF-8.

#include <string>
#include <string_view>

namespace sitedex::app::clipboard {

// The text with every tag ("<...>") left out.
std::string withoutTags(std::string_view text);

// Every run of white space (blanks, tabs, line breaks, no-break spaces) as one blank; none at
// either end.
std::string foldWhiteSpace(std::string_view text);

}  // namespace sitedex::app::clipboard
