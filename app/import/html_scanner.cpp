#include "app/import/html_scanner.h"

#include <algorithm>

#include "runtime/text_decoding.h"

namespace sitedex::app::importing {

namespace {

using runtime::ReferenceContext;

// The text of an open link or heading runs on over at most this many lines of a page: far more
// than any real one takes, few enough that a missing </a> does not swallow the rest of the page.
constexpr int kMostLinesOfText = 8;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Position of `lowerNeedle` in s at or after `from`, letter case ignored; npos when absent.
size_t findNoCase(std::string_view s, std::string_view lowerNeedle, size_t from = 0) {
    if (lowerNeedle.empty() || s.size() < lowerNeedle.size())
        return std::string_view::npos;
    for (size_t i = from; i + lowerNeedle.size() <= s.size(); ++i) {
        if (lower(s[i]) != lowerNeedle[0])
            continue;
        size_t k = 1;
        while (k < lowerNeedle.size() && lower(s[i + k]) == lowerNeedle[k])
            ++k;
        if (k == lowerNeedle.size())
            return i;
    }
    return std::string_view::npos;
}

// The address an href gives: references decoded, the tabs and line breaks browsers take out of
// addresses removed, blanks at the ends trimmed.
std::string addressOf(std::string_view value) {
    std::string decoded = runtime::decodeCharacterReferences(value, ReferenceContext::kAttribute);
    decoded.erase(
        std::remove_if(decoded.begin(), decoded.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }),
        decoded.end());
    std::string out;
    appendBounded(out, decoded);
    return oneLine(std::move(out));
}

// A description's text: control characters gone except line breaks, blank lines at the ends and
// trailing blanks dropped.
std::string descriptionOf(std::string text) {
    runtime::replaceControlCharacters(text, true);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\n'))
        ++start;
    return text.substr(start);
}

}  // namespace

void HtmlScanner::scanLine(std::string_view line, std::vector<ScannedLink>& out) {
    if (!m_bookmarkFile) {
        const size_t bang = line.find("<!");
        if (bang != std::string_view::npos && findNoCase(line, "<!doctype", bang) != std::string_view::npos &&
            findNoCase(line, "-bookmark") != std::string_view::npos)
            m_bookmarkFile = true;
    }
    if (!m_partialTag.empty()) {
        // A tag broken over lines is read as one; the line break stays inside it as a blank would.
        std::string joined = std::move(m_partialTag);
        m_partialTag.clear();
        joined.push_back('\n');
        joined.append(line);
        if (joined.size() > kLongestText) {
            // No tag is this long: whatever it was, it is passed over.
            joined.clear();
            endOfLine(out);
            return;
        }
        walk(joined, out);
    } else {
        walk(line, out);
    }
    endOfLine(out);
}

void HtmlScanner::walk(std::string_view s, std::vector<ScannedLink>& out) {
    size_t i = 0;
    while (i < s.size()) {
        if (m_inComment) {
            const size_t end = s.find("-->", i);
            if (end == std::string_view::npos)
                return;
            m_inComment = false;
            i = end + 3;
            continue;
        }
        if (!m_rawTextEnd.empty()) {
            const size_t end = findNoCase(s, m_rawTextEnd, i);
            if (end == std::string_view::npos)
                return;
            m_rawTextEnd.clear();
            i = end;  // the closing tag is read as a tag
            continue;
        }
        const size_t lt = s.find('<', i);
        text(s.substr(i, lt == std::string_view::npos ? std::string_view::npos : lt - i));
        if (lt == std::string_view::npos)
            return;
        const char next = lt + 1 < s.size() ? s[lt + 1] : '\0';
        if (next == '!') {
            if (s.substr(lt, 4) == "<!--") {
                m_inComment = true;
                i = lt + 4;
            } else {
                const size_t end = s.find('>', lt);
                if (end == std::string_view::npos)
                    return;
                i = end + 1;
            }
            continue;
        }
        if (isLetter(next) || (next == '/' && lt + 2 < s.size() && isLetter(s[lt + 2]))) {
            const size_t after = tag(s, lt, out);
            if (after == std::string_view::npos) {
                m_partialTag = std::string(s.substr(lt));
                return;
            }
            i = after;
            continue;
        }
        // A "<" that starts no tag is text.
        text("<");
        i = lt + 1;
    }
}

