#pragma once
// The HTML scanner: the links of a web page or of a browser's bookmark file, read line by line.
//
// It walks the tags of each line in order, letter case ignored, and keeps what it needs between
// lines (a comment, a script, a tag broken over two lines, the text of an open link or heading):
//   - a link is an <a> tag with an href: the address is the attribute's value, the title the text up
//     to </a> with its tags left out. An href with an opening quote but no closing one on its line
//     ends at the tag's ">" (as written by hand: <a href="http://x/>Title</a>);
//   - a bookmark file (a line holding "<!DOCTYPE" and "-BOOKMARK") files each link under the folder
//     that holds it: the heading (<H3>) right before a <DL> names that list, </DL> closes it, and a
//     link outside every list belongs to the document's own heading (<H1>). A <DD> describes the
//     link or folder right before it, over as many lines as its text runs (to the next tag of the
//     list, or a <BR>): a link's description becomes its site information, a folder's is kept as
//     the description of the category it suggests;
//   - any other page suggests the last heading (<h1>-<h6>) before the link, and the text right after
//     </a> up to the next tag is the link's site information.
// Character references are decoded (in the address by the attribute rule of
// runtime/text_decoding.h), so "&amp;" in an address is the "&" the page links to.
//
// Callers: the import job (through makeScanner), tests, the fuzz target.

#include <optional>
#include <string>
#include <vector>

#include "app/import/scanner.h"

namespace sitedex::app::importing {

class HtmlScanner : public DocumentScanner {
public:
    void scanLine(std::string_view line, std::vector<ScannedLink>& out) override;
    void finish(std::vector<ScannedLink>& out) override;

    bool isBookmarkFile() const { return m_bookmarkFile; }

private:
    struct Folder {
        std::string name;
        std::string description;
    };

    void walk(std::string_view s, std::vector<ScannedLink>& out);
    // Handles the tag at s[at] ("<" + letter or "/"); returns where scanning goes on, or npos when the
    // tag runs past the end of the line (it is then kept for the next line).
    size_t tag(std::string_view s, size_t at, std::vector<ScannedLink>& out);
    void text(std::string_view raw);
    void endOfLine(std::vector<ScannedLink>& out);

    void openLink(std::string href, std::vector<ScannedLink>& out);
    void closeLink(std::vector<ScannedLink>& out);
    void closeHeading();
    void closeDescription();
    void flushHeld(std::vector<ScannedLink>& out);
    void endItem(std::vector<ScannedLink>& out);  // a tag of the bookmark list ends the item before it

    bool m_bookmarkFile = false;
    bool m_inComment = false;
    std::string m_rawTextEnd;  // "</script" or "</style" while inside one
    std::string m_partialTag;  // a tag that did not end on its line

    // The link being read (between its <a> and </a>).
    bool m_inLink = false;
    ScannedLink m_link;
    std::string m_linkText;
    int m_linkLines = 0;

    // The heading being read.
    bool m_inHeading = false;
    int m_headingLevel = 0;
    std::string m_headingText;
    int m_headingLines = 0;

    // A bookmark file's <DD> being read, and what it describes.
    enum class Described { kNothing, kLink, kFolder };
    bool m_inDescription = false;
    bool m_descriptionCut = false;  // after a <BR>: the rest is no description
    Described m_described = Described::kNothing;
    std::string m_descriptionText;

    // A link read but not yet handed out: a bookmark file's <DD> may still follow it; another page's
    // link waits for the text after its </a>.
    std::optional<ScannedLink> m_held;
    bool m_heldWantsText = false;

    // Bookmark files: the open lists and the heading that names the next one.
    std::vector<Folder> m_folders;
    std::optional<std::string> m_pendingFolder;
    std::string m_pendingDescription;
    std::string m_rootName;
    // Other pages: the last heading seen.
    std::string m_lastHeading;
    bool m_trimNextText = false;  // text continuing on a new line starts without its indent
};

}  // namespace sitedex::app::importing
