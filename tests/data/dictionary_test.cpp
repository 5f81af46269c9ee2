// The application's declarations, use counts and OpenDataFile.
#include "data/dictionary.h"

#include "data/access.h"
#include "data/driver_registry.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace sitedex::data {
namespace {

using sitedex::testing::Halted;
using sitedex::testing::readFile;
using sitedex::testing::TempDir;
using sitedex::testing::writeFile;

TEST(Dictionary, FieldLayouts) {
    struct Case {
        const char* name;
        FieldType type;
        uint32_t offset, size;
    } cases[] = {
        {"URL:LOCATION", kTypeString, 0, 255},     {"URL:DESCRIPTION", kTypeString, 255, 100},
        {"URL:CATEGORY", kTypeString, 355, 30},    {"URL:RATING", kTypeDecimal, 385, 2},
        {"URL:KEYWORD", kTypeString, 387, 10},     {"CAT:CATEGORY", kTypeString, 0, 30},
        {"CAT:FLAG", kTypeByte, 30, 1},            {"HTM:CATEGORY", kTypeString, 0, 30},
        {"HTM:TYPEOFHTML", kTypeString, 30, 30},   {"HIS:TYPE", kTypeString, 0, 10},
        {"HIS:FIELDCONTENTS", kTypeString, 10, 255}, {"HIS:DATE", kTypeLong, 265, 4},
        {"HIS:TIME", kTypeLong, 269, 4},           {"OL:LOCATION", kTypeString, 0, 128},
        {"OL:DESCRIPTION", kTypeString, 128, 60},  {"OL:CATEGORY", kTypeString, 188, 15},
        {"OL:RATING", kTypeDecimal, 203, 2},       {"OL:KEYWORD", kTypeString, 205, 10},
        {"OH:CATEGORY", kTypeString, 0, 15},       {"OH:TYPEOFHTML", kTypeString, 15, 30},
        {"OC:CATEGORY", kTypeString, 0, 15},       {"ILOC:LOCATION", kTypeString, 0, 255},
        {"ILOC:RATING", kTypeDecimal, 385, 2},     {"ILOC:KEYWORD", kTypeString, 387, 10},
        {"OUT:LINE", kTypeString, 0, 512},         {"ASC:LINE", kTypeString, 0, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FieldRef ref = findField(c.name);
        ASSERT_TRUE(ref);
        ASSERT_NE(ref.field, nullptr);
        EXPECT_EQ(ref.field->type, c.type);
        EXPECT_EQ(ref.field->offset, c.offset);
        EXPECT_EQ(ref.field->size, c.size);
    }
    struct Size {
        FileDecl* file;
        uint32_t record;
        size_t keys, memos;
        uint32_t attributes;
    } sizes[] = {{&SITEDX, 397, 6, 1, 20},       {&Categories, 31, 1, 1, 20},   {&CatHTML, 60, 1, 1, 20},
                 {&History, 273, 1, 0, 20},      {&OldLocations, 215, 5, 1, 20}, {&OldCatHTML, 45, 1, 1, 20},
                 {&OldCategories, 15, 1, 0, 20}, {&ImportSource, 397, 6, 1, 20}, {&OutputText, 512, 0, 0, 20},
                 {&InputText, 512, 0, 0, 20},    {&WhatsNewText, 255, 0, 0, 0}};
    for (const Size& s : sizes) {
        SCOPED_TRACE(s.file->label());
        EXPECT_EQ(s.file->recordSize(), s.record);
        EXPECT_EQ(s.file->keys().size(), s.keys);
        EXPECT_EQ(s.file->memos().size(), s.memos);
        EXPECT_EQ(s.file->attributes(), s.attributes);
        uint32_t sum = 0;
        for (const FieldDecl& f : s.file->fields()) sum += f.size;
        EXPECT_EQ(sum, s.record);
    }
}

TEST(Dictionary, NamesAreCaseInsensitive) {
    FieldRef a = findField("url:Category");
    ASSERT_TRUE(a);
    EXPECT_EQ(a.file, &SITEDX);
    EXPECT_EQ(a.field->name, "URL:CATEGORY");
    FieldRef memo = findField("Htm:HTMLtoAdd");
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo.file, &CatHTML);
    EXPECT_EQ(memo.memo, 0);
    EXPECT_FALSE(findField("URL:NOSUCH"));
    EXPECT_FALSE(findField("Category"));
    EXPECT_EQ(SITEDX.findKey("url:k_rating"), &SITEDX.keys()[4]);
    EXPECT_EQ(SITEDX.keys()[4].components, (std::vector<int>{-4, 2, 1}));
    EXPECT_EQ(History.keys()[0].components, (std::vector<int>{1, -3, -4, 2}));
    EXPECT_EQ(CatHTML.keys()[0].attributes, 22);
    EXPECT_EQ(SITEDX.name(), "URL_L");
}

TEST(Dictionary, FieldHelpersOnTheThreadBuffer) {
    FieldRef cat = findField("URL:CATEGORY");
    setString(cat, "Search Engines \xE2\x82\xAC and more text than thirty");
    EXPECT_EQ(getString(cat), "Search Engines \xE2\x82\xAC and more te");  // 30 bytes, whole characters
    FieldRef rating = findField("URL:RATING");
    EXPECT_TRUE(setNumber(rating, 7));
    EXPECT_EQ(getNumber(rating), 7);
    EXPECT_FALSE(setNumber(rating, 100));
    SITEDX.clear();
    EXPECT_EQ(getString(cat), "");
    EXPECT_EQ(getNumber(rating), 0);
    EXPECT_EQ(std::string(SITEDX.record() + 355, 30), std::string(30, ' '));
    FieldRef memo = findField("URL:SITEINFO");
    setString(memo, std::string(1200, 'm'));
    EXPECT_EQ(SITEDX.memo(0).size(), 1000u);
}

// A driver whose open answers follow a script, for the paths the text driver cannot produce.
struct Script {
    std::vector<int32_t> opens;
    int32_t build = 0;
    std::vector<int> calls;
    std::vector<std::string> sends;
};
Script g_script;

int32_t scriptEntry(int op, FileDecl&, CallArgs& args) {
    g_script.calls.push_back(op);
    if (op == kOpSend) g_script.sends.push_back(args.text[0]);
    if (op == kOpOpen) {
        if (g_script.opens.empty()) return 0;
        int32_t r = g_script.opens.front();
        g_script.opens.erase(g_script.opens.begin());
        return r;
    }
    if (op == kOpBuild) return g_script.build;
    return 0;
}
std::unique_ptr<DriverInstance> scriptInstance(FileDecl&, int32_t*) { return std::make_unique<DriverInstance>(); }
const DriverDescriptor kScript{"SCRIPT", "Script", scriptEntry, scriptInstance, {}, {}, {true, true, true, true, true}};

int g_answer = 0;
std::vector<std::string> g_boxes;
int answerBox(std::string_view text, std::string_view caption, int, int, int def) {
    g_boxes.push_back(std::string(caption) + "|" + std::string(text));
    return g_answer ? g_answer : def;
}

class OpenData : public ::testing::Test {
protected:
    void SetUp() override {
        registerDriver(kScript);
        g_script = {};
        g_answer = 0;
        g_boxes.clear();
        savedError() = {};
        m_box = runtime::setMessageBoxHook(answerBox);
        m_halt = runtime::setHaltHook(sitedex::testing::throwingHalt);
    }
    void TearDown() override {
        closeAllFiles();
        runtime::setMessageBoxHook(m_box);
        runtime::setHaltHook(m_halt);
    }
    static std::unique_ptr<FileDecl> scripted() {
        FileSpec s;
        s.driver = "SCRIPT";
        s.prefix = "SC";
        s.name = {"SCRIPTED"};
        s.attributes = 20;
        s.recordSize = 4;
        s.fields = {{"SC:X", kTypeString, 0, 4}};
        return std::make_unique<FileDecl>(std::move(s));
    }
    std::string halted(FileDecl& f, bool mayCreate = true) {
        try {
            OpenDataFile(f, mayCreate);
        } catch (const Halted& h) {
            return h.text;
        }
        return "";
    }
    runtime::MessageBoxHook m_box = nullptr;
    runtime::HaltHook m_halt = nullptr;
    TempDir m_dir;
};

TEST_F(OpenData, CreatesAMissingFileWithoutAMessage) {
    NameExport = m_dir.file("export.htm");
    useFile(OutputText);
    EXPECT_EQ(useCount(OutputText), 1);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(OutputText.instance()->state & kStateOpen);
    useFile(OutputText);  // a second use does not open again
    EXPECT_EQ(useCount(OutputText), 2);
    releaseFile(OutputText);
    EXPECT_NE(OutputText.instance(), nullptr);
    releaseFile(OutputText);
    EXPECT_EQ(useCount(OutputText), 0);
    EXPECT_EQ(OutputText.instance(), nullptr);  // closed by the last release
    releaseFile(OutputText);
    EXPECT_EQ(useCount(OutputText), 0);
    EXPECT_EQ(readFile(NameExport), "");
    runtime::setCurrentThread(3);
    EXPECT_EQ(useCount(OutputText), 0);  // counts are per thread
    runtime::setCurrentThread(1);
}

TEST_F(OpenData, FailuresShowTheirWarningAndEnd) {
    // Invalid declaration: a text file with a key.
    FileSpec s;
    s.driver = "ASCII";
    s.prefix = "BAD";
    std::string path = m_dir.file("bad.txt");
    writeFile(path, "x\r\n");
    s.name = {path};
    s.attributes = 20;
    s.recordSize = 4;
    s.fields = {{"BAD:X", kTypeString, 0, 4}};
    s.keys = {{"BAD:K", 1, {1}}};
    FileDecl bad(std::move(s));
    EXPECT_EQ(halted(bad), "Invalid File!");
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invalid File|Error: (Invalid Record Declaration (47)) accessing " + path +
                              ".  Press OK to end this application.");

