// What a clipboard text adds to the Locations and Categories files: categories made when missing,
// the duplicate test, the made-up description, and the HTML of a copy beside its plain text.
#include <gtest/gtest.h>

#include "app/clipboard/clipboard_capture.h"
#include "runtime/dates.h"
#include "runtime/pictures.h"
#include "tests/app/maintenance_fixture.h"

namespace sitedex::app::clipboard {
namespace {

using namespace sitedex::testing;
using Rows = std::vector<std::string>;

class Capture : public MaintenanceTest {
protected:
    // Takes one clipboard text to its end as the monitor does; returns the locations added.
    int take(const std::string& text, const std::string& html = {}) {
        ClipboardCapture c(text, html);
        while (runtime::runFor(c)) {
        }
        if (c.added() > 0)
            m_last = c.lastAdded();
        return c.added();
    }
    Rows locations() { return rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY"}); }
    std::string m_last;
};

TEST_F(Capture, AddressesAndTheirCategoriesReachTheFiles) {
    addCategory("TOOLS");
    EXPECT_EQ(take("<DT><H3 ADD_DATE=\"1\">Tools</H3>\n<DL><p>\n"
                   "<DT><A HREF=\"http://mirror.example.org/\">Mirror</A>\n"
                   "<DT><H3 ADD_DATE=\"2\">Reading</H3>\n<DL><p>\n"
                   "<DT><A HREF=\"https://books.example.org/\">Books</A>\n"),
              2);
    EXPECT_EQ(m_last, "https://books.example.org/");
    EXPECT_EQ(take("Look at www.example.com today"), 1);
    EXPECT_EQ(locations(), (Rows{"http://mirror.example.org/|Mirror|Tools", "http://www.example.com|today|Clipboard",
                                 "https://books.example.org/|Books|Reading"}));
    // "Tools" was there already as "TOOLS"; the other two were made.
    EXPECT_EQ(categoriesOnDisk(), (Rows{"Clipboard", "Reading", "TOOLS"}));
    readLocation("http://mirror.example.org/");
    EXPECT_EQ(field("URL:KEYWORD"), "http");
    EXPECT_EQ(data::getNumber(data::findField("URL:RATING")), 0);
    EXPECT_TRUE(shownBoxes().empty());
}

TEST_F(Capture, TheSameAddressIsAddedOnceInAnyLetterCase) {
    addLocation("http://old.example/", "Already here", "News");
    EXPECT_EQ(take("http://new.example/ first"), 1);
    EXPECT_EQ(take("HTTP://NEW.EXAMPLE/ again"), 0);
    EXPECT_EQ(take("<a href=\"http://Old.Example/\">Old</a>"), 0);
    EXPECT_EQ(locations(), (Rows{"http://new.example/|first|Clipboard", "http://old.example/|Already here|News"}));
}

TEST_F(Capture, AnAddressWithoutWordsGetsADatedDescription) {
    const std::string today = runtime::format("@d3", double(runtime::today()));
    EXPECT_EQ(take("ftp://files.example.org/pub/"), 1);
    readLocation("ftp://files.example.org/pub/");
    const std::string d = field("URL:DESCRIPTION");
    EXPECT_EQ(d.rfind("Added from clipboard " + today + " ", 0), 0u) << d;
    EXPECT_EQ(d.substr(d.size() - 29), " ftp://files.example.org/pub/") << d;
    EXPECT_EQ(field("URL:KEYWORD"), "ftp");
}

TEST_F(Capture, AnInPageLinkMakesItsCategoryButNoLocation) {
    EXPECT_EQ(take("<h3>Index</h3><a href=\"#part:2\">Part 2</a>"), 0);
    EXPECT_EQ(locations(), Rows{});
    EXPECT_EQ(categoriesOnDisk(), Rows{"Index"});
}

TEST_F(Capture, HtmlBesideThePlainTextGivesTheLinks) {
    // A paragraph copied in a browser: its plain text holds no address at all; its HTML holds them,
    // one also written out in the text.
    const std::string plain = "Read Caf\xC3\xA9 News and the archive at https://archive.example/.";
    const std::string html =
        "<meta charset='utf-8'><p>Read <a href=\"https://cafe.example/news?id=1&amp;p=2\">Caf&eacute; News</a> "
        "and the <a href=\"https://archive.example/.\">archive</a> at https://archive.example/.</p>";
    EXPECT_EQ(take(plain, html), 2);
    EXPECT_EQ(locations(), (Rows{"https://archive.example/.|archive|Clipboard",
                                 "https://cafe.example/news?id=1&p=2|Caf\xC3\xA9 News|Clipboard"}));
    // HTML whose bytes are not UTF-8 is read as Windows-1252.
    EXPECT_EQ(take("",
                   "<a href=\"http://w.example/\">Caf\xE9 \x93"
                   "quoted\x94</a>"),
              1);
    readLocation("http://w.example/");
    EXPECT_EQ(field("URL:DESCRIPTION"), "Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D");
}

TEST_F(Capture, OverlongPiecesAreCutToTheirFields) {
    const std::string longAddress = "http://long.example/" + std::string(400, 'a');
    const std::string longWords(300, 'w');
    EXPECT_EQ(take("<h3>" + std::string(50, 'C') + "</h3><a href=\"" + longAddress + "\">" + longWords + "</a> " +
                   std::string(1500, 's')),
              1);
    const Rows rows = rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:SITEINFO"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], longAddress.substr(0, 255) + "|" + longWords.substr(0, 100) + "|" + std::string(30, 'C') + "|" +
                           std::string(1000, 's'));
}

}  // namespace
}  // namespace sitedex::app::clipboard
