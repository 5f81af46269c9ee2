#include "cli/table_output.h"

namespace sitedex::cli {

namespace {

void put(FILE* out, std::string_view s) {
    std::fwrite(s.data(), 1, s.size(), out);
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes there are not one.
size_t utf8Length(std::string_view s, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    size_t n;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, cp = c & 0x07;
    else
        return 0;
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return n;
}

}  // namespace

bool parseTableFormat(std::string_view name, TableFormat& format) {
    if (name == "tsv")
        format = TableFormat::kTsv;
    else if (name == "csv")
        format = TableFormat::kCsv;
    else if (name == "json")
        format = TableFormat::kJson;
    else
        return false;
    return true;
}

std::string tsvField(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string csvField(std::string_view text) {
    bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                 (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
        ++i;
    }
    return out + "\"";
}

TableWriter::TableWriter(FILE* out, TableFormat format, std::vector<Column> columns)
    : m_out(out), m_format(format), m_columns(std::move(columns)) {
    if (m_format == TableFormat::kCsv) {
        for (size_t i = 0; i < m_columns.size(); ++i) {
            if (i)
                put(m_out, ",");
            put(m_out, csvField(m_columns[i].name));
        }
        put(m_out, "\r\n");
    } else if (m_format == TableFormat::kJson) {
        put(m_out, "[");
    }
}

void TableWriter::row(const std::vector<std::string>& values) {
    switch (m_format) {
        case TableFormat::kTsv:
            for (size_t i = 0; i < values.size(); ++i) {
                if (i)
                    put(m_out, "\t");
                put(m_out, tsvField(values[i]));
            }
            put(m_out, "\n");
            break;
        case TableFormat::kCsv:
            for (size_t i = 0; i < values.size(); ++i) {
                if (i)
                    put(m_out, ",");
                put(m_out, csvField(values[i]));
            }
            put(m_out, "\r\n");
            break;
        case TableFormat::kJson:
            put(m_out, m_rows ? ",\n  {" : "\n  {");
            for (size_t i = 0; i < values.size(); ++i) {
                if (i)
                    put(m_out, ", ");
                put(m_out, jsonString(m_columns[i].name));
                put(m_out, ": ");
                put(m_out, m_columns[i].numeric ? values[i] : jsonString(values[i]));
            }
            put(m_out, "}");
            break;
    }
    ++m_rows;
}

void TableWriter::finish() {
    if (m_format == TableFormat::kJson)
        put(m_out, m_rows ? "\n]\n" : "]\n");
    std::fflush(m_out);
}

}  // namespace sitedex::cli
