#include "app/clipboard/clipboard_scan.h"

#include <algorithm>

#include "app/clipboard/html_text.h"
#include "runtime/text_decoding.h"

namespace sitedex::app::clipboard {

using runtime::decodeCharacterReferences;
using runtime::ReferenceContext;

namespace {

constexpr std::size_t npos = std::string::npos;

// The most of the text one taken piece looks at. The fields keep far less (255 bytes of address, 100
// of description, 1000 of site information); the bound keeps a long run without its closing marker
// from being copied again on every pass.
constexpr std::size_t kPieceWindow = 16 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// The text from `begin` up to `end` (at most kPieceWindow bytes), leading white space removed.
std::string_view rawPiece(const std::string& text, std::size_t begin, std::size_t end) {
    end = std::min(end, text.size());
    while (begin < end && isBlank(text[begin]))
        ++begin;
    if (begin >= end)
        return {};
    return std::string_view(text).substr(begin, std::min(end - begin, kPieceWindow));
}

// Where a text cut at `limit` bytes may end without splitting a UTF-8 character.
std::size_t utf8Boundary(const std::string& text, std::size_t limit) {
    if (limit >= text.size())
        return text.size();
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80)
        --limit;
    return limit;
}

}  // namespace

std::size_t ClipboardScanner::Marker::at(const std::string& lower, std::size_t from) {
    if (searched && from >= searchedFrom && (found == npos || found >= from))
        return found;
    found = lower.find(needle, from);
    searchedFrom = from;
    searched = true;
    return found;
}

ClipboardScanner::ClipboardScanner(std::string text, Flavour flavour) : m_text(std::move(text)), m_flavour(flavour) {
    m_text.resize(utf8Boundary(m_text, kScanLimit));
    m_lower.resize(m_text.size());
    std::transform(m_text.begin(), m_text.end(), m_lower.begin(), lowerAscii);
}

bool ClipboardScanner::headingAt(std::size_t pos) const {
    auto charAt = [&](std::size_t i) { return i < m_lower.size() ? m_lower[i] : '\0'; };
    // A bookmark file's folder heading: <H3 ADD_DATE="...">.
    if (pos + 7 <= m_lower.size() && m_lower.compare(pos + 3, 4, " add") == 0)
        return true;
    if (m_flavour == Flavour::kPlainText)
        return charAt(pos + 3) == '>';
    const char level = charAt(pos + 2);
    return level >= '1' && level <= '6' && (charAt(pos + 3) == '>' || isBlank(charAt(pos + 3)));
}

std::string ClipboardScanner::headingText(std::size_t pos) const {
    const std::size_t close = m_text.find('>', pos);
    if (close == npos)
        return {};
    const std::size_t next = m_text.find('<', close + 1);
    return foldWhiteSpace(decodeCharacterReferences(rawPiece(m_text, close + 1, next == npos ? m_text.size() : next), ReferenceContext::kText));
}

bool ClipboardScanner::linkForm(std::size_t linkPos, ScannedLocation& out, std::size_t& position) {
    const std::size_t open = m_quote.at(m_text, linkPos);
    const std::size_t close = open == npos ? npos : m_quote.at(m_text, open + 1);
    if (close == npos) {
        // An "href" without its two quotes gives no address: the scan goes on after it.
        m_cur = linkPos + 4;
        return false;
    }
    out.location = foldWhiteSpace(decodeCharacterReferences(rawPiece(m_text, open + 1, close), ReferenceContext::kAttribute));
    position = close;
    if (out.location.empty() || out.location.find(':') == npos) {
        // A blank or relative address: the next pass starts inside this tag, after its first quote.
        m_cur = open + 1;
        return false;
    }
    return true;
}

