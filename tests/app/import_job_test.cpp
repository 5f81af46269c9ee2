// The import job on real files: small documents that each show one thing real browsers write, the
// real exports of tests/data/bookmarks, comma files and plain text, the three category methods, and
// what is left on disk (every location whole, each category it names present).

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/import/import_job.h"
#include "runtime/jobs.h"
#include "tests/app/maintenance_fixture.h"
#include "tests/support/refused_writes.h"

namespace sitedex::app::importing {
namespace {

using Rows = std::vector<std::string>;

const std::filesystem::path kTestData = std::filesystem::path(SITEDEX_TEST_DATA);

std::string quirk(const char* name) {
    return (kTestData / "import" / name).string();
}
std::string export_(const char* name) {
    return (kTestData / "bookmarks" / name).string();
}

class ImportJobTest : public testing::MaintenanceTest {
protected:
    ImportCounts run(ImportRequest request, std::string* summary = nullptr) {
        ImportJob job(std::move(request));
        EXPECT_TRUE(job.open()) << job.problem();
        while (runtime::runFor(job)) {
        }
        EXPECT_TRUE(job.finished());
        EXPECT_EQ(job.problem(), "");
        if (summary)
            *summary = job.summary();
        return job.counts();
    }
    ImportCounts importFile(const std::string& path, DocumentType type = DocumentType::kHtml,
                            CategoryMethod method = CategoryMethod::kBestGuess, std::string category = {}) {
        ImportRequest r;
        r.path = path;
        r.type = type;
        r.method = method;
        r.category = std::move(category);
        return run(std::move(r));
    }
    // location | description | category | site info | keyword, sorted.
    Rows stored() {
        return testing::rowsOnDisk(data::SITEDX,
                                   {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:SITEINFO", "URL:KEYWORD"});
    }
    Rows categories() { return testing::rowsOnDisk(data::Categories, {"CAT:CATEGORY", "CAT:DESCRIPTION"}); }
    // Starts again with empty files in a folder of their own (for the cases of a table).
    void freshDataDir() {
        data::closeAllFiles();
        for (data::FileDecl* f : {&data::Categories, &data::CatHTML, &data::SITEDX})
            data::useCount(*f) = 0;
        const std::string dir = m_dir.file("case" + std::to_string(++m_cases));
        ASSERT_TRUE(std::filesystem::create_directory(dir));
        ASSERT_EQ(::chdir(dir.c_str()), 0);
        data::useFile(data::Categories);
        data::useFile(data::CatHTML);
        data::useFile(data::SITEDX);
    }
    // Every location's category is a stored category.
    void expectCategoriesOfLocationsExist() {
        Rows cats = testing::rowsOnDisk(data::Categories, {"CAT:CATEGORY"});
        for (const std::string& c : testing::rowsOnDisk(data::SITEDX, {"URL:CATEGORY"}))
            EXPECT_TRUE(std::binary_search(cats.begin(), cats.end(), c)) << c;
    }

    int m_cases = 0;
};

TEST_F(ImportJobTest, QuirksBrowsersWriteImportAsTheyShould) {
    struct Case {
        const char* file;
        Rows locations;
        Rows categories;
        int64_t found, added, present, passedOver;
    } cases[] = {
        {"firefox-quirks.html",  // CSP meta over two lines, data URIs of KB, TAGS/SHORTCUTURL, <HR>, place:
         {"https://developer.mozilla.org/en-US/docs/Web/HTML|HTML: HyperText Markup Language | MDN|Bookmarks Menu|"
          "The reference for <html> elements & attributes|https",
          "https://news.ycombinator.com/item?id=1&p=2|Hacker News \xe2\x80\x93 item|Bookmarks Toolbar||https",
          "https://support.mozilla.org/products/firefox|Get Help|Mozilla Firefox||https",
          "https://www.mozilla.org/about/|About Us|Mozilla Firefox||https",
          "https://www.wikipedia.org/|Wikipedia|Bookmarks Toolbar||https"},
         {"Bookmarks Menu|",
          "Bookmarks Toolbar|Add bookmarks to this folder to see them displayed on the Bookmarks Toolbar",
          "Mozilla Firefox|"},
         7,
         5,
         0,
         2},
        {"chrome-edge-crlf.html",  // CR LF, the toolbar folder, "Other bookmarks" at the root
         {"https://calendar.example.com/|Calendar|Bookmarks bar||https",
          "https://intranet.example.com/?q=a&b=c|Intranet|Work||https",
          "https://mail.example.com/|Mail|Bookmarks bar||https",
          "https://other.example.org/one|Other bookmark one|Bookmarks||https",
          "https://other.example.org/two|Other bookmark \"two\"|Bookmarks||https"},
         {"Bookmarks bar|", "Bookmarks|", "Work|"},
         5,
         5,
         0,
         0},
        {"safari-no-root-dl.html",  // no list around the top folders, a Reading List folder
         {"https://developer.apple.com/|Developer|Dev||https",
          "https://example.com/article|An article \xe2\x80\x99to read\xe2\x80\x99|Reading List||https",
          "https://root.example.com/|At the top|Bookmarks||https", "https://www.apple.com/|Apple|Favorites||https",
          "https://www.icloud.com/|iCloud|Favorites||https"},
         {"Bookmarks|", "Dev|", "Favorites|", "Reading List|"},
         5,
         5,
         0,
         0},
        {"netscape-latin1.html",  // Latin-1 / Windows-1252 bytes, <DD> of links and of a folder
         {"http://home.netscape.com/|Netscape|Bookmarks for Fran\xc3\xa7ois|The \xe2\x80\x9c"
          "browser\xe2\x80\x9d itself|http",
          "http://www.caf\xc3\xa9-de-flore.example/|Caf\xc3\xa9 de Flore|Caf\xc3\xa9s et th\xc3\xa9|"
          "Le caf\xc3\xa9 \xc2\xab litt\xc3\xa9raire \xc2\xbb de Saint-Germain|http",
          "http://www.mariage-freres.example/|Mariage Fr\xc3\xa8res \xe2\x80\x93 th\xc3\xa9s|Caf\xc3\xa9s et "
          "th\xc3\xa9||http"},
         {"Bookmarks for Fran\xc3\xa7ois|", "Caf\xc3\xa9s et th\xc3\xa9|Adresses o\xc3\xb9 prendre un caf\xc3\xa9"},
         3,
         3,
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        freshDataDir();
        const ImportCounts n = importFile(quirk(c.file));
        EXPECT_EQ(stored(), c.locations);
        Rows cats = c.categories;
        std::sort(cats.begin(), cats.end());
        EXPECT_EQ(categories(), cats);
        EXPECT_EQ(n.found, c.found);
        EXPECT_EQ(n.added, c.added);
        EXPECT_EQ(n.present, c.present);
        EXPECT_EQ(n.passedOver(), c.passedOver);
        EXPECT_EQ(n.categoriesAdded, int64_t(c.categories.size()));
    }
}

TEST_F(ImportJobTest, LinksAfterClosedFoldersOnOneLineBrokenAndPassedOver) {
    addCategory("Old");
    addLocation("https://case.example/page", "Stored before", "Old");
    const ImportCounts n = importFile(quirk("bookmark-quirks.html"));
    EXPECT_EQ(stored(), (Rows{
                            "https://broken.example/no-closing-quote|No closing quote|Broken||https",
                            "https://case.example/page|Stored before|Old||",
                            "https://child.example/|In the child|Child||https",
                            "https://one.example/a|A|One line||https",
                            "https://one.example/b|B|One line||https",
                            "https://one.example/c|C|One line||https",
                            "https://parent.example/after|After the closed child|Parent||https",
                            "javascript:(function(){alert('hi')})()|Short bookmarklet|Broken||?",
                        }));
    EXPECT_EQ(n.found, 11);
    EXPECT_EQ(n.added, 7);
    EXPECT_EQ(n.present, 1);  // the address in other letter case
    EXPECT_EQ(n.tooLong, 1);  // the long bookmarklet: not cut into a broken one
    EXPECT_EQ(n.inPage, 1);
    EXPECT_EQ(n.noScheme, 1);
}

// The real exports: every link once, with its title, its folder and its description. The figures
// and the entries below were read from the files themselves (a link met again, in any letter case,
// is "present"; a too long address is passed over each time it is met).
TEST_F(ImportJobTest, RealBrowserExports) {
    struct Case {
        const char* file;
        int64_t links, passedOver, present, kept;  // links in the file, and what becomes of them
        Rows samples;                              // location|description|category|site info
    } cases[] = {
        {"firefox-kafene-nested.htm",
         24,
         3,
         0,
         21,
         {"http://lotrproject.com/blog/2013/02/08/timeline-of-the-elves-in-tolkiens-works/|Timeline of the Elves in "
          "Tolkien\xe2\x80\x99s works | LotrProject Blog|Bookmark menu|",
          "http://www.commitstrip.com/en/2016/02/10/true-story-one-code-review-too-many/|True story: one code review "
          "too many | CommitStrip|Comics|The blog relating the daily life of web agency developers",
          // after the closed sub-folder PHP, back in Dev
          "http://www.biostat.jhsph.edu/courses/bio621/misc/Chocolate%20consumption%20cognitive%20function%20and%20"
          "nobel%20laurates%20%28NEJM%29.pdf|Chocolate Consumption, Cognitive Function, and Nobel Laureates - "
          "Chocolate consumption cognitive fun|Dev|",
          "https://github.com/kafene/netscape-bookmark-parser|kafene/netscape-bookmark-parser: a php script "
          "(function) to parse netscape format bookmark files|PHP|netscape-bookmark-parser - a php script (function) "
          "to parse netscape "
          "format bookmark files",
          "http://whistlestudios.com/2016/03/how-to-run-a-meetup-without-giving-up-your-life/|How to run a meetup "
          "without giving up your life|FLOSS|If running a Meetup feels like a full-time job, you're probably doing it "
          "wrong. Volunteering is important and you can make it work with some smart maneuvering.",
          "https://www.mozilla.org/en-US/firefox/central/|Getting Started|Personal toolbar|"}},
        {"chromium-kafene-nested.htm",
         18,
         0,
         0,
         18,
         {"http://www.jabber.org/|jabber.org - the original XMPP instant messaging service|Personal toolbar|",
          "https://regexcrossword.com/|Regex Crossword|Bookmarks|"}},
        {"ie11-kafene-nested-bom.htm",
         27,
         0,
         0,
         27,
         {"http://lizclimo.tumblr.com/post/132165201759/bonus-comic-for-national-cat-day|It Never works with "
          "cats...|Comics|",
          "http://phpsadness.com/|PHP Sadness|PHP|", "http://lmgtfy.com/|Let me google that for you|Bookmarks|"}},
        {"shaarli-kafene-multiline-dd.htm",
         3,
         0,
         0,
         3,
         {"http://multi.li.ne/2|Multiline desc|Bookmarks|Nested lists:\n- list1\n  - item1.1\n  - item1.2\n  - "
          "item1.3\n- list2\n  - item2.1",
          "http://multi.li.ne/3|Multiline desc|Bookmarks|List:\n- item1\n- item2\n\nParagraph number "
          "one.\n\nParagraph\nnumber\ntwo."}},
        {"firefox-guilherme-longlines.html",
         52,
         1,
         0,
         51,
         {"https://refactoring.guru/|Refactoring and Design Patterns|arquitetura|",
          "https://discord.com/channels/@me||arquitetura|",
          "https://chat.deepseek.com/a/chat/s/7e5f1aa6-a91c-4fc6-8a08-3752c9ede0be|DeepSeek|Bookmarks Toolbar|"}},
        {"firefox-stm66-cyrillic.html",
         79,
         7,
         0,
         72,
         {"https://habr.com/ru/articles/208026/|STM32 \xd0\xb8 USB-HID \xe2\x80\x94 \xd1\x8d\xd1\x82\xd0\xbe "
          "\xd0\xbf\xd1\x80\xd0\xbe\xd1\x81\xd1\x82\xd0\xbe / \xd0\xa5\xd0\xb0\xd0\xb1\xd1\x80|Bookmarks Toolbar|",
          "https://plainenglish.io/blog/measuring-object-size-with-opencv|Measuring Object Size with OpenCV | In "
          "Plain English|Other Bookmarks|"}},
        {"chrome-joaxin-crlf-large.html",
         526,
         0,
         0,
         526,
         {"http://gfsoso.99lb.net/"
          "|\xe8\xb0\xb7\xe7\xb2\x89\xe6\x90\x9c\xe6\x90\x9c|\xe6\x90\x9c\xe7\xb4\xa2\xe5\xbc\x95"
          "\xe6\x93\x8e|",
          "http://www.litteratureaudio.com/|Litterature audio.com | Livres audio gratuits "
          "&agrave|\xe5\xb0\x8f\xe9\xb1\xbc|",
          "http://jsbin.com/?css,js,output|JS Bin|Editor|"}},
        {"opera-joaxin-crlf.html",
         358,
         2,
         8,
         348,
         {"https://www.csswinner.com/|CSS Winner - Web Design Awards - CSS Award Gallery for Website Design "
          "Inspiration - Website Awards|h2.1|"}},
        {"firefox-joaxin-large.html", 2154, 1, 1400, 753, {}},
        {"edge-alpaca1231-crlf.html", 65, 9, 2, 54, {}},
        {"safari-mobiledge.html",
         231,
         1,
         2,
         228,
         {"https://blush.design/|Blush, Illustrations for everyone|des-tools|",
          "https://coolbackgrounds.io/|Cool Backgrounds|des-tools|",
          "https://bessey.dev/blog/2024/05/24/why-im-over-graphql/|Why, after 6 years, I\xe2\x80\x99m over "
          "GraphQL|Reading List|",
          "https://claude.ai/chats|Claude|Favorites|"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        freshDataDir();
        const ImportCounts n = importFile(export_(c.file));
        EXPECT_EQ(n.found, c.links);
        EXPECT_EQ(n.added, c.kept);
        EXPECT_EQ(n.present, c.present);
        EXPECT_EQ(n.passedOver(), c.passedOver);
        EXPECT_EQ(n.failed, 0);
        const Rows all =
            testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:SITEINFO"});
        EXPECT_EQ(int64_t(all.size()), c.kept);
        for (const std::string& s : c.samples)
            EXPECT_TRUE(std::find(all.begin(), all.end(), s) != all.end()) << s;
        expectCategoriesOfLocationsExist();
    }
}

TEST_F(ImportJobTest, CommaFilesGiveEveryFieldBack) {
    testing::writeFile(
        m_dir.file("export.txt"),
        "\"Caf\xc3\xa9s, bars\",\"http://a.example/?x=1,2\",\"He said \"\"hi\"\"\",\"line one\nline two\",7\r\n"
        "\"Tools\",\"https://b.example/\",\"Three fields\"\r\n"
        "\"Tools\",\"ftp://c.example/\",\"Rating only\",4\r\n"
        "\"\",\"mailto:someone@example.com\",\"No category\",\"info\"\r\n"
        "not a location line\r\n");
    const ImportCounts n = importFile(m_dir.file("export.txt"), DocumentType::kComma);
    EXPECT_EQ(testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:SITEINFO",
                                                 "URL:RATING", "URL:KEYWORD"}),
              (Rows{
                  "ftp://c.example/|Rating only|Tools||4|ftp",
                  "http://a.example/?x=1,2|He said \"hi\"|Caf\xc3\xa9s, bars|line one\nline two|7|http",
                  "https://b.example/|Three fields|Tools||0|https",
                  "mailto:someone@example.com|No category|New|info|0|mailto:",
              }));
    EXPECT_EQ(categories(), (Rows{"Caf\xc3\xa9s, bars|", "New|", "Tools|"}));
    EXPECT_EQ(n.added, 4);
}

TEST_F(ImportJobTest, PlainTextAndTheThreeMethods) {
    testing::writeFile(m_dir.file("notes.txt"),
                       "Read https://a.example/doc. Later http://b.example/, and ftp://c.example/file\n"
                       "Nothing here\n");
    // Best guess: plain text suggests nothing, so "New" (made once, not a nameless category).
    ImportCounts n = importFile(m_dir.file("notes.txt"), DocumentType::kText);
    EXPECT_EQ(n.added, 3);
    EXPECT_EQ(testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY"}),
              (Rows{"ftp://c.example/file||New", "http://b.example/|and|New", "https://a.example/doc|Later|New"}));
    EXPECT_EQ(categories(), (Rows{"New|"}));

    // Selected: into the category chosen, spelled as it is stored; a missing one is refused.
    freshDataDir();
    addCategory("Reading");
    n = importFile(m_dir.file("notes.txt"), DocumentType::kText, CategoryMethod::kSelected, "READING");
    EXPECT_EQ(testing::rowsOnDisk(data::SITEDX, {"URL:CATEGORY"}), (Rows{"Reading", "Reading", "Reading"}));
    EXPECT_EQ(categories(), (Rows{"Reading|"}));
    ImportRequest missing;
    missing.path = m_dir.file("notes.txt");
    missing.method = CategoryMethod::kSelected;
    missing.category = "Nowhere";
    ImportJob refused(missing);
    EXPECT_FALSE(refused.open());
    EXPECT_EQ(refused.problem(), "There is no category \"Nowhere\" to import into.");

    // Best guess into categories that exist in other letter case: their own spelling is used.
    freshDataDir();
    addCategory("Comics");
    testing::writeFile(m_dir.file("b.html"),
                       "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><DT><H3>COMICS</H3><DL>"
                       "<DT><A HREF=\"http://xkcd.example/\">xkcd</A></DL></DL>\n");
    importFile(m_dir.file("b.html"));
    EXPECT_EQ(testing::rowsOnDisk(data::SITEDX, {"URL:CATEGORY"}), (Rows{"Comics"}));
    EXPECT_EQ(categories(), (Rows{"Comics|"}));
}

TEST_F(ImportJobTest, AskingForEachAddress) {
    testing::writeFile(m_dir.file("b.html"),
                       "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<H1>Root</H1><DL>\n"
                       "<DT><H3>Folder</H3><DL>\n"
                       "<DT><A HREF=\"http://one.example/\">One</A>\n"
                       "<DT><A HREF=\"http://two.example/\">Two</A>\n"
                       "<DT><A HREF=\"#top\">Anchor</A>\n"
                       "<DT><A HREF=\"http://three.example/\">Three</A>\n"
                       "<DT><A HREF=\"http://four.example/\">Four</A>\n"
                       "</DL></DL>\n");
    std::vector<std::string> guesses;
    int call = 0;
    ImportRequest r;
    r.path = m_dir.file("b.html");
    r.method = CategoryMethod::kAsk;
    r.ask = [&](const std::string& guess) -> std::optional<std::string> {
        guesses.push_back(guess + "/" + testing::field("URL:LOCATION"));
        switch (++call) {
            case 1:
                return "Picked";  // a new category
            case 2:
                return std::nullopt;  // no answer: "New"
            case 3:                   // the user changed the address and the description in the dialog
                testing::setField("URL:LOCATION", "https://three.example/changed");
                testing::setField("URL:DESCRIPTION", "Three, renamed");
                return "Picked";
            default:
                return "   ";  // a blank answer: "New"
        }
    };
    const ImportCounts n = run(r);
    // Not asked about what is passed over anyway.
    EXPECT_EQ(guesses, (std::vector<std::string>{"Folder/http://one.example/", "Folder/http://two.example/",
                                                 "Folder/http://three.example/", "Folder/http://four.example/"}));
    EXPECT_EQ(testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY"}),
              (Rows{"http://four.example/|Four|New", "http://one.example/|One|Picked", "http://two.example/|Two|New",
                    "https://three.example/changed|Three, renamed|Picked"}));
    EXPECT_EQ(categories(), (Rows{"New|", "Picked|"}));
    EXPECT_EQ(n.added, 4);
    EXPECT_EQ(n.inPage, 1);
}

TEST_F(ImportJobTest, FieldsAreCutAtTheirSizeButAddressesAreNot) {
    const std::string host = "http://long.example/";
    const std::string fits = host + std::string(255 - host.size(), 'a');
    const std::string tooLong = host + std::string(256 - host.size(), 'b');
    // 99 ASCII bytes and then a two-byte letter: the description ends before it, not inside it.
    const std::string title = std::string(99, 't') + "\xc3\xa9 and more";
    const std::string folder = std::string(29, 'f') + "\xc3\xa9xyz";
    testing::writeFile(m_dir.file("b.html"), "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DT><H3>" + folder +
                                                 "</H3>\n<DL>\n<DT><A HREF=\"" + fits + "\">" + title + "</A>\n<DD>" +
                                                 std::string(1100, 's') + "\n<DT><A HREF=\"" + tooLong +
                                                 "\">Too long</A>\n</DL>\n");
    std::string summary;
    ImportRequest r;
    r.path = m_dir.file("b.html");
    const ImportCounts n = run(r, &summary);
    EXPECT_EQ(n.added, 1);
    EXPECT_EQ(n.tooLong, 1);
    EXPECT_EQ(testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:SITEINFO"}),
              (Rows{fits + "|" + std::string(99, 't') + "|" + std::string(29, 'f') + "|" + std::string(1000, 's')}));
    EXPECT_NE(summary.find("1 too long (over 255 bytes)"), std::string::npos) << summary;
}

TEST_F(ImportJobTest, SummaryTellsWhatHappened) {
    addCategory("Old");
    addLocation("http://present.example/", "", "Old");
    testing::writeFile(m_dir.file("b.html"),
                       "<a href=\"http://new.example/\">New</a> <a href=\"HTTP://PRESENT.EXAMPLE/\">Again</a>\n"
                       "<a href=\"page.html\">Relative</a><a href=\"#x\">Anchor</a>\n");
    std::string summary;
    ImportRequest r;
    r.path = m_dir.file("b.html");
    run(r, &summary);
    EXPECT_EQ(summary, "4 addresses found in " + m_dir.file("b.html") +
                           ":\n"
                           "  1 added (1 new category)\n"
                           "  1 already present\n"
                           "  2 passed over: 1 without \":\", 1 \"#...\" in-page");
    testing::writeFile(m_dir.file("empty.html"), "");
    r.path = m_dir.file("empty.html");
    run(r, &summary);
    EXPECT_EQ(summary, "No web addresses were found in " + m_dir.file("empty.html") + " (read as an HTML document).");
}

TEST_F(ImportJobTest, CancelKeepsWhatWasAdded) {
    std::string doc = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL>\n";
    for (int i = 0; i < 3000; ++i)
        doc += "<DT><H3>Folder " + std::to_string(i / 100) + "</H3><DL><DT><A HREF=\"http://site" + std::to_string(i) +
               ".example/\">Site</A></DL>\n";
    testing::writeFile(m_dir.file("b.html"), doc);
    ImportRequest r;
    r.path = m_dir.file("b.html");
    r.batchTime = std::chrono::milliseconds(0);
    ImportJob job(r);
    ASSERT_TRUE(job.open());
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(job.step());
    job.cancel();
    EXPECT_FALSE(job.step());
    EXPECT_TRUE(job.cancelled());
    EXPECT_GT(job.counts().added, 0);
    EXPECT_LT(job.counts().added, 3000);
    EXPECT_LT(job.percent(), 100);
    EXPECT_EQ(int64_t(testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION"}).size()), job.counts().added);
    expectCategoriesOfLocationsExist();
    EXPECT_NE(job.summary().find("The import was cancelled; what was added before is kept."), std::string::npos);
}

// A program killed while it imports leaves whole locations only, each with its category, and every
// location it had counted as added (committed) is there when the files are opened again.
TEST_F(ImportJobTest, KilledWhileImportingLosesNothingItCounted) {
    std::string doc = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL>\n";
    for (int i = 0; i < 40000; ++i) {
        if (i % 50 == 0)
            doc += (i ? "</DL>\n" : "") + std::string("<DT><H3>Folder ") + std::to_string(i / 50) + "</H3>\n<DL>\n";
        doc += "<DT><A HREF=\"http://site" + std::to_string(i) + ".example/\">Site " + std::to_string(i) +
               "</A>\n<DD>About site " + std::to_string(i) + "\n";
    }
    doc += "</DL>\n</DL>\n";
    testing::writeFile(m_dir.file("big.html"), doc);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        data::closeAllFiles();
        for (data::FileDecl* f : {&data::Categories, &data::CatHTML, &data::SITEDX})
            data::useCount(*f) = 0;
        const std::string dir = m_dir.file("killed" + std::to_string(round));
        ASSERT_TRUE(std::filesystem::create_directory(dir));
        ASSERT_EQ(::chdir(dir.c_str()), 0);
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(report[0]);
            runtime::setCurrentThread(9);
            data::useFile(data::Categories);
            data::useFile(data::SITEDX);
            ImportRequest r;
            r.path = m_dir.file("big.html");
            ImportJob job(r);
            if (!job.open())
                ::_exit(3);
            while (runtime::runFor(job, std::chrono::milliseconds(5))) {
                job.commitBatch();
                const int64_t committed = job.counts().added;
                (void)!::write(report[1], &committed, sizeof committed);
            }
            ::_exit(0);
        }
        ::close(report[1]);
        // Read what the child reports for a while, then kill it without warning.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150 + 120 * round);
        int64_t committed = 0, value = 0;
        while (std::chrono::steady_clock::now() < until && ::read(report[0], &value, sizeof value) == sizeof value)
            committed = value;
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (::read(report[0], &value, sizeof value) == sizeof value)
            committed = value;
        ::close(report[0]);

        const Rows rows = testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:SITEINFO", "URL:CATEGORY"});
        EXPECT_GE(int64_t(rows.size()), committed);
        EXPECT_GT(committed, 0);
        EXPECT_LT(rows.size(), 40000u) << "the import ended before it was killed";
        for (const std::string& row : rows) {  // http://siteN.example/|About site N|Folder N/50
            const size_t n0 = row.find("site") + 4, n1 = row.find('.', n0);
            const int n = std::stoi(row.substr(n0, n1 - n0));
            EXPECT_EQ(row, "http://site" + std::to_string(n) + ".example/|About site " + std::to_string(n) +
                               "|Folder " + std::to_string(n / 50));
        }
        expectCategoriesOfLocationsExist();
        const std::string check = std::string(SITEDEX_BINARY) + " check --data-dir " + dir + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
}

// A disk that fills up: the batch that cannot be saved is not counted as added, and the run says so.
TEST_F(ImportJobTest, ABatchThatCannotBeSavedIsNotCountedAsAdded) {
    testing::RefusedWrites refused;
    freshDataDir();  // files opened through the guard
    refused.target = "URL_L.VLX";
    ImportRequest r;
    r.path = quirk("chrome-edge-crlf.html");
    ImportJob job(r);
    ASSERT_TRUE(job.open());
    while (runtime::runFor(job)) {
    }
    refused.target.clear();
    EXPECT_EQ(job.counts().added, 0);
    EXPECT_EQ(job.counts().failed, 5);
    EXPECT_EQ(job.counts().categoriesAdded, 0);
    EXPECT_NE(job.problem().find("Saving the added locations failed: "), std::string::npos) << job.problem();
    EXPECT_NE(job.summary().find("  0 added\n"), std::string::npos) << job.summary();
    EXPECT_NE(job.summary().find("  5 could not be added"), std::string::npos) << job.summary();
    EXPECT_EQ(stored(), Rows{});
    EXPECT_EQ(categories(), Rows{});
}

}  // namespace
}  // namespace sitedex::app::importing
