// An installation into a temporary prefix, as `cmake --install build --prefix DIR` makes it. The
// tree holds the program, the window library, the menu entry, the icons, the metainfo, the manual
// page, the completion and the documents; the desktop's own checkers accept the entry and the
// metainfo; man renders the page without a warning; the page and the completion name every command
// and option the program's --help texts have; the installed program runs a command and opens its
// window from the installed window library.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/data_fixtures.h"
#include "tests/support/processes.h"

namespace sitedex::testing {
namespace {

namespace fs = std::filesystem;

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_prefix = s_dir->file("prefix");
        s_install = runProgram({SITEDEX_CMAKE, "--install", SITEDEX_BUILD_DIR, "--prefix", s_prefix});
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_install.code, 0) << s_install.out << s_install.err; }

    static std::string at(const std::string& relative) { return s_prefix + "/" + relative; }
    static std::string program() { return at(SITEDEX_INSTALL_BINDIR "/sitedex"); }

    // The commands of `sitedex --help`, each with the options its own --help names in its usage lines
    // and in the lines that describe one option each ("  --name ...").
    static std::map<std::string, std::set<std::string>> commandsAndOptions() {
        std::map<std::string, std::set<std::string>> all;
        std::string help = runProgram({program(), "--help"}).out;
        size_t from = help.find("\nCommands:\n");
        size_t to = help.find("\n\n", from + 1);
        std::regex entry("\n  ([a-z][a-z-]*)  "), option("--[a-z][a-z-]*");
        std::string section = help.substr(from, to - from + 1);
        for (std::sregex_iterator e(section.begin(), section.end(), entry), end; e != end; ++e) {
            std::string name = (*e)[1];
            std::istringstream own(runProgram({program(), name, "--help"}).out);
            std::set<std::string>& options = all[name];
            bool usage = false;
            for (std::string line; std::getline(own, line);) {
                usage = line.rfind("Usage: ", 0) == 0 || (usage && line.find_first_not_of(' ') != std::string::npos &&
                                                          line[line.find_first_not_of(' ')] == '[');
                if (!usage && line.rfind("  --", 0) != 0)
                    continue;
                if (!usage)
                    line = line.substr(0, line.find(' ', 2));
                for (std::sregex_iterator o(line.begin(), line.end(), option); o != end; ++o)
                    options.insert(o->str());
            }
        }
        return all;
    }

    static TempDir* s_dir;
    static std::string s_prefix;
    static Finished s_install;
};

TempDir* Installed::s_dir = nullptr;
std::string Installed::s_prefix;
Finished Installed::s_install;

