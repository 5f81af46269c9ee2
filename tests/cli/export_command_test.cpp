// sitedex export: in-process for its arguments, defaults and refusals; as the built program for a
// disk that fills up part-way (a file-size limit) and for the progress line on a terminal.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "tests/app/maintenance_fixture.h"
#include "tests/cli/command_runner.h"

namespace sitedex::cli {
namespace {

using sitedex::testing::readFile;
using sitedex::testing::TempDir;
using sitedex::testing::writeFile;

using Result = sitedex::testing::ProgramRun;

std::string drain(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

// Runs `sitedex ARGS...` in this process with standard output and error captured.
Result sitedex(std::vector<std::string> args) {
    return sitedex::testing::runInProcess(std::move(args));
}

// A shell command's exit status and output (standard error with it).
Result shell(const std::string& command) {
    Result r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    r.out = drain(p == nullptr ? std::tmpfile() : p);
    return r;
}

class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        m_data = m_dir.file("data");
        std::filesystem::create_directory(m_data);
        for (const char* c : {"Music", "Art & Design"})
            ASSERT_EQ(sitedex({"add-category", c, "--data-dir", m_data}).code, 0);
        ASSERT_EQ(sitedex({"add", "http://a.example/", "--category", "music", "--description", "A \"quoted\" <one>",
                           "--rating", "5", "--site-info", "Info & more", "--data-dir", m_data})
                      .code,
                  0);
        ASSERT_EQ(sitedex({"add", "http://b.example/", "--category", "art & design", "--data-dir", m_data}).code, 0);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(::chdir(m_old), 0);
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }
    // The bytes of the data files, once an export has opened them all after the last change (an
    // open makes a missing file and may put the last commit's pages in place), so that only a
    // change by the command compared shows.
    std::string dataFiles() {
        EXPECT_EQ(sitedex({"export", m_dir.file("scratch.htm"), "--data-dir", m_data}).code, 0);
        std::string all;
        for (const char* f : {"URL_L.VLX", "URL_C.VLX", "URL_H.VLX"})
            all += readFile(m_data + "/" + f);
        return all;
    }

    TempDir m_dir;
    std::string m_data;
    char m_old[4096];
};

TEST_F(ExportCommand, DefaultsAreATableOfAllCategoriesWithSiteInfoAndRatings) {
    // A relative name is the folder the command was typed in, not the data folder.
    const Result r = sitedex({"export", "links.htm", "--data-dir", m_data});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "links.htm: 2 locations exported\n");
    EXPECT_EQ(r.err, "");  // no progress line: standard error is no terminal here
    const std::string page = readFile(m_dir.file("links.htm"));
    EXPECT_NE(page.find("<h3><a name=\"URL1\">Art &amp; Design</a></h3>"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"http://a.example/\">A \"quoted\" &lt;one&gt;</a></li></td>\r\n"
                        "<td>Info &amp; more</td>\r\n<td>Rating:  5</td></tr>"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_data + "/links.htm"));
}

TEST_F(ExportCommand, OptionsChooseTypeCategoryOrderAndColumns) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"--type", "csv"},
         "\"Art & Design\",\"http://b.example/\",\"\",\"\",0\r\n"
         "\"Music\",\"http://a.example/\",\"A \"\"quoted\"\" <one>\",\"Info & more\",5\r\n"},
        {{"--type", "csv", "--no-site-info", "--category", "MUSIC"},
         "\"Music\",\"http://a.example/\",\"A \"\"quoted\"\" <one>\",5\r\n"},
        {{"--type=csv", "--no-rating", "--no-site-info", "--order", "description"},
         "\"Art & Design\",\"http://b.example/\",\"\"\r\n\"Music\",\"http://a.example/\",\"A \"\"quoted\"\" "
         "<one>\"\r\n"},
    };
    for (Case& c : cases) {
        std::vector<std::string> args = {"export", "out.txt", "--data-dir", m_data};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = sitedex(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(readFile(m_dir.file("out.txt")), c.expected) << c.args[0];
    }
    for (const char* type : {"table", "simple", "frame", "ascii", "bookmarks"}) {
        const Result r = sitedex({"export", std::string("t-") + type + ".htm", "--type", type, "--data-dir", m_data});
        EXPECT_EQ(r.code, 0) << type << r.err;
    }
    EXPECT_TRUE(readFile(m_dir.file("t-bookmarks.htm")).starts_with("<!DOCTYPE NETSCAPE-Bookmark-file-1>"));
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("t-framec.htm")));
}