    // Missing and not creatable.
    g_boxes.clear();
    FileSpec n;
    n.driver = "ASCII";
    n.prefix = "NOC";
    std::string missing = m_dir.file("missing.txt");
    n.name = {missing};
    n.recordSize = 4;
    n.fields = {{"NOC:X", kTypeString, 0, 4}};
    FileDecl noCreate(std::move(n));
    EXPECT_EQ(halted(noCreate), "File Creation Error!");
    EXPECT_EQ(g_boxes.at(0), "File Creation Error|Error: (No Create Attribute (54)) creating " + missing +
                                 ".  Press OK to end this application.");
    g_boxes.clear();
    EXPECT_EQ(halted(noCreate, false), "File Creation Error!");
    EXPECT_EQ(g_boxes.at(0).substr(0, 26), "File Creation Not Allowed|");

    // Any other failure: warning 30, then "Disk Error".
    g_boxes.clear();
    NameAscii = m_dir.path();  // a directory
    EXPECT_EQ(halted(InputText), "Disk Error");
    EXPECT_EQ(g_boxes.at(0), "File Access Error|File (" + m_dir.path() +
                                 ") could not be opened.  Error: Access Denied (5).");
}

TEST_F(OpenData, LockedFileIsRecoveredOnce) {
    auto f = scripted();
    g_script.opens = {32, 0};
    EXPECT_EQ(halted(*f), "");
    EXPECT_EQ(g_script.sends, std::vector<std::string>{"Recover=10"});
    EXPECT_TRUE(f->instance()->state & kStateOpen);
    close(*f);
    // Still locked after the recovery: the user is told the file is in use. Retry opens again...
    g_script = {};
    g_boxes.clear();
    g_script.opens = {32, 32, 32, 0};
    g_answer = runtime::kButtonRetry;
    EXPECT_EQ(halted(*f), "");
    EXPECT_EQ(g_boxes, std::vector<std::string>(2, "File In Use|SCRIPTED is in use: another program is changing it.  "
                                                   "Retry to wait for it once more, or Cancel."));
    EXPECT_TRUE(f->instance()->state & kStateOpen);
    close(*f);
    // ...and Cancel gives up: the file could not be opened.
    g_script = {};
    g_boxes.clear();
    g_script.opens = {32, 32};
    g_answer = runtime::kButtonCancel;
    EXPECT_EQ(halted(*f), "Disk Error");
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[0].substr(0, 12), "File In Use|");
    EXPECT_EQ(g_boxes.back(), "File Access Error|File (SCRIPTED) could not be opened.  Error: File Is Already "
                              "Locked (32).");
}

