#pragma once
// The inside of the export writer: what the walk over the locations hands to the writer of one
// output type, and what that writer may use.
//
// The job (app/export/export_job.h) reads the locations in category order and calls, for the type
// chosen, header() once, record() for every location exported, and closing() once at the end (also
// after Cancel, so the output stays complete). A writer builds each line and writes it through the
// WriterContext: the export file, and for "HTML - Frame" the page file it opens and closes itself.
// It keeps its own state of the run (the group open, the anchor number, the index).
//
// Text that comes from the data is escaped in every HTML line (htmlText, htmlAttribute); category
// snippets are HTML by purpose and go out as they are.
//
// Callers: app/export only.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/export/export_options.h"
#include "app/export/output_files.h"

namespace sitedex::app::exporting {

// One location as the writers see it. The clipped texts have their trailing blanks removed; the
// stored ones keep the blank padding of their fields (the "ASCII" columns).
struct LocationRow {
    std::string_view category, storedCategory;        // URL:CATEGORY (30)
    std::string_view location, storedLocation;        // URL:LOCATION (255)
    std::string_view description, storedDescription;  // URL:DESCRIPTION (100)
    std::string_view siteInfo;                        // URL:SITEINFO, clipped (memo of up to 1000)
    int rating = 0;                                   // URL:RATING, 0 to 99
};

// The HTM:TYPEOFHTML texts of the five snippet selectors.
enum class Snippet { kReplaceTitle = 1, kBeforeCategory, kBeforeCategoryTitle, kAfterCategoryTitle, kAfterCategory };
std::string_view snippetTypeText(Snippet s);

class WriterContext {
public:
    WriterContext(const ExportOptions& options, OutputFiles& files, LineFile& exportFile, LineFile& pageFile)
        : m_options(options), m_files(files), m_export(exportFile), m_page(pageFile) {}

    const ExportOptions& options() const { return m_options; }
    // A line to the export file / to the page file open now. False once the output has failed.
    bool out(std::string_view line) { return m_export.write(line); }
    bool page(std::string_view line) { return m_page.write(line); }
    LineFile& pageFile() { return m_page; }
    bool failed() const { return m_files.failed(); }

    // The category's snippet of that type (HTM:HTMLTOADD without trailing white space), or empty
    // text when there is none or it is blank.
    std::string snippet(std::string_view category, Snippet type);
    // Every non-blank snippet of a page-wide category ("_Before All", "_After All") in the key order
    // of their types; with skipReplaceTitle the one whose type begins with "Replace" is left out.
    std::vector<std::string> pageSnippets(std::string_view category, bool skipReplaceTitle);
    // The export's date as the heading line shows it ("September 5, 2026").
    std::string dateText() const;

private:
    const ExportOptions& m_options;
    OutputFiles& m_files;
    LineFile& m_export;
    LineFile& m_page;
};

class Writer {
public:
    virtual ~Writer() = default;
    // Opens what the type needs beyond the export file (the first frame page) and writes the header
    // lines.
    virtual void header() = 0;
    virtual void record(const LocationRow& row) = 0;
    // The closing lines; every page file is closed when it returns.
    virtual void closing() = 0;
};

std::unique_ptr<Writer> makeHtmlWriter(WriterContext& context);      // Simple, Table, Frame
std::unique_ptr<Writer> makeTextWriter(WriterContext& context);      // ASCII, Comma-Delimited
std::unique_ptr<Writer> makeBookmarkWriter(WriterContext& context);  // Bookmark File

// ---- text helpers ----------------------------------------------------------------------------
// Appends text for an HTML text position: "&", "<" and ">" escaped.
void appendHtmlText(std::string& out, std::string_view text);
// Appends text for a double-quoted HTML attribute value: also '"' escaped.
void appendHtmlAttribute(std::string& out, std::string_view text);
// A file name as a relative link: characters that a link cannot hold as they are (blanks, "#",
// "?", "%", quotes, control characters...) percent-encoded, then attribute-escaped.
void appendFileLink(std::string& out, std::string_view fileName);
// The rating as a plain whole number.
void appendNumber(std::string& out, int value);

}  // namespace sitedex::app::exporting