TEST_F(ExportCommand, RefusalsSayWhyAndChangeNothing) {
    const std::string before = dataFiles();
    writeFile(m_dir.file("earlier.htm"), "earlier");
    std::filesystem::create_directory(m_dir.file("folder.htm"));
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    } cases[] = {
        {{"earlier.htm", "--category", "Nonesuch"}, 1, "sitedex export: no category 'Nonesuch'\n"},
        {{"folder.htm"},
         1,
         "sitedex export: Error opening " + m_dir.file("folder.htm") +
             ": that name belongs to a folder; choose a file name.\n"
             "The export was stopped and no earlier file was replaced.\n"},
        {{"missing/x.htm"},
         1,
         "sitedex export: Error opening " + m_dir.file("missing/x.htm") +
             ": Path Not Found (3)\nThe export was stopped and no earlier file was replaced.\n"},
        {{"earlier.htm", "--type", "pdf"},
         2,
         "sitedex export: unknown type 'pdf' (table, simple, frame, ascii, csv, bookmarks)\n"},
        {{"earlier.htm", "--order", "rating"}, 2, "sitedex export: unknown order 'rating' (location, description)\n"},
        {{}, 2, "sitedex export: missing argument\n"},
        {{"a.htm", "b.htm"}, 2, "sitedex export: too many arguments\n"},
        {{"earlier.htm", "--no-such"}, 2, "sitedex export: unknown option '--no-such'\n"},
    };
    for (Case& c : cases) {
        std::vector<std::string> args = {"export", "--data-dir", m_data};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = sitedex(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_TRUE(r.err.starts_with(c.message)) << r.err;
        if (c.code == 2) {
            EXPECT_NE(r.err.find("Usage: sitedex export FILE"), std::string::npos);
        }
    }
    EXPECT_EQ(readFile(m_dir.file("earlier.htm")), "earlier");
    EXPECT_TRUE(dataFiles() == before) << "the data files changed";
    const Result help = sitedex({"export", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: sitedex export FILE"));
    EXPECT_NE(sitedex({"--help"}).out.find("  export "), std::string::npos);
}

TEST_F(ExportCommand, EmptyDatabaseWritesTheEmptyPage) {
    const std::string empty = m_dir.file("empty");
    std::filesystem::create_directory(empty);
    ASSERT_EQ(sitedex({"categories", "--data-dir", empty}).code, 0);  // the files, made empty
    const Result r = sitedex({"export", "e.htm", "--data-dir", empty});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "e.htm: 0 locations exported\n");
    const std::string page = readFile(m_dir.file("e.htm"));
    EXPECT_NE(page.find("<h6><a href=\"#URLIndex\">Jump to Index</a></h6><hr>\r\n</ul>\r\n<br><hr>\r\n"),
              std::string::npos);
    EXPECT_EQ(page.find("Index</h2>"), std::string::npos);
}

// The built program, under a file-size limit: the export fails part-way, says so, and the earlier
// file stays as it was; nothing is left beside it.
TEST_F(ExportCommand, DiskFullPartWayKeepsTheEarlierFile) {
    for (int i = 0; i < 300; ++i) {
        char location[64];
        std::snprintf(location, sizeof location, "http://site%03d.example/%s", i, std::string(60, 'p').c_str());
        ASSERT_EQ(sitedex({"add", location, "--category", "Music", "--data-dir", m_data}).code, 0);
    }
    const std::string before = dataFiles();
    writeFile(m_dir.file("big.htm"), "the earlier export\n");
    const std::string command = "cd " + m_dir.path() + " && trap '' XFSZ && ulimit -f 32 && " + SITEDEX_BINARY +
                                " export big.htm --data-dir " + m_data + "; echo exit \\$?";
    const Result r = shell("sh -c \"" + command + "\"");
    EXPECT_NE(r.out.find("sitedex export: Error adding to " + m_dir.file("big.htm") + ": "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("The export was stopped and no earlier file was replaced.\nexit 1\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(readFile(m_dir.file("big.htm")), "the earlier export\n");
    for (const auto& e : std::filesystem::directory_iterator(m_dir.path()))
        EXPECT_FALSE(e.path().filename().string().ends_with(".tmp")) << e.path();
    EXPECT_TRUE(dataFiles() == before) << "the data files changed";
}

TEST_F(ExportCommand, ProgressLineOnATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script (util-linux) is missing";
    // Enough locations that the export outlasts the first redraw of the progress line.
    ASSERT_EQ(::chdir(m_data.c_str()), 0);
    data::useFile(data::SITEDX);
    data::logout(5, {&data::SITEDX});
    for (int i = 0; i < 120000; ++i) {
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), "http://site" + std::to_string(i) + ".example/");
        data::setString(data::findField("URL:CATEGORY"), "Music");
        ASSERT_EQ(data::add(data::SITEDX), 0);
    }
    data::commit();
    data::releaseFile(data::SITEDX);
    ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
    // script gives the program a terminal; its standard error is the terminal too.
    const std::string command = "cd " + m_dir.path() + " && script -qec '" + SITEDEX_BINARY +
                                " export t.htm --data-dir " + m_data + "' /dev/null";
    const Result r = shell(command);
    EXPECT_NE(r.out.find("\rExporting "), std::string::npos) << r.out.substr(0, 300);
    EXPECT_NE(r.out.find("%\r\033[K"), std::string::npos) << r.out.substr(0, 300);  // cleared at the end
    EXPECT_NE(r.out.find("t.htm: 120002 locations exported"), std::string::npos) << r.out.substr(0, 300);
}

}  // namespace
}  // namespace sitedex::cli
