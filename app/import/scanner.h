#pragma once
// The document scanners of the import: each turns the lines of one kind of document into the links
// it holds, with what the document tells about each (title, description, the category it suggests).
//
//   - HTML (html_scanner.h): anchors of web pages and of the bookmark files browsers export;
//   - comma (comma_scanner.h): the lines of the program's own "Comma-Delimited" export;
//   - plain text (text_scanner.h): addresses written out in any text.
//
// Scanners know nothing of the data files: they hand out every address they meet, even one the
// import will pass over (no scheme, an anchor inside a page, too long); the import decides. What
// they hand out is valid UTF-8 with character references decoded and control characters gone
// (site information may keep line breaks), and no text grows without bound however the document is
// made: every piece a scanner collects stops growing at kLongestText bytes.
//
// Callers: the import job, one scanner per run; the fuzz target.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::app::importing {

// Far more than any field holds: a longer text is cut here already.
inline constexpr size_t kLongestText = 64 * 1024;

struct ScannedLink {
    std::string location;
    std::string description;
    std::string siteInfo;
    // The category the document suggests: the folder, the heading, the comma file's first field.
    std::string categoryGuess;
    // What the document says about that category (a bookmark folder's description), if anything.
    std::string categoryDescription;
    std::optional<int> rating;  // comma files only
};

// The three kinds of document, by the letter the import dialog's choice starts with.
enum class DocumentType { kHtml, kComma, kText };

class DocumentScanner {
public:
    virtual ~DocumentScanner() = default;
    // Scans the next line of the document (valid UTF-8, without its line break) and appends the
    // links it completes.
    virtual void scanLine(std::string_view line, std::vector<ScannedLink>& out) = 0;
    // The end of the document: appends the links still held back.
    virtual void finish(std::vector<ScannedLink>& out) { (void)out; }
};

std::unique_ptr<DocumentScanner> makeScanner(DocumentType type);

// Helpers the scanners share.
// The text with leading and trailing blanks (and other ASCII white space) removed.
std::string_view trimmed(std::string_view text);
// The longest start of text of at most maxBytes that does not end inside a character.
std::string_view utf8Start(std::string_view text, size_t maxBytes);
// Appends text to out without letting out grow past kLongestText (cut at a character boundary).
void appendBounded(std::string& out, std::string_view text);
// Text of one line for a field: control characters become blanks, the ends are trimmed.
std::string oneLine(std::string text);

}  // namespace sitedex::app::importing