size_t HtmlScanner::tag(std::string_view s, size_t at, std::vector<ScannedLink>& out) {
    size_t i = at + 1;
    const bool closing = s[i] == '/';
    if (closing)
        ++i;
    std::string name;
    while (i < s.size() && (isLetter(s[i]) || (s[i] >= '0' && s[i] <= '9')))
        name.push_back(lower(s[i++]));

    // The attributes, up to the ">" that ends the tag.
    std::optional<std::string> href;
    size_t end = std::string_view::npos;
    while (i < s.size()) {
        while (i < s.size() && (isSpace(s[i]) || s[i] == '/'))
            ++i;
        if (i >= s.size())
            break;
        if (s[i] == '>') {
            end = i + 1;
            break;
        }
        const size_t nameStart = i;
        while (i < s.size() && !isSpace(s[i]) && s[i] != '=' && s[i] != '>')
            ++i;
        const std::string_view attribute = s.substr(nameStart, i - nameStart);
        while (i < s.size() && isSpace(s[i]))
            ++i;
        if (i >= s.size() || s[i] != '=')
            continue;
        ++i;
        while (i < s.size() && isSpace(s[i]))
            ++i;
        if (i >= s.size())
            break;
        std::string_view value;
        if (s[i] == '"' || s[i] == '\'') {
            const char quote = s[i];
            const size_t close = s.find(quote, i + 1);
            if (close != std::string_view::npos) {
                value = s.substr(i + 1, close - i - 1);
                i = close + 1;
            } else {
                // No closing quote on the line: the value ends where the tag does.
                const size_t gt = s.find('>', i + 1);
                if (gt == std::string_view::npos)
                    return std::string_view::npos;
                value = s.substr(i + 1, gt - i - 1);
                i = gt;
            }
        } else {
            const size_t start = i;
            while (i < s.size() && !isSpace(s[i]) && s[i] != '>')
                ++i;
            value = s.substr(start, i - start);
        }
        if (!closing && name == "a" && !href && attribute.size() == 4 && findNoCase(attribute, "href") == 0)
            href = std::string(value);
    }
    if (end == std::string_view::npos)
        return std::string_view::npos;

    // Tags of the bookmark list end the item before them (a link's or a folder's description).
    const bool heading = name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6';
    const bool listTag =
        name == "dt" || name == "dd" || name == "dl" || name == "hr" || heading || (name == "a" && href);
    if (m_bookmarkFile && listTag) {
        if (m_inDescription)
            closeDescription();
        if (!(name == "dd" && !closing))
            flushHeld(out);
    }
    if (m_heldWantsText)
        flushHeld(out);  // the text after </a> ends at the next tag

    if (name == "a") {
        if (closing)
            closeLink(out);
        else if (href)
            openLink(std::move(*href), out);
    } else if (heading) {
        if (closing) {
            closeHeading();
        } else {
            if (m_inHeading)
                closeHeading();
            if (m_bookmarkFile && m_inLink)
                closeLink(out);
            m_inHeading = true;
            m_headingLevel = name[1] - '0';
            m_headingText.clear();
            m_headingLines = 0;
        }
    } else if (m_bookmarkFile && name == "dl") {
        if (m_inLink)
            closeLink(out);
        if (!closing) {
            // The heading right before the list names it; a list without one is part of the
            // folder around it.
            Folder f;
            if (m_pendingFolder) {
                f.name = std::move(*m_pendingFolder);
                f.description = std::move(m_pendingDescription);
            } else if (!m_folders.empty()) {
                f = m_folders.back();
            } else {
                f.name = m_rootName;
            }
            m_pendingFolder.reset();
            m_pendingDescription.clear();
            m_folders.push_back(std::move(f));
        } else if (!m_folders.empty()) {
            m_folders.pop_back();
        }
    } else if (m_bookmarkFile && name == "dd" && !closing) {
        if (m_inLink)
            closeLink(out);
        m_inDescription = true;
        m_descriptionCut = false;
        m_descriptionText.clear();
        m_described = m_held ? Described::kLink : m_pendingFolder ? Described::kFolder : Described::kNothing;
        m_trimNextText = true;
    } else if (m_bookmarkFile && (name == "dt" || name == "hr")) {
        if (m_inLink)
            closeLink(out);
    } else if (name == "br") {
        if (m_inDescription)
            m_descriptionCut = true;
    } else if (!closing && (name == "script" || name == "style")) {
        m_rawTextEnd = "</" + name;
    }
    return end;
}