TEST_F(OpenData, DamagedKeysOfferARebuild) {
    auto f = scripted();
    g_script.opens = {46, 0};
    g_answer = runtime::kButtonYes;
    EXPECT_EQ(halted(*f), "");
    EXPECT_EQ(g_boxes.at(0), "Invalid Key|SCRIPTED key file is invalid.  Do you want to rebuild the key?");
    EXPECT_EQ(g_script.calls, (std::vector<int>{kOpOpen, kOpBuild, kOpOpen}));
    close(*f);

    g_script = {};
    g_script.opens = {46};
    g_answer = runtime::kButtonNo;
    EXPECT_EQ(halted(*f), "Invalid Key!");
    EXPECT_EQ(g_script.calls, std::vector<int>{kOpOpen});

    g_script = {};
    g_boxes.clear();
    g_script.opens = {46};
    g_script.build = 38;
    g_answer = 0;
    EXPECT_EQ(halted(*f), "Error Rebuilding Key!");
    EXPECT_EQ(g_boxes.at(1), "Key Rebuild Error|Error: (Invalid Key File (38)) repairing key for SCRIPTED.  Press "
                             "OK to end this application.");
}

TEST_F(OpenData, CreateThenOpenFailureIsWarning5) {
    auto f = scripted();
    g_script.opens = {2, 5};
    EXPECT_EQ(halted(*f), "File Creation Error!");
    EXPECT_EQ(g_boxes.at(0), "File Creation Error|Error: (Access Denied (5)) opening created file:SCRIPTED.  Press "
                             "OK to end this application.");
    EXPECT_EQ(g_script.calls, (std::vector<int>{kOpOpen, kOpCreate, kOpOpen}));
}

