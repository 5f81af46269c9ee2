// Keys out of step with their records: a change that meets a record missing from one of its keys
// is refused with 46 and marks the table, the next open answers 46, and OpenDataFile offers the
// rebuild (warning 2): "Yes" rebuilds the keys and opens the file, "No" ends the program.

#include <unistd.h>

#include <filesystem>
#include <functional>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"
#include "tests/drivers/record_fixture.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::record {
namespace {

using namespace testing;

// Takes one key entry out of the file, as a faulty program or a bad sector might have: the records
// are intact, one key no longer lists one of them.
void loseKeyEntry(const std::string& path, size_t key, uint32_t recno) {
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", nullptr, fastOptions(), f).ok());
    std::string rec;
    ASSERT_TRUE(f->get(recno, rec, nullptr).ok());
    Pager& p = f->pager();
    ASSERT_TRUE(p.enterWrite().ok());
    Tree t(p);
    bool found = false;
    ASSERT_TRUE(t.erase(f->keyEntry(key, rec, recno), found).ok());
    ASSERT_TRUE(found);
    ASSERT_TRUE(p.commit().ok());
    p.leave();
}

TEST(KeysOutOfStep, AChangeMeetingThemIsRefusedAndMarksTheTableUntilAllKeysAreBuilt) {
    TempDir dir;
    std::string path = dir.file("URL_L.VLX");
    Schema s = locationsSchema();
    {
        std::unique_ptr<RecordFile> f;
        createLocationsFile(path, f);
        ASSERT_TRUE(f);
        uint32_t r;
        for (int i = 0; i < 30; ++i) ASSERT_TRUE(f->add(location("http://h" + std::to_string(i) + "/", "d"), nullptr, r).ok());
    }
    loseKeyEntry(path, 1, 7);
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), f).ok());
    bool stale = true;
    ASSERT_TRUE(f->keysNeedRebuild(stale).ok());
    EXPECT_FALSE(stale);  // nothing has met the fault yet
    EXPECT_EQ(f->remove(7).code, kRebuildKeys);
    std::string rec;
    EXPECT_TRUE(f->get(7, rec, nullptr).ok());  // the refused delete changed nothing
    ASSERT_TRUE(f->keysNeedRebuild(stale).ok());
    EXPECT_TRUE(stale);
    RecordFile::CheckReport rep;
    EXPECT_EQ(f->check(rep).code, kRebuildKeys);  // the check reports the mark

    ASSERT_TRUE(f->buildKeys(1).ok());  // one key built: the mark stays until all are
    ASSERT_TRUE(f->keysNeedRebuild(stale).ok());
    EXPECT_TRUE(stale);
    EXPECT_EQ(f->check(rep).code, kRebuildKeys);
    ASSERT_TRUE(f->buildKeys(-1).ok());
    ASSERT_TRUE(f->keysNeedRebuild(stale).ok());
    EXPECT_FALSE(stale);
    EXPECT_TRUE(f->check(rep).ok());

    // inside a transaction: the transaction cannot commit, and the mark is set when it ends
    loseKeyEntry(path, 2, 9);
    ASSERT_TRUE(f->get(9, rec, nullptr).ok());
    setText(rec, 355, 30, "moved");
    ASSERT_TRUE(f->begin().ok());
    uint32_t r;
    ASSERT_TRUE(f->add(location("http://in-the-transaction/"), nullptr, r).ok());
    EXPECT_EQ(f->put(9, rec, nullptr).code, kRebuildKeys);
    EXPECT_FALSE(f->commit().ok());  // the transaction lost a change: nothing of it is kept
    uint32_t n;
    ASSERT_TRUE(f->recordCount(n).ok());
    EXPECT_EQ(n, 30u);
    ASSERT_TRUE(f->keysNeedRebuild(stale).ok());
    EXPECT_TRUE(stale);
    // pack rebuilds every key as well, and takes the mark away
    ASSERT_TRUE(f->pack().ok());
    ASSERT_TRUE(f->keysNeedRebuild(stale).ok());
    EXPECT_FALSE(stale);
    EXPECT_TRUE(f->check(rep).ok());
    EXPECT_TRUE(f->put(9, rec, nullptr).ok());
}

// Takes a record's own entry out of the file, leaving its key entries: the keys name a record that
// is not there.
void loseRecord(const std::string& path, uint32_t recno) {
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", nullptr, fastOptions(), f).ok());
    Pager& p = f->pager();
    ASSERT_TRUE(p.enterWrite().ok());
    Tree t(p);
    std::string key = f->rangePrefix(-1);
    append32be(key, recno);
    bool found = false;
    ASSERT_TRUE(t.erase(key, found).ok());
    ASSERT_TRUE(found);
    ASSERT_TRUE(p.commit().ok());
    p.leave();
}

struct FatalSeen {
    std::string text;
};
void throwingFatal(std::string_view text) { throw FatalSeen{std::string(text)}; }

