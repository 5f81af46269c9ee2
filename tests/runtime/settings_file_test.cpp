#include "runtime/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace sitedex::runtime {
namespace {

namespace fs = std::filesystem;

// Each test gets its own configuration folder, so nothing touches the user's real settings.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sitedex-settings-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        ::setenv("SITEDEX_CONFIG_DIR", (m_dir / "config").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }
    fs::path ini() const { return m_dir / "config" / "SITEDX.INI"; }
    void put(const std::string& text) {
        fs::create_directories(ini().parent_path());
        std::ofstream(ini(), std::ios::binary) << text;
    }
    std::string contents() const {
        std::ifstream in(ini(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path m_dir;
};

TEST_F(SettingsFile, FolderFollowsTheEnvironmentInOrder) {
    ::setenv("SITEDEX_CONFIG_DIR", "/a/b", 1);
    ::setenv("XDG_CONFIG_HOME", "/x", 1);
    EXPECT_EQ(settingsDirectory(), "/a/b");
    EXPECT_EQ(settingsFilePath("SITEDX.INI"), "/a/b/SITEDX.INI");
    ::unsetenv("SITEDEX_CONFIG_DIR");
    EXPECT_EQ(settingsDirectory(), "/x/sitedex");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(settingsDirectory(), "/home/someone/.config/sitedex");
    ::setenv("HOME", oldHome.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(readSetting("System", "Version", "dflt"), "dflt");
    EXPECT_FALSE(fs::exists(ini()));  // reading creates nothing
    put("[System]\nVersion=1.5\n");
    EXPECT_EQ(readSetting("Other", "Version", "d"), "d");
    EXPECT_EQ(readSetting("System", "Missing", "d"), "d");
    EXPECT_EQ(readSetting("System", "Missing"), "");
}

TEST_F(SettingsFile, ReadsLikeThePrivateProfileFunctions) {
    put("; a comment\n"
        "[system]\n"
        "  VERSION =  1.2  \r\n"
        "Quoted=\"  spaced  \"\n"
        "Single='x'\n"
        "Empty=\n"
        "[Main]\n"
        "XPosit=10\n"
        "[System]\n"
        "Version=9.9\n");
    EXPECT_EQ(readSetting("System", "Version"), "1.2");  // names ignore case, blanks trimmed, first section wins
    EXPECT_EQ(readSetting("SYSTEM", "quoted"), "  spaced  ");
    EXPECT_EQ(readSetting("System", "Single"), "x");
    EXPECT_EQ(readSetting("System", "Empty", "dflt"), "");  // present but empty is not missing
    EXPECT_EQ(readSetting("Main", "XPosit"), "10");
    EXPECT_EQ(readSetting("Main", "Version", "none"), "none");  // keys belong to their own section
}

TEST_F(SettingsFile, LongValuesAreCutAt1024BytesOnACharacterBoundary) {
    std::string ascii(1500, 'a');
    std::string accents;
    for (int i = 0; i < 700; ++i) accents += "\xC3\xA9";  // é: two bytes each
    ASSERT_TRUE(writeSetting("S", "A", ascii));
    ASSERT_TRUE(writeSetting("S", "B", accents));
    EXPECT_EQ(readSetting("S", "A"), std::string(1024, 'a'));
    EXPECT_EQ(readSetting("S", "B"), accents.substr(0, 1024));
    ASSERT_TRUE(writeSetting("S", "C", "x" + accents));
    EXPECT_EQ(readSetting("S", "C"), "x" + accents.substr(0, 1022));  // 1024 would split a character
}

TEST_F(SettingsFile, WritingCreatesFolderFileSectionAndKey) {
    ASSERT_TRUE(writeSetting("System", "Version", "1.5"));
    EXPECT_EQ(contents(), "[System]\nVersion=1.5\n");
    ASSERT_TRUE(writeSetting("Main", "XPosit", "12"));
    ASSERT_TRUE(writeSetting("Main", "YPosit", "34"));
    EXPECT_EQ(contents(), "[System]\nVersion=1.5\n\n[Main]\nXPosit=12\nYPosit=34\n");
}

TEST_F(SettingsFile, WritingKeepsTheOtherLinesAndTheirOrder) {
    put("; kept comment\n"
        "[Export]\n"
        "Name=A.HTM\n"
        "type=HTML - Table\n"
        "\n"
        "[System]\n"
        "Version=1.2\n"
        "junk line without equals\n");
    ASSERT_TRUE(writeSetting("EXPORT", "Type", "HTML - Frame"));  // replaced where it stands
    ASSERT_TRUE(writeSetting("Export", "Order", "Category"));     // added at the end of its section
    ASSERT_TRUE(writeSetting("System", "Version", "1.5"));
    EXPECT_EQ(contents(),
              "; kept comment\n"
              "[Export]\n"
              "Name=A.HTM\n"
              "type=HTML - Frame\n"
              "Order=Category\n"
              "\n"
              "[System]\n"
              "Version=1.5\n"
              "junk line without equals\n");
    ASSERT_TRUE(writeSetting("Export", "Name", std::nullopt));  // no value removes the key
    EXPECT_EQ(readSetting("Export", "Name", "gone"), "gone");
    ASSERT_TRUE(removeSettingsSection("export"));
    EXPECT_EQ(contents(), "; kept comment\n[System]\nVersion=1.5\njunk line without equals\n");
}

TEST_F(SettingsFile, WindowsLineEndsAndAMissingFinalLineEndAreKept) {
    put("[A]\r\nk=1\r\n[B]\r\nm=2");
    ASSERT_TRUE(writeSetting("A", "k", "3"));
    EXPECT_EQ(contents(), "[A]\r\nk=3\r\n[B]\r\nm=2");
    ASSERT_TRUE(writeSetting("B", "n", "4"));
    EXPECT_EQ(contents(), "[A]\r\nk=3\r\n[B]\r\nm=2\r\nn=4\r\n");
}

TEST_F(SettingsFile, LastWriteWinsAndEveryReadSeesTheFile) {
    ASSERT_TRUE(writeSetting("S", "K", "first"));
    ASSERT_TRUE(writeSetting("s", "k", "second"));
    EXPECT_EQ(readSetting("S", "K"), "second");
    put("[S]\nK=edited by hand\n");  // nothing cached: the next read sees the edit
    EXPECT_EQ(readSetting("S", "K"), "edited by hand");
}

TEST_F(SettingsFile, LineEndsInAValueCannotPlantOtherKeys) {
    ASSERT_TRUE(writeSetting("S", "K", "a\n[System]\nVersion=0"));
    EXPECT_EQ(readSetting("S", "K"), "a [System] Version=0");
    EXPECT_EQ(readSetting("System", "Version", "none"), "none");
    EXPECT_FALSE(writeSetting("S", "a=b", "x"));  // a key with '=' could never be read back
    EXPECT_FALSE(writeSetting("S]", "k", "x"));
}

TEST_F(SettingsFile, AReadOnlyFileIsLeftAloneWithoutComplaint) {
    // Replacing the file by rename would get round its permissions (and root passes every access
    // check), so the write must look at the file's own mode.
    put("[System]\nVersion=1.2\n");
    ::chmod(ini().c_str(), 0444);
    EXPECT_FALSE(writeSetting("System", "Version", "1.5"));
    EXPECT_EQ(readSetting("System", "Version"), "1.2");
    EXPECT_EQ(contents(), "[System]\nVersion=1.2\n");
    ::chmod(ini().c_str(), 0644);
    EXPECT_TRUE(writeSetting("System", "Version", "1.5"));
    EXPECT_EQ(readSetting("System", "Version"), "1.5");
}

TEST_F(SettingsFile, AnUnreadableLocationGivesDefaults) {
    ::setenv("SITEDEX_CONFIG_DIR", (m_dir / "a-file").c_str(), 1);
    std::ofstream(m_dir / "a-file") << "not a folder";
    EXPECT_EQ(readSetting("System", "Version", "d"), "d");
    EXPECT_FALSE(writeSetting("System", "Version", "1.5"));
}

TEST(SettingNumber, ConvertsOnlyWholeNumericText) {
    struct Case {
        const char* text;
        double number;
    } cases[] = {
        {"", 0},     {"abc", 0},  {"1.5", 1.5}, {" 12 ", 12}, {"12abc", 0}, {"-3", -3},
        {"+4", 4},   {"1.", 1},   {".5", 0.5},  {".", 0},     {"-", 0},     {"1.2.3", 0},
        {"0", 0},    {"1e3", 0},  {"Yes", 0},   {"\t7", 7},
    };
    for (const Case& c : cases) EXPECT_EQ(settingNumber(c.text), c.number) << '"' << c.text << '"';
}

}  // namespace
}  // namespace sitedex::runtime