// The data files through the record driver: the declarations' keys must give the orders the
// program relies on.
class DataFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_old = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.path());
        g_boxes.clear();
        m_box = runtime::setMessageBoxHook(answerBox);
    }
    void TearDown() override {
        closeAllFiles();
        for (FileDecl* f : {&SITEDX, &Categories, &CatHTML, &History}) useCount(*f) = 0;
        runtime::setMessageBoxHook(m_box);
        std::filesystem::current_path(m_old);
    }
    static void addLocation(std::string_view location, std::string_view description, int rating) {
        SITEDX.clear();
        setString(findField("URL:LOCATION"), location);
        setString(findField("URL:DESCRIPTION"), description);
        setNumber(findField("URL:RATING"), rating);
    }
    std::filesystem::path m_old;
    runtime::MessageBoxHook m_box = nullptr;
    TempDir m_dir;
};

TEST_F(DataFiles, FirstUseCreatesEachFileSilently) {
    if (!findDriver("VELOX")) GTEST_SKIP() << "no record driver registered";
    for (FileDecl* f : {&SITEDX, &Categories, &CatHTML, &History}) useFile(*f);
    EXPECT_TRUE(g_boxes.empty());
    for (const char* name : {"URL_L.VLX", "URL_C.VLX", "URL_H.VLX", "URL_Y.VLX"})
        EXPECT_TRUE(std::filesystem::exists(m_dir.file(name))) << name;
    for (FileDecl* f : {&SITEDX, &Categories, &CatHTML, &History}) releaseFile(*f);
    EXPECT_TRUE(openFiles().empty());
}

TEST_F(DataFiles, LocationKeys) {
    if (!findDriver("VELOX")) GTEST_SKIP() << "no record driver registered";
    useFile(SITEDX);
    addLocation("http://a.example/", "Alpha", 1);
    ASSERT_EQ(add(SITEDX), 0);
    addLocation("HTTP://A.EXAMPLE/", "Other", 2);
    EXPECT_EQ(add(SITEDX), 40);  // differs only in letter case
    EXPECT_EQ(errorText(), "Creates Duplicate Key");
    addLocation("", "Blank address", 99);
    ASSERT_EQ(add(SITEDX), 0);
    addLocation("http://b.example/", "Alpha", 99);
    ASSERT_EQ(add(SITEDX), 0);
    EXPECT_EQ(records(*SITEDX.findKey("URL:K_LOCATION")), 2);  // the blank address is left out
    EXPECT_EQ(records(*SITEDX.findKey("URL:K_DESCRIPTION")), 3);
    // Highest rating first; ties by description, then address.
    KeyDecl& rating = *SITEDX.findKey("URL:K_RATING");
    SITEDX.clear();
    setNumber(findField("URL:RATING"), 99);
    ASSERT_EQ(set(rating, rating), 0);
    std::vector<std::string> order;
    while (next(SITEDX) == 0) order.push_back(getString(findField("URL:DESCRIPTION")) + "/" +
                                              std::to_string(int(getNumber(findField("URL:RATING")))));
    EXPECT_EQ(order, (std::vector<std::string>{"Alpha/99", "Blank address/99", "Alpha/1"}));
    releaseFile(SITEDX);
}

}  // namespace
}  // namespace sitedex::data