uint32_t bigEndian(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

TEST_F(Installed, TheTreeHoldsEveryPart) {
    const std::string data = SITEDEX_INSTALL_DATADIR, doc = SITEDEX_INSTALL_DOCDIR;
    for (const std::string& file :
         {std::string(SITEDEX_INSTALL_BINDIR "/sitedex"), std::string(SITEDEX_INSTALL_WINDOW_LIBRARY),
          data + "/applications/" SITEDEX_APP_ID ".desktop", data + "/metainfo/" SITEDEX_APP_ID ".metainfo.xml",
          std::string(SITEDEX_INSTALL_MANDIR "/man1/sitedex.1.gz"), data + "/bash-completion/completions/sitedex",
          doc + "/sitedex-help.html", doc + "/copyright", doc + "/changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(at(file))) << file;
    EXPECT_NE(fs::status(program()).permissions() & fs::perms::others_exec, fs::perms::none);
    // Every document of docs/help is installed beside the help.
    for (const fs::directory_entry& e : fs::directory_iterator(SITEDEX_SOURCE_DIR "/docs/help"))
        EXPECT_EQ(readFile(at(doc + "/" + e.path().filename().string())), readFile(e.path())) << e.path();
    // The icons: PNG pictures of the size their folder names.
    for (int size : {48, 128, 256}) {
        std::string name =
            data + "/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/sitedex.png";
        std::string png = readFile(at(name));
        ASSERT_GT(png.size(), 24u) << name;
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
        EXPECT_EQ(bigEndian(png, 16), uint32_t(size)) << name;
        EXPECT_EQ(bigEndian(png, 20), uint32_t(size)) << name;
    }
}

TEST_F(Installed, TheDesktopsCheckersAcceptTheEntryAndTheMetainfo) {
    if (!haveProgram("desktop-file-validate") || !haveProgram("appstreamcli"))
        GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) or appstreamcli (appstream) is missing; "
                        "scripts/setup.sh installs them";
    std::string entry = at(SITEDEX_INSTALL_DATADIR "/applications/" SITEDEX_APP_ID ".desktop");
    Finished desktop = runProgram({"desktop-file-validate", entry});
    EXPECT_EQ(desktop.code, 0) << desktop.out << desktop.err;
    EXPECT_EQ(desktop.out + desktop.err, "");
    Finished meta = runProgram({"appstreamcli", "validate", "--no-net",
                                at(SITEDEX_INSTALL_DATADIR "/metainfo/" SITEDEX_APP_ID ".metainfo.xml")});
    EXPECT_EQ(meta.code, 0) << meta.out << meta.err;
    // The tree as a whole: the metainfo's launchable names the installed entry, whose icon is there.
    Finished tree = runProgram({"appstreamcli", "validate-tree", "--no-net", s_prefix});
    EXPECT_EQ(tree.code, 0) << tree.out << tree.err;
    std::string text = readFile(entry);
    EXPECT_NE(text.find("\nExec=sitedex --data-dir \"~/Sitedex\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=sitedex\n"), std::string::npos) << text;
}

TEST_F(Installed, ManRendersThePageWithEveryCommandAndOption) {
    if (!haveProgram("man"))
        GTEST_SKIP() << "man (man-db) is missing; scripts/setup.sh installs it";
    std::string page = at(SITEDEX_INSTALL_MANDIR "/man1/sitedex.1.gz");
    Environment plain{{"MANWIDTH=100", "MANPAGER=cat", "PAGER=cat", "LC_ALL=C.UTF-8"}, {"MANOPT"}};
    Finished shown = runProgram({"man", "-l", page}, plain);
    ASSERT_EQ(shown.code, 0) << shown.err;
    for (const char* part : {"SITEDEX(1)", "NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "OPTIONS", "FILES",
                             "ENVIRONMENT", "EXIT STATUS", "EXAMPLES", "SITEDX.INI", "SITEDEX_CONFIG_DIR",
                             "sitedex --help | --version", "sitedex --data-dir ~/Sitedex list --order rating"})
        EXPECT_NE(shown.out.find(part), std::string::npos) << part;
    auto all = commandsAndOptions();
    // The reading of the texts finds what they have: a command's own options and the shared one.
    ASSERT_TRUE(all.count("list"));
    ASSERT_EQ(all["list"], (std::set<std::string>{"--category", "--data-dir", "--format", "--order"}));
    for (const auto& [name, options] : all) {
        EXPECT_NE(shown.out.find("sitedex " + name + " "), std::string::npos) << name;
        for (const std::string& o : options)
            EXPECT_NE(shown.out.find(o), std::string::npos) << name << " " << o;
    }
    // What a packager's checker asks of a page: no warning from the formatter.
    Finished checked = runProgram({"man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page}, plain);
    EXPECT_EQ(checked.code, 0);
    EXPECT_EQ(checked.err, "");
}

// Completion as bash asks for it: the words typed so far, the word under the cursor last.
std::vector<std::string> complete(const std::string& script, const std::vector<std::string>& words,
                                  const std::string& folder) {
    std::string line = "source '" + script + "'; COMP_WORDS=(";
    for (const std::string& w : words)
        line += " '" + w + "'";
    line += " ); COMP_CWORD=" + std::to_string(words.size() - 1) + "; _sitedex; printf '%s\\n' \"${COMPREPLY[@]}\"";
    Finished f = runProgram({"bash", "--norc", "-c", line}, {}, folder);
    std::vector<std::string> out;
    for (size_t start = 0, nl; (nl = f.out.find('\n', start)) != std::string::npos; start = nl + 1)
        if (nl > start)
            out.push_back(f.out.substr(start, nl - start));
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(Installed, BashCompletesCommandsOptionsAndNames) {
    std::string script = at(SITEDEX_INSTALL_DATADIR "/bash-completion/completions/sitedex");
    std::string here = s_dir->file("work");
    fs::create_directories(here + "/alpha dir");
    writeFile(here + "/afile.vlx", "");
    using Words = std::vector<std::string>;
    struct Case {
        Words typed, expected;
    } cases[] = {
        {{"sitedex", "--"}, {"--data-dir", "--help", "--version", "--wait"}},
        {{"sitedex", "li"}, {"list"}},
        {{"sitedex", "--data-dir", "d", "rem"}, {"remove", "remove-category"}},
        {{"sitedex", "--data-dir", "a"}, {"alpha dir"}},
        {{"sitedex", "list", "--data-dir", "a"}, {"alpha dir"}},
        {{"sitedex", "dump", "a"}, {"afile.vlx", "alpha dir"}},
        {{"sitedex", "list", "--order", ""}, {}},
        {{"sitedex", "list", "--f"}, {"--format"}},
        {{"sitedex", "add", "http://x/", "--rat"}, {"--rating"}},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& w : c.typed)
            line += " [" + w + "]";
        EXPECT_EQ(complete(script, c.typed, here), c.expected) << line;
    }
    // Every command and every option of its --help.
    auto all = commandsAndOptions();
    Words names = complete(script, {"sitedex", ""}, here);
    for (const auto& [name, options] : all) {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        Words offered = complete(script, {"sitedex", name, "--"}, here);
        for (const std::string& o : options)
            EXPECT_NE(std::find(offered.begin(), offered.end(), o), offered.end()) << name << " " << o;
    }
}

TEST_F(Installed, TheInstalledProgramRunsCommandsAndOpensItsWindow) {
    std::string data = s_dir->file("data");
    Environment env{{"SITEDEX_CONFIG_DIR=" + s_dir->file("config"), "QT_QPA_PLATFORM=offscreen"}, {}};
    Finished help = runProgram({program(), "--help"}, env);
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("Usage: sitedex", 0), 0u);
    fs::create_directory(data);
    EXPECT_EQ(runProgram({program(), "--data-dir", data, "add-category", "News"}, env).code, 0);
    EXPECT_EQ(runProgram({program(), "--data-dir", data, "categories"}, env).out, "News\t\n");
    // Nothing beside the installed program: the window library comes from the installed tree.
    ASSERT_FALSE(fs::exists(fs::path(program()).parent_path() / "sitedex-window.so"));
    std::string fresh = s_dir->file("window data");
    Background window({program(), "--data-dir", fresh}, env);
    EXPECT_TRUE(waitForFile(fresh + "/URL_L.VLX", std::chrono::seconds(60)));
    Finished f = window.end(SIGTERM, std::chrono::seconds(30));
    EXPECT_EQ(f.code, 0) << f.err;
}

}  // namespace
}  // namespace sitedex::testing
