// The three document scanners of the import, on small documents written for the case at hand: what
// each hands out for the lines it is given (the import job decides later what is added).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/import/comma_scanner.h"
#include "app/import/html_scanner.h"
#include "app/import/text_scanner.h"
#include "runtime/text_decoding.h"

namespace sitedex::app::importing {
namespace {

std::vector<ScannedLink> scan(DocumentType type, std::string_view document) {
    auto scanner = makeScanner(type);
    std::vector<ScannedLink> out;
    size_t start = 0;
    while (start <= document.size()) {
        size_t nl = document.find('\n', start);
        if (nl == std::string_view::npos)
            nl = document.size();
        scanner->scanLine(document.substr(start, nl - start), out);
        start = nl + 1;
    }
    scanner->finish(out);
    return out;
}

// location | description | category guess | site info
std::vector<std::string> rows(const std::vector<ScannedLink>& links) {
    std::vector<std::string> r;
    for (const ScannedLink& l : links)
        r.push_back(l.location + " | " + l.description + " | " + l.categoryGuess + " | " + l.siteInfo);
    return r;
}

using Rows = std::vector<std::string>;

TEST(HtmlScanner, BookmarkFileFilesEachLinkUnderTheFolderThatHoldsIt) {
    const char* doc =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
        "<TITLE>Bookmarks</TITLE>\n"
        "<H1>Bookmarks Menu</H1>\n"
        "<DL><p>\n"
        "    <DT><A HREF=\"http://root.example/\">Root link</A>\n"
        "    <DT><H3>Outer</H3>\n"
        "    <DD>What the outer folder holds\n"
        "    <DL><p>\n"
        "        <DT><A HREF=\"http://outer.example/1\">Outer one</A>\n"
        "        <DD>Said about outer one\n"
        "        <DT><H3>Inner</H3>\n"
        "        <DL><p>\n"
        "            <DT><A HREF=\"http://inner.example/\">Inner one</A>\n"
        "        </DL><p>\n"
        "        <DT><A HREF=\"http://outer.example/2\">After the closed sub-folder</A>\n"
        "        <HR>\n"
        "        <DT><A HREF=\"http://outer.example/3\">After a rule</A>\n"
        "    </DL><p>\n"
        "    <DT><A HREF=\"http://root.example/2\">Back at the root</A>\n"
        "</DL>\n";
    const auto links = scan(DocumentType::kHtml, doc);
    EXPECT_EQ(rows(links), (Rows{
                               "http://root.example/ | Root link | Bookmarks Menu | ",
                               "http://outer.example/1 | Outer one | Outer | Said about outer one",
                               "http://inner.example/ | Inner one | Inner | ",
                               "http://outer.example/2 | After the closed sub-folder | Outer | ",
                               "http://outer.example/3 | After a rule | Outer | ",
                               "http://root.example/2 | Back at the root | Bookmarks Menu | ",
                           }));
    // The folder's description is no link's site info; it comes with the folder's links.
    EXPECT_EQ(links[1].categoryDescription, "What the outer folder holds");
    EXPECT_EQ(links[3].categoryDescription, "What the outer folder holds");
}

TEST(HtmlScanner, DescriptionsDescribeTheItemRightBeforeThemOverAllTheirLines) {
    const char* doc =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
        "<DL><p>\n"
        "<DT><A HREF=\"http://a.example/\">A</A>\n"
        "<DD>List:\n"
        "- item1\n"
        "  - item1.1\n"
        "\n"
        "Paragraph &amp; more.\n"
        "<DT><A HREF=\"http://b.example/\">B</A><DD>Same line<BR>not this\n"
        "<DT><A HREF=\"http://c.example/\">C</A>\n"
        "<DD>\n"
        "<DT><A HREF=\"http://d.example/\">D</A>\n"
        "<DD>Last one, closed by the list\n"
        "</DL><p>\n";
    EXPECT_EQ(rows(scan(DocumentType::kHtml, doc)),
              (Rows{
                  "http://a.example/ | A |  | List:\n- item1\n  - item1.1\n\nParagraph & more.",
                  "http://b.example/ | B |  | Same line",
                  "http://c.example/ | C |  | ",
                  "http://d.example/ | D |  | Last one, closed by the list",
              }));
}

TEST(HtmlScanner, LinksAsBrowsersWriteThem) {
    const std::string icon = "data:image/png;base64," + std::string(20000, 'Q');
    struct Case {
        std::string line;
        Rows expected;  // location | description (guess and site info blank)
    } cases[] = {
        // A data URI of many kilobytes before the title.
        {"<DT><A HREF=\"https://icon.example/\" ADD_DATE=\"1\" ICON=\"" + icon +
             "\" TAGS=\"a,b\" SHORTCUTURL=\"k\">Long line title</A>",
         {"https://icon.example/ | Long line title"}},
        // References in the address by the attribute rule, in the title by the text rule.
        {"<DT><A HREF=\"http://e.example/?a=1&amp;b=2&note=3&region=4\">Tom &amp; Jerry&#39;s &lt;page&gt;</A>",
         {"http://e.example/?a=1&b=2&note=3&region=4 | Tom & Jerry's <page>"}},
        // Several anchors on one line, in order, in any letter case and quoting.
        {"<a href='http://one.example/'>One</a> <A HREF=http://two.example/>Two</A><a title=\"x\" "
         "href=\"http://three.example/\">Three <b>bold</b></a>",
         {"http://one.example/ | One", "http://two.example/ | Two", "http://three.example/ | Three bold"}},
        // An href without its closing quote ends at the tag's end.
        {"<DT><A HREF=\"http://open.example/>Unclosed quote</A>", {"http://open.example/ | Unclosed quote"}},
        // A title without </A> runs to the end of its line.
        {"<DT><A HREF=\"http://noclose.example/\">No close", {"http://noclose.example/ | No close"}},
        // Bookmarklets and queries are handed on as they are; the import decides.
        {"<DT><A HREF=\"javascript:alert(&quot;hi&quot;)\">Bookmarklet</A>",
         {"javascript:alert(\"hi\") | Bookmarklet"}},
        {"<DT><A HREF=\"place:sort=8&maxResults=10\">Most visited</A>", {"place:sort=8&maxResults=10 | Most visited"}},
        // Anchors without an href, and other tags with one, are no links.
        {"<a name=\"top\">Top</a><link rel=\"icon\" href=\"https://cdn.example/i.ico\"><area href=\"x\">", {}},
        {"<A HREF=\"\">Blank</A>", {" | Blank"}},
    };
    for (const Case& c : cases) {
        Rows got;
        for (const ScannedLink& l : scan(DocumentType::kHtml, "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n" + c.line))
            got.push_back(l.location + " | " + l.description);
        EXPECT_EQ(got, c.expected) << c.line.substr(0, 120);
    }
}

TEST(HtmlScanner, OtherPagesSuggestTheLastHeadingAndKeepTheTextAfterALink) {
    const char* doc =
        "<html><head><title>Links</title>\n"
        "<link rel=\"stylesheet\" href=\"https://cdn.example/site.css\">\n"
        "<script>var s = '<a href=\"http://script.example/\">x</a>';\n"
        "</script></head><body>\n"
        "<p><a href=\"http://before.example/\">Before any heading</a></p>\n"
        "<h2>Search &amp; tools</h2>\n"
        "<ul><li><a href=\"http://search.example/\">Search</a> - finds things<br></li>\n"
        "<!-- <a href=\"http://commented.example/\">gone</a>\n"
        "     still a comment -->\n"
        "<li><a\n"
        "   href=\"http://broken-tag.example/\">Tag over two lines</a></li>\n"
        "<li><a href=\"http://multi.example/\">\n"
        "      Text over\n"
        "      three lines</a></li></ul>\n"
        "<hr><h3 class=\"x\">\n"
        "  News</h3>\n"
        "<a href=\"http://news.example/\">News site</a>\n"
        "</body></html>\n";
    EXPECT_EQ(rows(scan(DocumentType::kHtml, doc)),
              (Rows{
                  "http://before.example/ | Before any heading |  | ",
                  "http://search.example/ | Search | Search & tools | - finds things",
                  "http://broken-tag.example/ | Tag over two lines | Search & tools | ",
                  "http://multi.example/ | Text over three lines | Search & tools | ",
                  "http://news.example/ | News site | News | ",
              }));
}

TEST(HtmlScanner, NothingGrowsWithoutBound) {
    // An unclosed comment, a tag and a description that never end: each stops at a size of its own.
    auto scanner = makeScanner(DocumentType::kHtml);
    std::vector<ScannedLink> out;
    scanner->scanLine("<!DOCTYPE NETSCAPE-Bookmark-file-1><DL><DT><A HREF=\"http://a.example/\">A</A><DD>start", out);
    const std::string chunk(100000, 'x');
    for (int i = 0; i < 50; ++i)
        scanner->scanLine(chunk, out);
    scanner->scanLine("<A HREF=\"http://b.example/\" " + chunk, out);
    for (int i = 0; i < 5; ++i)
        scanner->scanLine(chunk, out);
    scanner->finish(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].location, "http://a.example/");
    EXPECT_LE(out[0].siteInfo.size(), kLongestText);
}

TEST(CommaScanner, ReadsTheExportsLinesFieldByField) {
    struct Case {
        const char* line;
        Rows expected;  // guess | location | description | site info | rating
    } cases[] = {
        {"\"Tools\",\"http://a.example/\",\"A \"\"quoted\"\" title\",\"info, with a comma\",7",
         {"Tools | http://a.example/ | A \"quoted\" title | info, with a comma | 7"}},
        {"\"Tools\",\"http://b.example/\",\"Three values\"", {"Tools | http://b.example/ | Three values |  | -"}},
        {"\"Tools\",\"http://c.example/\",\"Site info only\",\"the info\"",
         {"Tools | http://c.example/ | Site info only | the info | -"}},
        {"\"Tools\",\"http://d.example/\",\"Rating only\",4", {"Tools | http://d.example/ | Rating only |  | 4"}},
        {" \"Caf\xc3\xa9\" , \"http://e.example/\" ,\"  padded  \",\"\",0",
         {"Caf\xc3\xa9 | http://e.example/ | padded |  | 0"}},
        // Quotes written once by older exports are part of the value.
        {"\"News\",\"http://f.example/\",\"say \"hi\" now\",\"\",x",
         {"News | http://f.example/ | say \"hi\" now |  | -"}},
        {"\"\",\"http://g.example/\"", {" | http://g.example/ |  |  | -"}},
        {"\"just one value\"", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        Rows got;
        for (const ScannedLink& l : scan(DocumentType::kComma, c.line))
            got.push_back(l.categoryGuess + " | " + l.location + " | " + l.description + " | " + l.siteInfo + " | " +
                          (l.rating ? std::to_string(*l.rating) : "-"));
        EXPECT_EQ(got, c.expected) << c.line;
    }
}

TEST(CommaScanner, AQuotedValueGoesOnOverLines) {
    const auto links = scan(DocumentType::kComma,
                            "\"Notes\",\"http://a.example/\",\"A\",\"first line\nsecond line\",3\n"
                            "\"Notes\",\"http://b.example/\",\"B\",\"\",0\n");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].siteInfo, "first line\nsecond line");
    EXPECT_EQ(links[0].rating, 3);
    EXPECT_EQ(links[1].location, "http://b.example/");
    // A quote that never closes does not swallow the rest of the file for ever.
    std::string doc = "\"Notes\",\"http://c.example/\",\"open\n";
    for (int i = 0; i < 300; ++i)
        doc += "\"X\",\"http://d" + std::to_string(i) + ".example/\"\n";
    EXPECT_GT(scan(DocumentType::kComma, doc).size(), 90u);
}

