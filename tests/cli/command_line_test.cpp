// The command line of the built program as a shell user meets it: the options of every command
// before the command, --version, the data folder's forms and mistakes; the program file that loads
// none of Qt for a headless command and reaches the window through the window library.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/data_fixtures.h"
#include "tests/support/processes.h"

namespace sitedex::testing {
namespace {

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        m_data = m_dir.file("data");
        std::filesystem::create_directory(m_data);
        // A settings folder of the test's own, and no display unless a test asks for one.
        m_env.set = {"SITEDEX_CONFIG_DIR=" + m_dir.file("config"), "HOME=" + m_dir.path()};
        m_env.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        ASSERT_EQ(sitedex({"add-category", "News", "--data-dir", m_data}).code, 0);
        ASSERT_EQ(sitedex({"add", "https://a.example/", "--category", "News", "--data-dir", m_data}).code, 0);
    }

    Finished sitedex(std::vector<std::string> args) {
        args.insert(args.begin(), SITEDEX_BINARY);
        return runProgram(args, m_env);
    }

    TempDir m_dir;
    std::string m_data;
    Environment m_env;
};

TEST_F(CommandLine, OptionsOfEveryCommandMayStandBeforeIt) {
    const std::string listing = "\thttps://a.example/\tNews\t0\thttps\t\n";
    std::filesystem::create_directory(m_dir.file("sub"));
    std::filesystem::copy(m_data, m_dir.file("sub/data"));
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, err;
    } cases[] = {
        {{"list", "--data-dir", m_data}, 0, listing, ""},
        {{"--data-dir", m_data, "list"}, 0, listing, ""},
        {{"--data-dir=" + m_data, "list"}, 0, listing, ""},
        {{"list", "--data-dir=" + m_data}, 0, listing, ""},
        {{"--data-dir", m_data, "list", "--format", "csv"},
         0,
         "description,location,category,rating,keyword,siteInfo\r\n,https://a.example/,News,0,https,\r\n",
         ""},
        // A leading ~/ is the home folder, also where no shell expands it.
        {{"--data-dir", "~/sub/data", "list"}, 0, listing, ""},
        {{"list", "--data-dir=~/sub/data"}, 0, listing, ""},
        {{"--data-dir", m_data, "list", "--data-dir", m_data}, 2, "", "sitedex: --data-dir is given twice\n"},
        {{"--data-dir"}, 2, "", "sitedex: --data-dir needs a folder\n"},
        {{"list", "--data-dir="}, 2, "", "sitedex: --data-dir needs a folder\n"},
        {{"--data-dir", m_dir.file("missing"), "list"},
         1,
         "",
         "sitedex: cannot use the data folder " + m_dir.file("missing") + ": No such file or directory\n"},
        {{"--order", "rating", "list"}, 2, "", "sitedex: unknown command or option '--order' (see sitedex --help)\n"},
        {{"--data-dir", m_data, "lists"}, 2, "", "sitedex: unknown command or option 'lists' (see sitedex --help)\n"},
        {{"--version"}, 0, "sitedex " SITEDEX_VERSION "\n", ""},
        {{"--data-dir", m_data, "--version"}, 0, "sitedex " SITEDEX_VERSION "\n", ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args)
            line += " " + a;
        Finished f = sitedex(c.args);
        EXPECT_EQ(f.code, c.code) << line;
        EXPECT_EQ(f.out, c.out) << line;
        EXPECT_EQ(f.err, c.err) << line;
    }
}

TEST_F(CommandLine, CommandsThatWriteTakeTheFolderGivenBeforeThem) {
    EXPECT_EQ(sitedex({"--data-dir", m_data, "add", "https://b.example/", "--category", "news"}).code, 0);
    EXPECT_EQ(sitedex({"--data-dir", m_data, "rename-category", "News", "Papers"}).code, 0);
    EXPECT_EQ(sitedex({"--data-dir", m_data, "remove", "https://a.example/"}).code, 0);
    Finished f = sitedex({"list", "--data-dir", m_data});
    EXPECT_EQ(f.out, "\thttps://b.example/\tPapers\t0\thttps\t\n");
    // Nothing was written in the working folder of the commands.
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("URL_L.VLX")));
}