// Reads in key order that meet a key entry of a missing record answer 46, as a change meeting it
// does, instead of ending the program; the table is marked, so the next open offers the rebuild.
TEST(KeysOutOfStep, AReadMeetingAKeyEntryOfAMissingRecordAnswers46) {
    using namespace data;
    TempDir dir;
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    setVeloxDurability(Durability::kProcessCrash);
    runtime::setCurrentThread(1);
    auto fatal = runtime::setFatalHook(throwingFatal);
    KeyDecl& byDescription = *SITEDX.findKey("URL:K_DESCRIPTION");
    KeyDecl& byLocation = *SITEDX.findKey("URL:K_LOCATION");
    struct Case {
        const char* what;
        std::function<int32_t()> read;
    } cases[] = {
        {"next in key order",
         [&] {
             EXPECT_EQ(set(byDescription), 0);
             int32_t e;
             while ((e = next(SITEDX)) == 0) {
             }
             return e;
         }},
        {"previous in key order",
         [&] {
             EXPECT_EQ(set(byDescription), 0);
             int32_t e;
             while ((e = previous(SITEDX)) == 0) {
             }
             return e;
         }},
        {"get by a unique key",
         [&] {
             SITEDX.clear();
             setString(findField("URL:LOCATION"), "http://site5/");
             return get(SITEDX, byLocation);
         }},
        {"get by a key with duplicates",
         [&] {
             SITEDX.clear();
             setString(findField("URL:DESCRIPTION"), "description 5");
             return get(SITEDX, byDescription);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.file("URL_L.VLX"));
        ASSERT_EQ(create(SITEDX), 0);
        ASSERT_EQ(share(SITEDX, kModeShared), 0);
        for (int i = 0; i < 20; ++i) {
            SITEDX.clear();
            setString(findField("URL:LOCATION"), "http://site" + std::to_string(i) + "/");
            setString(findField("URL:DESCRIPTION"), "description " + std::to_string(i));
            ASSERT_EQ(add(SITEDX), 0);
        }
        close(SITEDX);
        loseRecord(dir.file("URL_L.VLX"), 6);  // "http://site5/"
        ASSERT_EQ(share(SITEDX, kModeShared), 0);
        int32_t e = -1;
        try {
            e = c.read();
        } catch (const FatalSeen& f) {
            ADD_FAILURE() << "the program ended: " << f.text;
        }
        EXPECT_EQ(e, 46);
        EXPECT_EQ(errorText(), "Key File Must Be Rebuilt");
        close(SITEDX);
        EXPECT_EQ(share(SITEDX, kModeShared), 46);  // marked: the next open offers the rebuild
    }
    closeAllFiles();
    runtime::setFatalHook(fatal);
    ASSERT_EQ(::chdir(old), 0);
}

int g_answer = 0;
std::vector<std::string> g_boxes;
int answerBox(std::string_view text, std::string_view caption, int, int, int def) {
    g_boxes.push_back(std::string(caption) + "|" + std::string(text));
    return g_answer ? g_answer : def;
}

// The program's side: a form's change in a transaction meets the fault, and the next procedure's
// OpenDataFile offers the rebuild.
TEST(KeysOutOfStep, OpenDataFileRebuildsOnYesAndEndsTheProgramOnNo) {
    using namespace data;
    TempDir dir;
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    setVeloxDurability(Durability::kProcessCrash);
    runtime::setCurrentThread(1);
    auto box = runtime::setMessageBoxHook(answerBox);
    auto halt = runtime::setHaltHook(sitedex::testing::throwingHalt);
    g_boxes.clear();

    OpenDataFile(SITEDX);  // creates it
    for (int i = 0; i < 20; ++i) {
        SITEDX.clear();
        setString(findField("URL:LOCATION"), "http://site" + std::to_string(i) + "/");
        setString(findField("URL:DESCRIPTION"), "description " + std::to_string(i));
        ASSERT_EQ(add(SITEDX), 0);
    }
    close(SITEDX);
    loseKeyEntry(dir.file("URL_L.VLX"), 1, 5);  // URL:K_DESCRIPTION loses record 5

    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    ASSERT_EQ(getByPointer(SITEDX, 5), 0);
    ASSERT_EQ(logout(2, {&SITEDX}), 0);
    setString(findField("URL:DESCRIPTION"), "changed");
    EXPECT_EQ(put(SITEDX), 46);
    EXPECT_EQ(errorText(), "Key File Must Be Rebuilt");
    rollback();
    close(SITEDX);
    EXPECT_EQ(share(SITEDX, kModeShared), 46);
    EXPECT_EQ(SITEDX.instance(), nullptr);  // a failed open lets the instance go

    g_answer = runtime::kButtonNo;
    std::string halted;
    try {
        OpenDataFile(SITEDX);
    } catch (const sitedex::testing::Halted& h) {
        halted = h.text;
    }
    EXPECT_EQ(halted, "Invalid Key!");
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invalid Key|URL_L key file is invalid.  Do you want to rebuild the key?");

    g_boxes.clear();
    g_answer = runtime::kButtonYes;
    OpenDataFile(SITEDX);
    EXPECT_EQ(g_boxes.size(), 1u);  // asked once, then rebuilt and opened
    ASSERT_TRUE(SITEDX.instance() && (SITEDX.instance()->state & kStateOpen));
    EXPECT_EQ(records(*SITEDX.findKey("URL:K_DESCRIPTION")), 20);
    ASSERT_EQ(getByPointer(SITEDX, 5), 0);
    setString(findField("URL:DESCRIPTION"), "changed");
    EXPECT_EQ(put(SITEDX), 0);
    SITEDX.clear();
    setString(findField("URL:DESCRIPTION"), "changed");
    ASSERT_EQ(get(SITEDX, *SITEDX.findKey("URL:K_DESCRIPTION")), 0);
    EXPECT_EQ(getString(findField("URL:LOCATION")), "http://site4/");
    close(SITEDX);
    std::string cmd = std::string(SITEDEX_BINARY) + " check --data-dir " + dir.path().string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);

    closeAllFiles();
    runtime::setMessageBoxHook(box);
    runtime::setHaltHook(halt);
    ASSERT_EQ(::chdir(old), 0);
}

}  // namespace
}  // namespace sitedex::record
