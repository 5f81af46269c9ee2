#include "ui/list_format.h"

#include <cctype>

namespace sitedex::ui {

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlignment(char c) {
    char u = char(std::toupper((unsigned char)c));
    return u == 'L' || u == 'R' || u == 'C' || u == 'D';
}

// Reads "(n)" at pos; returns n, or `otherwise` when there is none.
int readIndent(std::string_view f, size_t& pos, int otherwise) {
    if (pos >= f.size() || f[pos] != '(') return otherwise;
    size_t end = f.find(')', pos);
    if (end == std::string_view::npos) return otherwise;
    int n = 0;
    bool negative = false;
    for (size_t i = pos + 1; i < end; ++i) {
        if (f[i] == '-') negative = true;
        else if (isDigit(f[i]) && n < 100000) n = n * 10 + (f[i] - '0');
    }
    pos = end + 1;
    return negative ? -n : n;
}
}  // namespace

std::vector<ListColumn> parseListFormat(std::string_view f) {
    std::vector<ListColumn> columns;
    size_t pos = 0;
    while (pos < f.size() && isDigit(f[pos])) {
        ListColumn c;
        while (pos < f.size() && isDigit(f[pos])) {
            if (c.width < 100000) c.width = c.width * 10 + (f[pos] - '0');
            ++pos;
        }
        const size_t restStart = pos;
        if (pos < f.size() && isAlignment(f[pos])) {
            c.align = char(std::toupper((unsigned char)f[pos++]));
            c.indent = readIndent(f, pos, 0);
        }
        while (pos < f.size() && !isDigit(f[pos])) {
            char ch = f[pos];
            if (ch == '|') {
                c.rightBorder = true;
                ++pos;
            } else if (ch == 'M' || ch == 'm') {
                c.resizable = true;
                ++pos;
            } else if (ch == '~') {
                size_t end = f.find('~', pos + 1);
                if (end == std::string_view::npos) end = f.size();
                c.header = std::string(f.substr(pos + 1, end - pos - 1));
                pos = end < f.size() ? end + 1 : end;
                if (pos < f.size() && isAlignment(f[pos])) {
                    c.headerAlign = char(std::toupper((unsigned char)f[pos++]));
                    c.headerIndent = readIndent(f, pos, 0);
                }
            } else if (ch == '@') {
                size_t end = f.find('@', pos + 1);
                if (end == std::string_view::npos) end = f.size();
                c.picture = std::string(f.substr(pos, end - pos));
                pos = end < f.size() ? end + 1 : end;
            } else {
                ++pos;
            }
        }
        c.rest = std::string(f.substr(restStart, pos - restStart));
        columns.push_back(std::move(c));
    }
    return columns;
}

std::string listFormatText(const std::vector<ListColumn>& columns) {
    std::string out;
    for (const ListColumn& c : columns) out += std::to_string(c.width) + c.rest;
    return out;
}

}  // namespace sitedex::ui
