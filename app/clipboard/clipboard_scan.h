#pragma once
// Finds the web addresses in a text taken from the clipboard, one at a time, in the order they stand
// in the text, with what goes with each: a description, a category taken from a heading before it,
// site information and a keyword. Nothing here touches the data files; the clipboard capture
// (clipboard_capture.h) adds what the scan finds.
//
// The scan works in passes over the text still to scan. Markers are searched without regard to
// letter case; everything taken from the text keeps its case, with leading white space removed:
//
//   - Link form: when the rest holds "href", the address is the text between the next two double
//     quotes after it; the description is the text between the end of that tag (">") and "</a>";
//     the site information is the text after "</a>" up to the next tag, left empty when a tag
//     follows at once. An "href" without its two quotes is passed over. The pieces of a link are
//     read as the HTML they are: character references resolved, tags left out of the description.
//   - Plain form: when the rest holds no "href", the address is the first occurrence of the first
//     kind present, tried in the order "https://", "http://", "ftp://", "telnet://", "mailto:",
//     "www." ("www." addresses get "http://" in front). It ends at white space or at the end of the
//     text, and its description is the rest of its line, taken as it is.
//   - Category: a heading that stands before the link ("<h3>Tools</h3>", or a bookmark file's
//     "<H3 ADD_DATE=...>Tools</H3>") gives the category; otherwise, or when its text is blank, the
//     category is "Clipboard".
//   - Keyword: the scheme before "://" ("http", "ftp"), "mailto:" for mail addresses, else "?".
//   - Addresses that are blank or hold no ":" (relative links such as "page.htm") are passed over.
//     In-page links ("#part:2") are reported, marked, because their category is still made; the
//     capture adds no location for them.
//   - Runs of white space in one-line pieces (description, category) become one blank.
//
// The HTML flavour scans the HTML a browser puts on the clipboard beside the plain text: only the
// link form, and any heading tag <h1>..<h6> (also with attributes) gives the category.
//
// Texts longer than kScanLimit are scanned up to that size. The scan does a bounded amount of work
// per address, so a long text can be taken on bit by bit.
//
// Callers: the clipboard capture; tests.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::app::clipboard {

// No copy a person makes comes near this; it only keeps a runaway clipboard from costing much.
inline constexpr std::size_t kScanLimit = 1024 * 1024;

// The category of addresses without a heading.
inline constexpr const char* kDefaultCategory = "Clipboard";

enum class Flavour { kPlainText, kHtml };

struct ScannedLocation {
    std::string location;
    std::string description;  // may be empty: the capture then makes one
    std::string siteInfo;
    std::string category;
    std::string keyword;
    bool inPageLink = false;  // starts with "#": no location is added for it
};

class ClipboardScanner {
public:
    ClipboardScanner(std::string text, Flavour flavour);

    // The next address of the text; false when the scan has ended.
    bool next(ScannedLocation& out);

    // How much of the text the scan has passed, 0 to 100.
    int percent() const { return m_ended || m_text.empty() ? 100 : int(m_cur * 100 / m_text.size()); }

private:
    // The next occurrence of a marker at or after a position, remembered between passes: positions
    // only grow, so every marker is searched through the text once.
    struct Marker {
        std::string_view needle;
        std::size_t found = 0;
        std::size_t searchedFrom = 0;
        bool searched = false;
        std::size_t at(const std::string& lower, std::size_t from);
    };

    bool headingAt(std::size_t pos) const;
    std::string headingText(std::size_t pos) const;
    bool linkForm(std::size_t linkPos, ScannedLocation& out, std::size_t& position);
    bool plainForm(ScannedLocation& out, std::size_t& position, std::size_t& lineEnd);

    std::string m_text;
    std::string m_lower;  // ASCII letters lowered; same length and positions as m_text
    Flavour m_flavour;
    std::size_t m_cur = 0;  // the work text is m_text from here on
    bool m_ended = false;
    Marker m_href{"href"};
    Marker m_heading{"<h"};
    Marker m_endAnchor{"</a>"};
    Marker m_quote{"\""};
    Marker m_greater{">"};
    Marker m_lineFeed{"\n"};
    Marker m_carriageReturn{"\r"};
    Marker m_kinds[6] = {{"https://"}, {"http://"}, {"ftp://"}, {"telnet://"}, {"mailto:"}, {"www."}};
};

// Every address of a text (the whole scan at once; tests and small texts).
std::vector<ScannedLocation> scanClipboardText(std::string_view text, Flavour flavour = Flavour::kPlainText);

}  // namespace sitedex::app::clipboard
