#include "app/import/comma_scanner.h"

#include <charconv>

#include "runtime/text_decoding.h"

namespace sitedex::app::importing {

namespace {

// A quoted value runs on over at most this many lines before the record is read as it stands.
constexpr int kMostLinesOfRecord = 200;

struct Value {
    std::string text;
    bool quoted = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<int> ratingOf(std::string_view text) {
    text = trimmed(text);
    int n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return n;
}

std::string siteInfoOf(std::string text) {
    runtime::replaceControlCharacters(text, true);
    return std::string(trimmed(text));
}

}  // namespace

void CommaScanner::scanLine(std::string_view line, std::vector<ScannedLink>& out) {
    if (m_lines > 0) {
        appendBounded(m_record, "\n");
        appendBounded(m_record, line);
    } else {
        m_record.clear();
        appendBounded(m_record, line);
    }
    ++m_lines;
    const bool force = m_lines >= kMostLinesOfRecord || m_record.size() >= kLongestText;
    if (parse(force, out)) {
        m_record.clear();
        m_lines = 0;
    }
}

void CommaScanner::finish(std::vector<ScannedLink>& out) {
    if (m_lines > 0)
        parse(true, out);
    m_record.clear();
    m_lines = 0;
}

bool CommaScanner::parse(bool force, std::vector<ScannedLink>& out) {
    const std::string_view r = m_record;
    std::vector<Value> values;
    size_t i = 0;
    for (;;) {
        while (i < r.size() && isBlank(r[i]))
            ++i;
        Value v;
        if (i < r.size() && r[i] == '"') {
            v.quoted = true;
            ++i;
            for (;;) {
                const size_t q = r.find('"', i);
                if (q == std::string_view::npos) {
                    if (!force)
                        return false;  // the value goes on on the next line
                    v.text.append(r.substr(i));
                    i = r.size();
                    break;
                }
                v.text.append(r.substr(i, q - i));
                if (q + 1 < r.size() && r[q + 1] == '"') {  // a doubled quote
                    v.text.push_back('"');
                    i = q + 2;
                    continue;
                }
                size_t j = q + 1;
                while (j < r.size() && isBlank(r[j]))
                    ++j;
                if (j == r.size() || r[j] == ',') {  // the closing quote
                    i = j;
                    break;
                }
                v.text.push_back('"');  // a quote inside the value, written once
                i = q + 1;
            }
        } else {
            const size_t comma = r.find(',', i);
            const size_t end = comma == std::string_view::npos ? r.size() : comma;
            v.text = std::string(r.substr(i, end - i));
            i = end;
        }
        values.push_back(std::move(v));
        if (i >= r.size())
            break;
        ++i;  // the comma
        if (i >= r.size()) {
            values.push_back({});
            break;
        }
    }
    if (values.size() < 2)
        return true;

    ScannedLink link;
    link.categoryGuess = oneLine(std::move(values[0].text));
    link.location = oneLine(std::move(values[1].text));
    if (values.size() > 2)
        link.description = oneLine(std::move(values[2].text));
    if (values.size() >= 5) {
        link.siteInfo = siteInfoOf(std::move(values[3].text));
        link.rating = ratingOf(values[4].text);
    } else if (values.size() == 4) {
        if (values[3].quoted)
            link.siteInfo = siteInfoOf(std::move(values[3].text));
        else
            link.rating = ratingOf(values[3].text);
    }
    out.push_back(std::move(link));
    return true;
}

}  // namespace sitedex::app::importing
