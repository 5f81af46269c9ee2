// sitedex import as a user runs it: the real program on real files, its output and exit codes, bad
// input of every kind, and data files that pass `sitedex check` afterwards.

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/data_fixtures.h"

namespace sitedex::cli {
namespace {

struct CommandRun {
    int code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

CommandRun sitedex(const std::string& args, const std::string& inDir = {}) {
    testing::TempDir tmp;
    const std::string cmd = (inDir.empty() ? "" : "cd '" + inDir + "' && ") + std::string(SITEDEX_BINARY) + " " + args +
                            " >" + tmp.file("out") + " 2>" + tmp.file("err");
    const int st = std::system(cmd.c_str());
    CommandRun r;
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = testing::readFile(tmp.file("out"));
    r.err = testing::readFile(tmp.file("err"));
    return r;
}

const std::string kBookmarks =
    (std::filesystem::path(SITEDEX_TEST_DATA) / "import").string();

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

TEST(ImportCommand, ImportsAndPrintsWhatHappened) {
    testing::TempDir data;
    CommandRun r = sitedex("import " + kBookmarks + "/chrome-edge-crlf.html --data-dir " + data.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "5 addresses found in " + kBookmarks +
                         "/chrome-edge-crlf.html:\n  5 added (3 new categories)\n"
                         "  0 already present\n  0 passed over\n");
    EXPECT_EQ(r.err, "");  // no progress line when standard error is no terminal
    // Again: nothing new.
    r = sitedex("import " + kBookmarks + "/chrome-edge-crlf.html --data-dir " + data.path());
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(contains(r.out, "  0 added\n  5 already present\n")) << r.out;
    r = sitedex("list --data-dir " + data.path() + " --format csv");
    EXPECT_TRUE(contains(r.out, "Other bookmark \"\"two\"\"")) << r.out;
    EXPECT_EQ(sitedex("check --data-dir " + data.path()).code, 0);

    // A name relative to where the command runs, a comma file known by its lines, the selected method.
    testing::writeFile(data.file("links.txt"), "\"Any\",\"http://csv.example/\",\"From a comma file\",\"\",3\n");
    EXPECT_EQ(sitedex("add-category Picked --data-dir " + data.path()).code, 0);
    r = sitedex("import links.txt --data-dir " + data.path() + " --category picked", data.path());
    EXPECT_EQ(r.code, 0) << r.err;
    r = sitedex("list --data-dir " + data.path() + " --format csv");
    EXPECT_TRUE(contains(r.out, "http://csv.example/")) << r.out;
    EXPECT_TRUE(contains(r.out, "Picked")) << r.out;
}

TEST(ImportCommand, UsageErrors) {
    testing::TempDir data;
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"import", "missing argument"},
        {"import a.html --type pdf", "--type is html, csv or text, not 'pdf'"},
        {"import a.html --method selected", "--method selected needs --category NAME"},
        {"import a.html --method guess --category X", "--category goes with --method selected"},
        {"import a.html --method ask", "--method ask needs the window"},
        {"import a.html --category 1234567890123456789012345678901", "--category"},
        {"import a.html b.html", "too many arguments"},
    };
    for (const Case& c : cases) {
        const CommandRun r = sitedex(std::string(c.args) + " --data-dir " + data.path());
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_TRUE(contains(r.err, c.message)) << c.args << ": " << r.err;
    }
    const CommandRun help = sitedex("import --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.out, "Usage: sitedex import FILE")) << help.out;
}

TEST(ImportCommand, BadInputGivesAClearMessageAndHarmsNothing) {
    testing::TempDir data, docs;
    // Something to keep: it must come through every case whole.
    ASSERT_EQ(sitedex("add-category Kept --data-dir " + data.path()).code, 0);
    ASSERT_EQ(sitedex("add http://kept.example/ --category Kept --data-dir " + data.path()).code, 0);

    static constexpr char kPng[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89";
    const std::string png(kPng, sizeof kPng - 1);  // the bytes written, NULs included
    testing::writeFile(docs.file("picture.png"), png);
    ::mkdir(docs.file("folder.html").c_str(), 0755);
    testing::writeFile(docs.file("empty.html"), "");
    std::string longLine = "<a href=\"http://before.example/\">Before</a>" + std::string(50u << 20, 'x') +
                           "<a href=\"http://after.example/\">After</a>";
    testing::writeFile(docs.file("long.html"), longLine);
    longLine.clear();
    longLine.shrink_to_fit();
    // A bookmark file cut off in the middle of a link's tag.
    testing::writeFile(docs.file("truncated.html"),
                       "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><H3>Folder</H3>\n<DL><p>\n"
                       "<DT><A HREF=\"http://whole.example/\">Whole</A>\n<DD>Its description\n"
                       "<DT><A HREF=\"http://cut.exa");
    struct Case {
        std::string file;
        int code;
        std::string expected;  // on standard error (code 1) or standard output (code 0)
    } cases[] = {
        {docs.file("missing.html"), 1, "Cannot import " + docs.file("missing.html") + ": the file does not exist."},
        {docs.file("folder.html"), 1, "it is a folder, not a file."},
        {docs.file("picture.png"), 1, "it is not a text document"},
        {docs.file("empty.html"), 0, "No web addresses were found in " + docs.file("empty.html")},
        {docs.file("long.html"), 0, "2 addresses found"},
        {docs.file("truncated.html"), 0, "1 address found"},
    };
    for (const Case& c : cases) {
        const CommandRun r = sitedex("import " + c.file + " --data-dir " + data.path());
        EXPECT_EQ(r.code, c.code) << c.file << "\n" << r.err;
        EXPECT_TRUE(contains(c.code == 0 ? r.out : r.err, c.expected)) << c.file << "\n" << r.out << r.err;
        const CommandRun check = sitedex("check --data-dir " + data.path());
        EXPECT_EQ(check.code, 0) << c.file << "\n" << check.out << check.err;
    }
    const CommandRun list = sitedex("list --data-dir " + data.path() + " --format csv");
    for (const char* url :
         {"http://kept.example/", "http://before.example/", "http://after.example/", "http://whole.example/"})
        EXPECT_TRUE(contains(list.out, url)) << url << "\n" << list.out;
}

}  // namespace
}  // namespace sitedex::cli
