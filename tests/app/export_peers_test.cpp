// The export's output read by programs nobody here wrote: the HTML types through `tidy -errors`
// and through Python's html.parser (every location linked exactly once in each page set), and the
// bookmark file imported by `buku` (every address, title and folder kept). A test whose peer is
// missing is skipped with a message; scripts/setup.sh installs them (tidy, python3, buku).

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "tests/app/export_fixture.h"

namespace sitedex::app::exporting {
namespace {

using sitedex::testing::readFile;
using sitedex::testing::writeFile;
using testing::ExportTest;

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

struct Ran {
    int status = -1;
    std::string output;  // standard output and standard error
};
Ran run(const std::string& command) {
    Ran r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        r.output.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class ExportPeers : public ExportTest {};

TEST_F(ExportPeers, HtmlPagesHaveNoErrorsForTidy) {
    if (!onPath("tidy"))
        GTEST_SKIP() << "tidy is not installed (Debian package tidy); scripts/setup.sh installs it";
    fillFixture();
    for (ExportType type : {ExportType::kSimple, ExportType::kTable, ExportType::kFrame, ExportType::kBookmarkFile}) {
        for (bool body : {false, true}) {
            if (body && type != ExportType::kFrame)
                continue;
            ExportOptions o = options(type);
            o.bodyInFrame = body;
            const Outcome r = runExport(o);
            ASSERT_TRUE(r.succeeded) << r.error;
            for (const std::string& f : r.files) {
                // Exit status 2 means errors (1: warnings only, which old-style markup such as
                // <marquee> and align attributes gives).
                const Ran t = run("tidy -errors -quiet " + quoted(f));
                EXPECT_LT(t.status, 2) << typeText(type) << " " << f << ":\n" << t.output;
                EXPECT_EQ(t.output.find("Error:"), std::string::npos) << f << ":\n" << t.output;
            }
        }
    }
}

// Prints each link target of the files given, one a line, as html.parser sees them (character
// references resolved), and "TEXT <text>" for every link's text.
constexpr const char* kLinkScript = R"(
import sys
from html.parser import HTMLParser
class Links(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.inside = None
    def handle_starttag(self, tag, attrs):
        if tag == 'a':
            href = dict(attrs).get('href')
            if href is not None:
                print('HREF ' + href)
                self.inside = ''
    def handle_data(self, data):
        if self.inside is not None:
            self.inside += data
    def handle_endtag(self, tag):
        if tag == 'a' and self.inside is not None:
            print('TEXT ' + self.inside.replace('\n', ' '))
            self.inside = None
for name in sys.argv[1:]:
    p = Links()
    p.feed(open(name, encoding='utf-8').read())
    p.close()
)";

TEST_F(ExportPeers, EveryLocationIsLinkedOnceInEachPageSet) {
    if (!onPath("python3"))
        GTEST_SKIP() << "python3 is not installed; scripts/setup.sh installs it";
    fillFixture();
    const std::string script = m_dir.file("links.py");
    writeFile(script, kLinkScript);
    for (ExportType type : {ExportType::kSimple, ExportType::kTable, ExportType::kFrame, ExportType::kBookmarkFile}) {
        SCOPED_TRACE(std::string(typeText(type)));
        const Outcome r = runExport(options(type));
        ASSERT_TRUE(r.succeeded) << r.error;
        // The sets of files a reader sees as one: the export file; for a frame export also the
        // category pages together.
        std::vector<std::vector<std::string>> sets = {{r.files.front()}};
        if (type == ExportType::kFrame) {
            std::vector<std::string> pages;
            for (const std::string& f : r.files) {
                const std::string name = std::filesystem::path(f).filename().string();
                if (name != "MYLINKS.HTM" && name != "MYLINKSc.htm" && name != "MYLINKSb.htm")
                    pages.push_back(f);
            }
            sets.push_back(pages);
        }
        for (const auto& set : sets) {
            std::string args;
            for (const std::string& f : set)
                args += " " + quoted(f);
            const Ran p = run("python3 " + quoted(script) + args);
            ASSERT_EQ(p.status, 0) << p.output;
            std::map<std::string, int> hrefs;
            std::set<std::string> texts;
            size_t start = 0;
            for (size_t end; (end = p.output.find('\n', start)) != std::string::npos; start = end + 1) {
                const std::string line = p.output.substr(start, end - start);
                if (line.starts_with("HREF "))
                    ++hrefs[line.substr(5)];
                if (line.starts_with("TEXT "))
                    texts.insert(line.substr(5));
            }
            for (const testing::FixtureLocation& l : testing::fixtureLocations()) {
                EXPECT_EQ(hrefs[l.location], 1) << l.location;
                const std::string shown = *l.description ? l.description : l.location;
                EXPECT_EQ(texts.count(shown), 1u) << shown;
            }
        }
    }
}

TEST_F(ExportPeers, BukuImportsTheBookmarkFileWhole) {
    if (!onPath("buku"))
        GTEST_SKIP() << "buku is not installed (Debian package buku); scripts/setup.sh installs it";
    if (!onPath("python3"))
        GTEST_SKIP() << "python3 is not installed";
    fillFixture();
    const Outcome r = runExport(options(ExportType::kBookmarkFile));
    ASSERT_TRUE(r.succeeded) << r.error;
    const std::string home = m_dir.file("buku-home");
    std::filesystem::create_directories(home);
    const std::string env = "HOME=" + quoted(home) + " XDG_DATA_HOME=" + quoted(home + "/data") + " ";
    // buku asks: a date tag (no), append tags to existing bookmarks (yes), the folder as a tag (yes).
    const Ran imported = run("printf 'n\\ny\\ny\\n' | " + env + "buku --nostdin -i " + quoted(r.files.front()));
    ASSERT_EQ(imported.status, 0) << imported.output;
    const std::string json = m_dir.file("buku.json");
    // (its warnings on standard error must not go into the file)
    const Ran printed = run("{ " + env + "buku --nostdin -p -j > " + quoted(json) + " 2>/dev/null; }");
    ASSERT_EQ(printed.status, 0) << printed.output;
    // One line per bookmark: address, title, tags and description, tab-separated.
    const std::string flatten = m_dir.file("flatten.py");
    writeFile(flatten,
              "import json, sys\n"
              "for b in json.load(open(sys.argv[1], encoding='utf-8')):\n"
              "    print('\\t'.join([b['uri'], b['title'], b['tags'], b['description']]))\n");
    const Ran rows = run("python3 " + quoted(flatten) + " " + quoted(json));
    ASSERT_EQ(rows.status, 0) << rows.output;
    std::set<std::string> got;
    size_t start = 0;
    for (size_t end; (end = rows.output.find('\n', start)) != std::string::npos; start = end + 1)
        got.insert(rows.output.substr(start, end - start));
    std::set<std::string> expected;
    for (const testing::FixtureLocation& l : testing::fixtureLocations()) {
        std::string folder = l.category;
        for (char& c : folder)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        std::string info = l.siteInfo;
        for (char& c : info)
            if (c == '\r' || c == '\n')
                c = ' ';
        expected.insert(std::string(l.location) + "\t" + (*l.description ? l.description : l.location) + "\t" + folder +
                        "\t" + info);
    }
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace sitedex::app::exporting
