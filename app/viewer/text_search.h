#pragma once
// Searching the text viewer's lines: from the highlighted line, one line at a time up or down,
// asking whether to start again at the other end each time an end is passed.
//
// A line matches when it holds the search text (its trailing blanks dropped), exactly with "Match
// Case", else with both upper-cased. With "Match Whole Word Only" an occurrence counts only when
// the character before it (if any) is a blank and the character after it is a blank, unless the
// occurrence ends at the line's last character that is not a blank: so a word in parentheses, or
// followed by a full stop, is not a whole word. Every occurrence in a line is tried, so "concat cat"
// holds the whole word "cat".
//
// Callers: the text viewers; tests.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::app::viewer {

struct SearchSettings {
    std::string text;
    bool wholeWord = false;
    bool matchCase = false;
    std::string direction = "Down";  // "Down" or "Up"
};

bool lineMatches(std::string_view line, const SearchSettings& settings);

// Searches from the line after (Down) or before (Up) `current` (1-based). At either end asks
// `startAgain` (its argument: "Down" or "Up"); true goes on from the other end. Returns the line
// found, or 0 when the user answered no (or there is nothing to search for, or no line).
int searchLines(const std::vector<std::string>& lines, int current, const SearchSettings& settings,
                const std::function<bool(const std::string& direction)>& startAgain);

}  // namespace sitedex::app::viewer
