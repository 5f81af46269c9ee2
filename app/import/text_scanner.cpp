#include "app/import/text_scanner.h"

#include <algorithm>
#include <array>

#include "runtime/text_decoding.h"

namespace sitedex::app::importing {

namespace {

constexpr size_t kLongestAddress = 1096;

// The markers that start an address, in the order that decides between two at one place.
constexpr std::array<std::string_view, 6> kSchemes = {"https://",  "http://", "ftp://",
                                                      "telnet://", "news://", "gopher://"};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

size_t findNoCase(std::string_view s, std::string_view lowerNeedle, size_t from) {
    for (size_t i = from; i + lowerNeedle.size() <= s.size(); ++i) {
        size_t k = 0;
        while (k < lowerNeedle.size() && lower(s[i + k]) == lowerNeedle[k])
            ++k;
        if (k == lowerNeedle.size())
            return i;
    }
    return std::string_view::npos;
}

struct Marker {
    size_t at = std::string_view::npos;
    bool href = false;
    size_t length = 0;
};

// Finds the markers of one line in order. Each marker's next place is remembered, so a line with
// many addresses is not searched again from every one of them for markers it does not hold.
class MarkerFinder {
public:
    explicit MarkerFinder(std::string_view line) : m_line(line) {
        for (size_t k = 0; k < m_next.size(); ++k)
            m_next[k] = find(k, 0);
    }

    Marker next(size_t from) {
        Marker m;
        for (size_t k = 0; k < m_next.size(); ++k) {
            if (m_next[k] != std::string_view::npos && m_next[k] < from)
                m_next[k] = find(k, from);
            if (m_next[k] < m.at)
                m = {m_next[k], k == 0, k == 0 ? 6 : kSchemes[k - 1].size()};
        }
        return m;
    }

private:
    size_t find(size_t k, size_t from) const {
        return k == 0 ? findNoCase(m_line, "a href", from) : m_line.find(kSchemes[k - 1], from);
    }

    std::string_view m_line;
    std::array<size_t, kSchemes.size() + 1> m_next;  // "a href", then the schemes; npos: no more
};

bool endsAddress(char c) {
    return c == ' ' || c == ',' || c == '<' || c == '>' || c == '"' || static_cast<unsigned char>(c) < 0x20 ||
           c == 0x7F;
}

// Sentence punctuation right after an address is no part of it.
std::string_view withoutTrailingPunctuation(std::string_view a) {
    for (;;) {
        if (a.empty())
            return a;
        const char c = a.back();
        if (c == '.' || c == ';' || c == ':' || c == '!' || c == '?' || c == '\'') {
            a.remove_suffix(1);
        } else if (c == ')' || c == ']') {
            const char open = c == ')' ? '(' : '[';
            if (std::count(a.begin(), a.end(), open) >= std::count(a.begin(), a.end(), c))
                return a;
            a.remove_suffix(1);
        } else {
            return a;
        }
    }
}

}  // namespace

void TextScanner::scanLine(std::string_view line, std::vector<ScannedLink>& out) {
    MarkerFinder markers(line);
    size_t pos = 0;
    while (pos < line.size()) {
        const Marker m = markers.next(pos);
        if (m.at == std::string_view::npos)
            return;
        ScannedLink link;
        size_t after;  // where the text after the address starts
        if (m.href) {
            // a href="...": the value is the address.
            size_t i = m.at + m.length;
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            if (i >= line.size() || line[i] != '=') {
                pos = m.at + m.length;
                continue;
            }
            ++i;
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            std::string_view value;
            if (i < line.size() && (line[i] == '"' || line[i] == '\'')) {
                const size_t close = line.find(line[i], i + 1);
                const size_t end =
                    close == std::string_view::npos ? std::min(line.find('>', i + 1), line.size()) : close;
                value = line.substr(i + 1, end - i - 1);
                i = end == line.size() ? end : end + 1;
            } else {
                const size_t start = i;
                while (i < line.size() && line[i] != '>' && line[i] != ' ' && line[i] != '\t')
                    ++i;
                value = line.substr(start, i - start);
            }
            link.location = oneLine(runtime::decodeCharacterReferences(utf8Start(value, kLongestAddress),
                                                                       runtime::ReferenceContext::kAttribute));
            // The link's text follows the end of its tag.
            const size_t gt = line.find('>', i);
            after = gt == std::string_view::npos ? i : gt + 1;
        } else {
            // The address ends at a delimiter, or at its longest, but never inside a character.
            size_t end = m.at;
            auto continuation = [&](size_t i) { return (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80; };
            while (end < line.size() && (end - m.at < kLongestAddress || continuation(end)) && !endsAddress(line[end]))
                ++end;
            const std::string_view address = withoutTrailingPunctuation(line.substr(m.at, end - m.at));
            after = end;                       // the punctuation left out of the address is no description either
            if (address.size() <= m.length) {  // a scheme and nothing after it
                pos = std::max(after, m.at + 1);
                continue;
            }
            link.location = std::string(address);
        }
        // The description: the text up to the next address (or the end of a link written in HTML).
        const Marker following = markers.next(after);
        size_t descriptionEnd = std::min(following.at, line.size());
        if (m.href)
            descriptionEnd = std::min(descriptionEnd, line.find('<', after));
        std::string description;
        appendBounded(description, line.substr(after, descriptionEnd - after));
        if (m.href)
            description = runtime::decodeCharacterReferences(description, runtime::ReferenceContext::kText);
        std::string_view d = trimmed(description);
        // The delimiter that ended the address is no part of the description.
        while (!d.empty() && (d.front() == ',' || d.front() == '>' || d.front() == '"' || d.front() == '.' ||
                              d.front() == ';' || d.front() == ')'))
            d = trimmed(d.substr(1));
        link.description = oneLine(std::string(d));
        out.push_back(std::move(link));
        pos = std::max(after, m.at + 1);
    }
}

}  // namespace sitedex::app::importing