TEST(TextScanner, FindsAddressesWrittenAnywhere) {
    struct Case {
        const char* line;
        Rows expected;  // location | description
    } cases[] = {
        {"See https://a.example/x. And http://b.example/(y) done",
         {"https://a.example/x | And", "http://b.example/(y) | done"}},
        {"ftp://f.example,http://h.example", {"ftp://f.example | ", "http://h.example | "}},
        {"(see http://paren.example/page), and so on", {"http://paren.example/page | and so on"}},
        {"<a HREF=\"https://x.example/?a=1&amp;b=2\">X &amp; Y</a> tail", {"https://x.example/?a=1&b=2 | X & Y"}},
        {"telnet://t.example news://n.example gopher://g.example",
         {"telnet://t.example | ", "news://n.example | ", "gopher://g.example | "}},
        {"http:// alone and HTTP://UPPER.EXAMPLE is not a marker", {}},
        {"no address at all", {}},
    };
    for (const Case& c : cases) {
        Rows got;
        for (const ScannedLink& l : scan(DocumentType::kText, c.line)) {
            got.push_back(l.location + " | " + l.description);
            EXPECT_EQ(l.categoryGuess, "");
        }
        EXPECT_EQ(got, c.expected) << c.line;
    }
}

TEST(TextScanner, AnAddressAtItsLongestEndsBetweenCharacters) {
    // Found by fuzzing: the longest address ended inside a two-byte letter.
    std::string accents;
    for (int i = 0; i < 700; ++i)
        accents += "\xc3\xa9";
    for (const std::string& line :
         {"http://x.example/" + accents + " after", "<a href=\"http://y.example/" + accents + "\">"}) {
        const auto links = scan(DocumentType::kText, line);
        ASSERT_EQ(links.size(), 1u);
        EXPECT_TRUE(runtime::isValidUtf8(links[0].location));
        EXPECT_TRUE(runtime::isValidUtf8(links[0].description));
        EXPECT_GE(links[0].location.size(), 1095u);
        EXPECT_LE(links[0].location.size(), 1098u);
    }
}

}  // namespace
}  // namespace sitedex::app::importing
