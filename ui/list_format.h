#pragma once
// The list-format notation of list boxes: one group per column, e.g.
//   "107L|M~Description~@S100@40L(2)|M~Keyword~L(1)@s10@"
// A group is the width in dialog units, the alignment letter (L left, R right, C centre, D decimal)
// with an optional (indent) in dialog units, then modifiers in any order: "|" a line right of the
// column, "M" the user may resize it, "~header~" the header text optionally followed by its own
// alignment letter and (indent), "@picture@" the display picture of the values. Other modifier
// characters ("?", "_", ...) are kept as they were written.
//
// Guarantees: parsing never fails; a group without digits ends the columns. Writing back keeps
// every column's text after its width byte for byte, so a format read back with the user's widths
// differs from the design only in the numbers.
//
// Callers: the window layer's list box; procedures that store the format (settings file).

#include <string>
#include <string_view>
#include <vector>

namespace sitedex::ui {

struct ListColumn {
    int width = 0;       // dialog units
    char align = 'L';    // L, R, C or D
    int indent = 0;      // dialog units
    bool rightBorder = false;
    bool resizable = false;
    std::string header;
    char headerAlign = 0;  // 0 = as the column
    int headerIndent = 0;
    std::string picture;  // "@S100", empty for the plain text
    std::string rest;     // the group's text after the width, as written
};

std::vector<ListColumn> parseListFormat(std::string_view format);
// The format with the columns' current widths.
std::string listFormatText(const std::vector<ListColumn>& columns);

}  // namespace sitedex::ui