TEST_F(CommandLine, HelpNamesTheOptionsOfEveryCommandAndTheSections) {
    Finished f = sitedex({"--help"});
    EXPECT_EQ(f.code, 0);
    for (const char* part :
         {"Usage: sitedex [--data-dir DIR]\n", "       sitedex [--data-dir DIR] COMMAND [ARGUMENTS]\n", "\nCommands:\n",
          "\nOptions:\n  --data-dir DIR   ", "\n  --version ", "\nFiles:\n", "\nEnvironment:\n",
          "\nExit status:\n  0 "})
        EXPECT_NE(f.out.find(part), std::string::npos) << part;
}

// Loading Qt's libraries is most of a process's start; the program file must not need them.
TEST_F(CommandLine, TheProgramFileLoadsNoneOfQt) {
    Environment trace = m_env;
    trace.set.push_back("LD_TRACE_LOADED_OBJECTS=1");
    Finished f = runProgram({SITEDEX_BINARY}, trace);
    ASSERT_EQ(f.code, 0);
    EXPECT_NE(f.out.find("libc.so"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("libQt6"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("libboost"), std::string::npos) << f.out;
    // The window library holds them.
    std::string library = std::filesystem::path(SITEDEX_BINARY).parent_path() / "sitedex-window.so";
    Finished needs = runProgram({"ldd", library});
    EXPECT_NE(needs.out.find("libQt6Widgets"), std::string::npos) << needs.out << needs.err;
}

TEST_F(CommandLine, WithoutADisplayTheWindowIsRefusedAndNothingIsMade) {
    std::string fresh = m_dir.file("fresh");
    Finished f = sitedex({"--data-dir", fresh});
    EXPECT_EQ(f.code, 1);
    EXPECT_NE(f.err.find("sitedex: no graphical display is available"), std::string::npos) << f.err;
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

// A program file copied away from its window library still runs its commands, and says what is
// missing when asked for the window.
TEST_F(CommandLine, AProgramFileWithoutItsWindowLibraryRunsCommandsAndSaysWhatIsMissing) {
    std::string alone = m_dir.file("bin/sitedex");
    std::filesystem::create_directory(m_dir.file("bin"));
    std::filesystem::copy_file(SITEDEX_BINARY, alone);
    std::filesystem::permissions(alone, std::filesystem::perms::owner_all);
    Environment env = m_env;
    env.set.push_back("QT_QPA_PLATFORM=offscreen");
    Finished list = runProgram({alone, "--data-dir", m_data, "categories"}, env);
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out, "News\t\n");
    Finished window = runProgram({alone, "--data-dir", m_data}, env);
    EXPECT_EQ(window.code, 1);
    EXPECT_EQ(
        window.err.rfind("sitedex: the window library sitedex-window.so is missing beside " + m_dir.file("bin"), 0), 0u)
        << window.err;
}

// The program file loads the window library, which opens the window on the folder given (made
// when missing); the request to end closes it as File > Exit does.
TEST_F(CommandLine, TheWindowOpensOnTheDataFolderGivenAndEndsOnRequest) {
    std::string fresh = m_dir.file("new folder/data");
    std::filesystem::create_directory(m_dir.file("new folder"));
    Environment offscreen = m_env;
    offscreen.set.push_back("QT_QPA_PLATFORM=offscreen");
    Background window({SITEDEX_BINARY, "--data-dir", fresh}, offscreen);
    // The locations browse opens the data files once the splash has closed.
    EXPECT_TRUE(waitForFile(fresh + "/URL_L.VLX", std::chrono::seconds(60)));
    Finished f = window.end(SIGTERM, std::chrono::seconds(30));
    EXPECT_EQ(f.code, 0) << f.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("URL_L.VLX")));
}

}  // namespace
}  // namespace sitedex::testing
