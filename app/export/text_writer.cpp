// The two text types: "ASCII" (fixed columns) and "Comma-Delimited".
//
// "ASCII" lines keep the fixed 512-character line of the program: each text column at its full
// declared width (category 30, location 255, description 100, site info 1000), single blanks
// between the columns, the rating as a plain number, the line cut at 512 bytes (at a character
// boundary) and written without its trailing blanks. Line breaks and tabs inside a column become
// blanks, so that a row stays one line and its columns stay in place.
//
// "Comma-Delimited" lines hold the clipped fields, each in double quotes with a quote inside a
// value doubled (so the columns can be read back), the rating unquoted; they are written whole.
#include <string>

#include "app/export/writer.h"
#include "data/fields.h"

namespace sitedex::app::exporting {

namespace {

constexpr size_t kAsciiLine = 512;

void appendColumn(std::string& out, std::string_view text, size_t width) {
    const size_t start = out.size();
    out.append(text.substr(0, width));
    for (size_t i = start; i < out.size(); ++i)
        if (out[i] == '\r' || out[i] == '\n' || out[i] == '\t')
            out[i] = ' ';
    if (text.size() < width)
        out.append(width - text.size(), ' ');
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos; text.remove_prefix(quote + 1)) {
        out.append(text.substr(0, quote + 1));
        out += '"';
    }
    out.append(text);
    out += '"';
}

class TextWriter final : public Writer {
public:
    explicit TextWriter(WriterContext& c) : m_c(c), m_ascii(c.options().type == ExportType::kAscii) {}

    void header() override {}

    void record(const LocationRow& r) override {
        const ExportOptions& o = m_c.options();
        m_line.clear();
        if (m_ascii) {
            appendColumn(m_line, r.storedCategory, 30);
            m_line += ' ';
            appendColumn(m_line, r.storedLocation, 255);
            m_line += ' ';
            appendColumn(m_line, r.storedDescription, 100);
            if (o.siteInfo) {
                m_line += ' ';
                appendColumn(m_line, r.siteInfo, 1000);
            }
            if (o.ratings) {
                m_line += ' ';
                appendNumber(m_line, r.rating);
            }
            m_c.out(data::utf8Prefix(m_line, kAsciiLine));
            return;
        }
        appendQuoted(m_line, r.category);
        m_line += ',';
        appendQuoted(m_line, r.location);
        m_line += ',';
        appendQuoted(m_line, r.description);
        if (o.siteInfo) {
            m_line += ',';
            appendQuoted(m_line, r.siteInfo);
        }
        if (o.ratings) {
            m_line += ',';
            appendNumber(m_line, r.rating);
        }
        m_c.out(m_line);
    }

    void closing() override {}

private:
    WriterContext& m_c;
    const bool m_ascii;
    std::string m_line;
};

}  // namespace

std::unique_ptr<Writer> makeTextWriter(WriterContext& context) {
    return std::make_unique<TextWriter>(context);
}

}  // namespace sitedex::app::exporting
