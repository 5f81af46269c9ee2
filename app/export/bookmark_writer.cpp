// "Bookmark File": the bookmark-file format that web browsers import and export (the one that
// begins with <!DOCTYPE NETSCAPE-Bookmark-file-1>). Each category is a folder (an H3 heading with
// its own DL list), in category order; each location a DT with its link, the site info, when it is
// exported, a DD after it. Locations without a category stand at the top level. The file declares
// UTF-8, and every text and address is escaped.
#include <string>

#include "app/export/writer.h"

namespace sitedex::app::exporting {

namespace {

class BookmarkWriter final : public Writer {
public:
    explicit BookmarkWriter(WriterContext& c) : m_c(c) {}

    void header() override {
        m_c.out("<!DOCTYPE NETSCAPE-Bookmark-file-1>");
        m_c.out("<!-- Bookmarks written by Sitedex. A web browser imports them from its bookmark manager. -->");
        m_c.out("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">");
        m_c.out("<TITLE>Bookmarks</TITLE>");
        m_c.out("<H1>Bookmarks</H1>");
        m_c.out("<DL><p>");
    }

    void record(const LocationRow& r) override {
        if (r.storedCategory != m_previous) {
            closeFolder();
            m_previous.assign(r.storedCategory);
            if (!r.category.empty()) {
                m_line = "    <DT><H3>";
                appendHtmlText(m_line, r.category);
                m_line += "</H3>";
                m_c.out(m_line);
                m_c.out("    <DL><p>");
                m_folderOpen = true;
            }
        }
        const std::string_view indent = m_folderOpen ? "        " : "    ";
        m_line.assign(indent).append("<DT><A HREF=\"");
        appendHtmlAttribute(m_line, r.location);
        m_line += "\">";
        appendHtmlText(m_line, r.description.empty() ? r.location.substr(0, 100) : r.description);
        m_line += "</A>";
        m_c.out(m_line);
        if (m_c.options().siteInfo && !r.siteInfo.empty()) {
            m_line.assign(indent).append("<DD>");
            const size_t start = m_line.size();
            appendHtmlText(m_line, r.siteInfo);
            // A description is one line in the browsers' own files.
            for (size_t i = start; i < m_line.size(); ++i)
                if (m_line[i] == '\r' || m_line[i] == '\n' || m_line[i] == '\t')
                    m_line[i] = ' ';
            m_c.out(m_line);
        }
    }

    void closing() override {
        closeFolder();
        m_c.out("</DL><p>");
    }

private:
    void closeFolder() {
        if (!m_folderOpen)
            return;
        m_c.out("    </DL><p>");
        m_folderOpen = false;
    }

    WriterContext& m_c;
    bool m_folderOpen = false;
    std::string m_previous;
    std::string m_line;
};

}  // namespace

std::unique_ptr<Writer> makeBookmarkWriter(WriterContext& context) {
    return std::make_unique<BookmarkWriter>(context);
}

}  // namespace sitedex::app::exporting
