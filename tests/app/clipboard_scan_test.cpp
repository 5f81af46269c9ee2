// The scan of clipboard texts for web addresses: a table of copies a person makes (bookmark lists,
// sentences, pages' HTML) with what each should give, and the bounds of a long or broken copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/clipboard/clipboard_scan.h"
#include "app/clipboard/html_text.h"

namespace sitedex::app::clipboard {
namespace {

// location | description | category | keyword | site info, "#" in front for an in-page link.
std::string shown(const ScannedLocation& s) {
    return (s.inPageLink ? "#" : "") + s.location + " | " + s.description + " | " + s.category + " | " + s.keyword +
           " | " + s.siteInfo;
}

std::vector<std::string> scan(const std::string& text, Flavour flavour = Flavour::kPlainText) {
    std::vector<std::string> out;
    for (const ScannedLocation& s : scanClipboardText(text, flavour))
        out.push_back(shown(s));
    return out;
}

struct Case {
    const char* name;
    Flavour flavour;
    std::string text;
    std::vector<std::string> expected;
};

const Flavour kText = Flavour::kPlainText;
const Flavour kHtml = Flavour::kHtml;

const Case kCases[] = {
    {"bookmark folder heading and link",
     kText,
     "<DL><p>\r\n<DT><H3 ADD_DATE=\"912345678\">Tools</H3>\r\n<DL><p>\r\n"
     "<DT><A HREF=\"http://mirror.example.org/\" ADD_DATE=\"912345679\">Mirror</A>\r\n</DL><p>\r\n",
     {"http://mirror.example.org/ | Mirror | Tools | http | "}},
    {"plain sentence with www",
     kText,
     "Have a look at www.example.com today",
     {"http://www.example.com | today | Clipboard | http | "}},
    {"an address alone", kText, "http://alone.example.net/", {"http://alone.example.net/ |  | Clipboard | http | "}},
    {"in-page link to #top is passed over", kText, "<a href=\"#top\">Back to top</a>", {}},
    {"an in-page link with a colon is marked",
     kText,
     "<a href=\"#part:2\">Part 2</a>",
     {"##part:2 | Part 2 | Clipboard | ? | "}},
    {"relative link is passed over", kText, "<a href=\"page.htm\">Next page</a>", {}},
    {"several links in order",
     kText,
     "<a href=\"http://a.example/\">A</a> <a href=\"ftp://b.example/pub/\">B</a> <a "
     "href=\"mailto:c@example.org\">Mail C</a>",
     {"http://a.example/ | A | Clipboard | http | ", "ftp://b.example/pub/ | B | Clipboard | ftp | ",
      "mailto:c@example.org | Mail C | Clipboard | mailto: | "}},
    {"http is taken before ftp and the text before it dropped",
     kText,
     "get ftp://files.example.org/x.zip or see http://www.example.org/ for more",
     {"http://www.example.org/ | for more | Clipboard | http | "}},
    {"https is taken",
     kText,
     "sign in at https://secure.example.com/login now",
     {"https://secure.example.com/login | now | Clipboard | https | "}},
    {"https is tried before http",
     kText,
     "http://plain.example/ and https://secure.example/",
     {"https://secure.example/ |  | Clipboard | https | "}},
    {"telnet and mailto in plain text",
     kText,
     "telnet://bbs.example.org:23 old board",
     {"telnet://bbs.example.org:23 | old board | Clipboard | telnet | "}},
    {"mailto in plain text",
     kText,
     "write to mailto:editor@example.com please",
     {"mailto:editor@example.com | please | Clipboard | mailto: | "}},
    {"markers in capitals keep the text's case",
     kText,
     "<A HREF=\"HTTP://UPPER.EXAMPLE/\">Up</A>",
     {"HTTP://UPPER.EXAMPLE/ | Up | Clipboard | HTTP | "}},
    {"one address per line, each with the rest of its line",
     kText,
     "http://one.example/ first site\nhttp://two.example/\r\nwww.three.example third, with a comma\n",
     {"http://one.example/ | first site | Clipboard | http | ", "http://two.example/ |  | Clipboard | http | ",
      "http://www.three.example | third, with a comma | Clipboard | http | "}},
    {"a level heading names the category",
     kText,
     "<h3>News</h3><a href=\"http://news.example/\">Daily</a>",
     {"http://news.example/ | Daily | News | http | "}},
    {"a blank heading names none",
     kText,
     "<hr>  <a href=\"http://x.example/\">X</a>",
     {"http://x.example/ | X | Clipboard | http | "}},
    {"the words after a link are its site information",
     kText,
     "<a href=\"http://a.example/\">A</a> a fine site <a href=\"http://b.example/\">B</a></li>",
     {"http://a.example/ | A | Clipboard | http | a fine site", "http://b.example/ | B | Clipboard | http | "}},
    {"an href without quotes is passed over", kText, "<a href=http://unquoted.example/>U</a> and href href", {}},
    {"an href whose value never closes is passed over",
     kText,
     "<a href=\"http://ok.example/\">OK</a> <a href=\"http://cut.example/",
     {"http://ok.example/ | OK | Clipboard | http | ", "http://cut.example/ |  | Clipboard | http | "}},
    {"a link in copied markup is read as HTML",
     kText,
     "<h3>Tools &amp; more</h3><a href=\"http://x.example/?a=1&amp;b=2\"><b>Bold</b> &quot;x&quot;</a>",
     {"http://x.example/?a=1&b=2 | Bold \"x\" | Tools & more | http | "}},
    {"the words around a bare address are taken as they are",
     kText,
     "see http://y.example/ R&amp;D here",
     {"http://y.example/ | R&amp;D here | Clipboard | http | "}},
    {"nothing to find", kText, "just words, no address at all", {}},

    {"html: references resolved, tags left out",
     kHtml,
     "<meta charset=\"utf-8\"><ul><li><a href=\"https://example.com/?a=1&amp;b=2\">Caf&eacute; &amp;\n"
     "  <b>Bar</b></a></li></ul>",
     {"https://example.com/?a=1&b=2 | Caf\xC3\xA9 & Bar | Clipboard | https | "}},
    {"html: a heading with attributes names the category",
     kHtml,
     "<h2 id=\"reading\">Reading &#8211; list</h2><p><a href=\"http://books.example/\">Books</a> to read</p>",
     {"http://books.example/ | Books | Reading \xE2\x80\x93 list | http | to read"}},
    {"html: a number of the Windows code page",
     kHtml,
     "<a href=\"http://q.example/\">&#147;Quoted&#148;</a>",
     {"http://q.example/ | \xE2\x80\x9CQuoted\xE2\x80\x9D | Clipboard | http | "}},
    {"html: only links count, not addresses in the text", kHtml, "<p>see http://text.example/ here</p>", {}},
};

TEST(ClipboardScan, CopiesGiveTheirAddresses) {
    for (const Case& c : kCases)
        EXPECT_EQ(scan(c.text, c.flavour), c.expected) << c.name;
}

TEST(ClipboardScan, ALongListIsScannedToItsEnd) {
    // Far beyond the 2000 characters an older scan looked at.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "http://site" + std::to_string(i) + ".example/\r\n";
    ASSERT_GT(text.size(), 100000u);
    const auto found = scanClipboardText(text);
    ASSERT_EQ(found.size(), 5000u);
    EXPECT_EQ(found.front().location, "http://site0.example/");
    EXPECT_EQ(found.back().location, "http://site4999.example/");
    for (const ScannedLocation& s : found)
        EXPECT_EQ(s.description, "") << s.location;
}

TEST(ClipboardScan, ATextPastTheLimitIsScannedUpToIt) {
    std::string text = "http://first.example/ ";
    text.append(kScanLimit, 'x');
    text += " http://beyond.example/";
    const auto found = scanClipboardText(text);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].location, "http://first.example/");
}

TEST(ClipboardScan, BrokenMarkupEndsWithoutLooping) {
    // Each must end; what they find does not matter here.
    const std::string texts[] = {
        std::string(20000, '"'),
        "href" + std::string(5000, '"'),
        std::string(3000, '<') + "h>",
        "<h3 ADD",
        "<a href=\"http://x.example/\">" + std::string(50000, '>'),
        std::string(1000, '\n') + "www.",
        "\xC3"
        "http://x.example/\xE2\x82",
    };
    for (const std::string& t : texts) {
        ClipboardScanner scanner(t, Flavour::kPlainText);
        ScannedLocation s;
        int n = 0;
        while (scanner.next(s))
            ASSERT_LT(++n, 100000);
        ClipboardScanner html(t, Flavour::kHtml);
        n = 0;
        while (html.next(s))
            ASSERT_LT(++n, 100000);
    }
}

TEST(HtmlText, TagsLeftOutAndWhiteSpaceFolded) {
    EXPECT_EQ(foldWhiteSpace("  a\r\n\t b\xC2\xA0"
                             "c  "),
              "a b c");
    EXPECT_EQ(withoutTags("x<b>y</b><img src=\"z\">w"), "xyw");
}

}  // namespace
}  // namespace sitedex::app::clipboard
