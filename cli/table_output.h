#pragma once
// Writes the rows of the listing commands in one of three formats, UTF-8 throughout:
//   tsv   one row per line, fields separated by a tab; a backslash, tab, line feed or carriage
//         return inside a field is written as \\, \t, \n or \r, so every row stays on one line;
//   csv   a header line with the column names, then one record per row (RFC 4180): a field that
//         holds a comma, a double quote, a line break or leading or trailing blanks is quoted,
//         its quotes doubled; lines end with CR LF;
//   json  an array of objects keyed by the column names; numeric columns are JSON numbers.
// Bytes that are not valid UTF-8 (a damaged or foreign record) are written as U+FFFD in JSON, the
// one format that requires valid text; tsv and csv pass them through.
//
// Callers: the list and categories commands.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::cli {

enum class TableFormat { kTsv, kCsv, kJson };

// False when the name is none of "tsv", "csv", "json".
bool parseTableFormat(std::string_view name, TableFormat& format);

struct Column {
    std::string_view name;
    bool numeric = false;
};

class TableWriter {
public:
    TableWriter(FILE* out, TableFormat format, std::vector<Column> columns);
    // REQUIRES: one value per column; a numeric column's value is a decimal integer.
    void row(const std::vector<std::string>& values);
    // Ends the output (the closing bracket of JSON).
    void finish();

private:
    FILE* m_out;
    TableFormat m_format;
    std::vector<Column> m_columns;
    size_t m_rows = 0;
};

std::string tsvField(std::string_view text);
std::string csvField(std::string_view text);
std::string jsonString(std::string_view text);

}  // namespace sitedex::cli