void HtmlScanner::text(std::string_view raw) {
    if (raw.empty())
        return;
    if (m_trimNextText) {
        // Text that goes on on a new line (or after "<DD>") starts without the indent of the line.
        size_t k = 0;
        while (k < raw.size() && (raw[k] == ' ' || raw[k] == '\t'))
            ++k;
        raw.remove_prefix(k);
        if (raw.empty())
            return;
        m_trimNextText = false;
    }
    const bool wanted = m_inLink || m_inHeading || (m_inDescription && !m_descriptionCut) || m_heldWantsText;
    if (!wanted)
        return;
    const std::string decoded = runtime::decodeCharacterReferences(raw, ReferenceContext::kText);
    if (m_inLink)
        appendBounded(m_linkText, decoded);
    if (m_inHeading)
        appendBounded(m_headingText, decoded);
    if (m_inDescription && !m_descriptionCut)
        appendBounded(m_descriptionText, decoded);
    if (m_heldWantsText && m_held)
        appendBounded(m_held->siteInfo, decoded);
}

void HtmlScanner::endOfLine(std::vector<ScannedLink>& out) {
    if (!m_partialTag.empty())
        return;  // the line goes on in the next one
    if (m_heldWantsText)
        flushHeld(out);
    // In a bookmark file a link's title and a folder's name end with their line; in a page they may
    // run on for a few lines.
    if (m_inLink) {
        if (m_bookmarkFile || ++m_linkLines >= kMostLinesOfText)
            closeLink(out);
        else
            m_linkText.push_back(' ');
    }
    if (m_inHeading) {
        if (m_bookmarkFile || ++m_headingLines >= kMostLinesOfText)
            closeHeading();
        else
            m_headingText.push_back(' ');
    }
    if (m_inDescription) {
        if (!m_descriptionCut)
            appendBounded(m_descriptionText, "\n");
    } else {
        m_trimNextText = m_inLink || m_inHeading;
        return;
    }
    m_trimNextText = false;  // a description keeps the indent of its lines
}

void HtmlScanner::openLink(std::string href, std::vector<ScannedLink>& out) {
    if (m_inLink)
        closeLink(out);  // an <a> inside an open one ends it, as browsers do
    flushHeld(out);
    m_inLink = true;
    m_linkText.clear();
    m_linkLines = 0;
    m_link = {};
    m_link.location = addressOf(href);
    if (m_bookmarkFile) {
        if (!m_folders.empty()) {
            m_link.categoryGuess = m_folders.back().name;
            m_link.categoryDescription = m_folders.back().description;
        } else {
            m_link.categoryGuess = m_rootName;
        }
        // A heading that named no list is no folder of the links after it.
        m_pendingFolder.reset();
        m_pendingDescription.clear();
    } else {
        m_link.categoryGuess = m_lastHeading;
    }
}

void HtmlScanner::closeLink(std::vector<ScannedLink>& out) {
    if (!m_inLink)
        return;
    m_inLink = false;
    m_link.description = oneLine(std::move(m_linkText));
    m_linkText.clear();
    flushHeld(out);
    m_held = std::move(m_link);
    m_link = {};
    m_heldWantsText = !m_bookmarkFile;
}

void HtmlScanner::closeHeading() {
    if (!m_inHeading)
        return;
    m_inHeading = false;
    std::string name = oneLine(std::move(m_headingText));
    m_headingText.clear();
    if (m_bookmarkFile) {
        if (m_folders.empty() && m_headingLevel == 1)
            m_rootName = name;
        m_pendingFolder = std::move(name);
        m_pendingDescription.clear();
    } else {
        m_lastHeading = std::move(name);
    }
}

void HtmlScanner::closeDescription() {
    if (!m_inDescription)
        return;
    m_inDescription = false;
    std::string d = descriptionOf(std::move(m_descriptionText));
    m_descriptionText.clear();
    if (m_described == Described::kLink && m_held)
        m_held->siteInfo = std::move(d);
    else if (m_described == Described::kFolder && m_pendingFolder)
        m_pendingDescription = std::move(d);
    m_described = Described::kNothing;
}

void HtmlScanner::flushHeld(std::vector<ScannedLink>& out) {
    if (!m_held)
        return;
    if (m_heldWantsText) {
        m_held->siteInfo = oneLine(std::move(m_held->siteInfo));
        m_heldWantsText = false;
    }
    out.push_back(std::move(*m_held));
    m_held.reset();
}

void HtmlScanner::finish(std::vector<ScannedLink>& out) {
    m_partialTag.clear();
    if (m_inDescription)
        closeDescription();
    if (m_inLink)
        closeLink(out);
    if (m_inHeading)
        closeHeading();
    flushHeld(out);
}

}  // namespace sitedex::app::importing