bool ClipboardScanner::plainForm(ScannedLocation& out, std::size_t& position, std::size_t& lineEnd) {
    std::size_t start = npos;
    bool www = false;
    for (std::size_t k = 0; k < std::size(m_kinds) && start == npos; ++k) {
        start = m_kinds[k].at(m_lower, m_cur);
        www = k == std::size(m_kinds) - 1;
    }
    if (start == npos)
        return false;
    // An address never holds white space; the text ends as if blanks followed it.
    std::size_t end = start;
    while (end < m_text.size() && !isBlank(m_text[end]))
        ++end;
    out.location = (www ? "http://" : "") + std::string(rawPiece(m_text, start, end));
    position = end;
    const std::size_t lf = m_lineFeed.at(m_text, end), cr = m_carriageReturn.at(m_text, end);
    lineEnd = std::min({lf, cr, m_text.size()});
    return true;
}

bool ClipboardScanner::next(ScannedLocation& out) {
    while (!m_ended) {
        const std::size_t linkPos = m_href.at(m_lower, m_cur);
        const std::size_t headPos = m_heading.at(m_lower, m_cur);
        ScannedLocation item;
        item.category = kDefaultCategory;
        if (headPos != npos && (linkPos == npos || headPos < linkPos) && headingAt(headPos)) {
            // A heading whose text is blank names no category.
            if (std::string heading = headingText(headPos); !heading.empty())
                item.category = std::move(heading);
        }

        std::size_t position = 0;
        // The text after the address that may hold its description: up to the end of the text in
        // the link form, up to the end of the address's line in the plain form.
        std::size_t segmentEnd = m_text.size();
        if (linkPos != npos) {
            if (!linkForm(linkPos, item, position))
                continue;
        } else {
            // The plain text of the same copy is scanned for bare addresses on its own.
            if (m_flavour == Flavour::kHtml || !plainForm(item, position, segmentEnd)) {
                m_ended = true;
                return false;
            }
        }

        // Description and site information: in the text after the address, past the end of its tag;
        // in the plain form only up to the end of the address's line.
        std::size_t from = std::min(position + 1, m_text.size());
        segmentEnd = std::max(segmentEnd, from);
        if (std::size_t gt = m_greater.at(m_text, from); gt != npos && gt < segmentEnd)
            from = gt + 1;
        m_cur = from;
        // A link stands in markup: its pieces are read as HTML. The words around a bare address are
        // taken as they are.
        const bool markup = linkPos != npos;
        auto text = [&](std::string_view raw) {
            return markup ? foldWhiteSpace(decodeCharacterReferences(withoutTags(raw), ReferenceContext::kText)) : foldWhiteSpace(raw);
        };
        const std::size_t anchorEnd = m_endAnchor.at(m_lower, from);
        if (anchorEnd != npos && anchorEnd < segmentEnd) {
            item.description = text(rawPiece(m_text, from, anchorEnd));
            std::string_view after = rawPiece(m_text, anchorEnd + 4, segmentEnd);
            if (!after.empty() && after.front() != '<') {
                // The words that follow the link, up to the next tag.
                after = after.substr(0, std::min(after.size(), after.find('<')));
                item.siteInfo = markup ? foldWhiteSpace(decodeCharacterReferences(after, ReferenceContext::kText)) : std::string(after);
                while (!item.siteInfo.empty() && isBlank(item.siteInfo.back()))
                    item.siteInfo.pop_back();
            }
            m_cur = anchorEnd + 1;
        } else {
            item.description = text(rawPiece(m_text, from, segmentEnd));
        }

        // Keyword: the scheme, "mailto:" for mail, "?" for anything else.
        std::string lowerLocation = item.location;
        std::transform(lowerLocation.begin(), lowerLocation.end(), lowerLocation.begin(), lowerAscii);
        if (std::size_t scheme = item.location.find("://"); scheme != npos)
            item.keyword = item.location.substr(0, scheme);
        else if (lowerLocation.find("mailto:") != npos)
            item.keyword = "mailto:";
        else
            item.keyword = "?";
        item.inPageLink = item.location.front() == '#';
        out = std::move(item);
        return true;
    }
    return false;
}

std::vector<ScannedLocation> scanClipboardText(std::string_view text, Flavour flavour) {
    std::vector<ScannedLocation> all;
    ClipboardScanner scanner{std::string(text), flavour};
    for (ScannedLocation s; scanner.next(s);)
        all.push_back(std::move(s));
    return all;
}

}  // namespace sitedex::app::clipboard
