// The VELOX driver through the access layer: the application's own declarations, the statements
// the procedures use, and the sharing rules between two instances of one file (thread 2's instance
// has its own open file description, so it meets our locks exactly as another program would).

#include <unistd.h>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::data {
namespace {

void setLocation(const std::string& url, const std::string& desc, const std::string& cat, int rating) {
    SITEDX.clear();
    setString(findField("URL:LOCATION"), url);
    setString(findField("URL:DESCRIPTION"), desc);
    setString(findField("URL:CATEGORY"), cat);
    setNumber(findField("URL:RATING"), rating);
}

std::string loc() { return getString(findField("URL:LOCATION")); }

class VeloxDriver : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        ASSERT_EQ(create(SITEDX), 0);
        ASSERT_EQ(share(SITEDX, kModeShared), 0);
    }
    void TearDown() override {
        runtime::setCurrentThread(2);
        if (SITEDX.instance()) close(SITEDX);
        runtime::setCurrentThread(1);
        closeAllFiles();
        ASSERT_EQ(::chdir(m_old), 0);
    }
    void addLocation(const std::string& url, const std::string& desc = "d", const std::string& cat = "c",
                     int rating = 0) {
        setLocation(url, desc, cat, rating);
        ASSERT_EQ(add(SITEDX), 0) << url << ": " << errorText();
    }
    std::vector<std::string> readKey(const char* key, bool backward = false) {
        std::vector<std::string> got;
        EXPECT_EQ(set(*SITEDX.findKey(key)), 0);
        while ((backward ? previous(SITEDX) : next(SITEDX)) == 0) got.push_back(loc());
        EXPECT_EQ(errorCode(), 33);
        return got;
    }
    sitedex::testing::TempDir m_dir;
    char m_old[4096];
};

TEST_F(VeloxDriver, StatementsOfTheProcedures) {
    addLocation("http://b.example/", "Beta", "News", 1);
    addLocation("http://a.example/", "Alpha", "News", 99);
    addLocation("", "No address", "Tech", 50);
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("URL_L.VLX")));
    // the unique location ignores case
    setLocation("HTTP://A.EXAMPLE/", "Dup", "X", 3);
    EXPECT_EQ(add(SITEDX), 40);
    EXPECT_EQ(errorText(), "Creates Duplicate Key");
    EXPECT_EQ(records(SITEDX), 3);
    EXPECT_EQ(records(*SITEDX.findKey("URL:K_LOCATION")), 2);  // the blank address is left out
    EXPECT_EQ(readKey("URL:K_LOCATION"), (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
    EXPECT_EQ(readKey("URL:K_RATING"), (std::vector<std::string>{"http://a.example/", "", "http://b.example/"}));
    EXPECT_EQ(readKey("URL:K_RATING", true), (std::vector<std::string>{"http://b.example/", "", "http://a.example/"}));

    // get by key, put, position, reset
    setLocation("http://B.example/", "", "", 0);
    ASSERT_EQ(get(SITEDX, *SITEDX.findKey("URL:K_LOCATION")), 0);
    EXPECT_EQ(getString(findField("URL:DESCRIPTION")), "Beta");
    setString(findField("URL:DESCRIPTION"), "Beta changed");
    setMemo(SITEDX, 0, "some site information");
    ASSERT_EQ(put(SITEDX), 0);
    std::string pos = position(*SITEDX.findKey("URL:K_DESCRIPTION"));
    EXPECT_EQ(pos.size(), 4u + 100u);
    SITEDX.clear();
    ASSERT_EQ(reget(*SITEDX.findKey("URL:K_DESCRIPTION"), pos), 0);
    EXPECT_EQ(loc(), "http://b.example/");
    EXPECT_EQ(SITEDX.memo(0), "some site information");
    ASSERT_EQ(reset(*SITEDX.findKey("URL:K_DESCRIPTION"), pos), 0);
    ASSERT_EQ(next(SITEDX), 0);
    EXPECT_EQ(loc(), "http://b.example/");  // reset then next reads the record at the position
    ASSERT_EQ(next(SITEDX), 0);
    EXPECT_EQ(getString(findField("URL:DESCRIPTION")), "No address");

    // get by a duplicate key finds the first record of the value
    setLocation("", "", "news", 0);
    setString(findField("URL:DESCRIPTION"), "Alpha");
    ASSERT_EQ(get(SITEDX, *SITEDX.findKey("URL:K_CATEGORY")), 0);
    EXPECT_EQ(loc(), "http://a.example/");
    // delete the current record
    ASSERT_EQ(deleteRecord(SITEDX), 0);
    EXPECT_EQ(records(SITEDX), 2);
    // a failed get leaves no current record: put and delete fail with 33
    setLocation("http://none/", "", "", 0);
    EXPECT_EQ(get(SITEDX, *SITEDX.findKey("URL:K_LOCATION")), 35);
    EXPECT_EQ(deleteRecord(SITEDX), 33);
    EXPECT_EQ(put(SITEDX), 33);
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);

    EXPECT_EQ(send(SITEDX, "REGISTER"), "VELOX");
    EXPECT_EQ(send(SITEDX, "QUICKSCAN=on"), "");
    EXPECT_EQ(send(SITEDX, "fullbuild"), "OFF");
    EXPECT_EQ(send(SITEDX, "FULLBUILD=on"), "OFF");
    EXPECT_EQ(send(SITEDX, "FULLBUILD"), "ON");
    EXPECT_EQ(records(SITEDX), 2);
    EXPECT_EQ(bytes(SITEDX), 397);  // a record is in the buffer... (HasRecord after the get)
}

TEST_F(VeloxDriver, TransactionsCommitAndRollBack) {
    addLocation("http://keep/");
    ASSERT_EQ(logout(2, {&SITEDX}), 0);
    addLocation("http://gone/");
    rollback();
    EXPECT_EQ(records(SITEDX), 1);
    ASSERT_EQ(logout(2, {&SITEDX}), 0);
    addLocation("http://kept/");
    commit();
    EXPECT_EQ(records(SITEDX), 2);
    close(SITEDX);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    EXPECT_EQ(records(SITEDX), 2);
}

TEST_F(VeloxDriver, WatchThenAnotherStationChangesThenPutIs89) {
    addLocation("http://a/", "first");
    runtime::setCurrentThread(2);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    ASSERT_EQ(set(*SITEDX.findKey("URL:K_LOCATION")), 0);
    ASSERT_EQ(watch(SITEDX), 0);
    ASSERT_EQ(next(SITEDX), 0);
    runtime::setCurrentThread(1);
    ASSERT_EQ(set(*SITEDX.findKey("URL:K_LOCATION")), 0);
    ASSERT_EQ(next(SITEDX), 0);
    setString(findField("URL:DESCRIPTION"), "changed by one");
    ASSERT_EQ(put(SITEDX), 0);
    runtime::setCurrentThread(2);
    setString(findField("URL:DESCRIPTION"), "changed by two");
    EXPECT_EQ(put(SITEDX), 89);
    EXPECT_EQ(errorText(), "Record Changed By Another Station");
    runtime::setCurrentThread(1);
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);
    EXPECT_EQ(getString(findField("URL:DESCRIPTION")), "changed by one");
    // without watch the later put wins
    runtime::setCurrentThread(2);
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);
    setString(findField("URL:DESCRIPTION"), "two again");
    EXPECT_EQ(put(SITEDX), 0);
    runtime::setCurrentThread(1);
}

TEST_F(VeloxDriver, HoldAgainstHoldIs43AndReleaseFreesIt) {
    addLocation("http://a/");
    addLocation("http://b/");
    runtime::setCurrentThread(2);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    ASSERT_EQ(hold(SITEDX), 0);
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);
    runtime::setCurrentThread(1);
    ASSERT_EQ(set(SITEDX), 0);
    ASSERT_EQ(hold(SITEDX), 0);
    EXPECT_EQ(next(SITEDX), 43);
    EXPECT_EQ(errorText(), "Record Is Already Held");
    // a put of a record held elsewhere cannot take the record lock
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);
    EXPECT_EQ(put(SITEDX), 5);
    runtime::setCurrentThread(2);
    ASSERT_EQ(release(SITEDX), 0);
    runtime::setCurrentThread(1);
    ASSERT_EQ(hold(SITEDX), 0);
    EXPECT_EQ(getByPointer(SITEDX, 1), 0);
    EXPECT_EQ(put(SITEDX), 0);
}

// Pack through the access layer: it needs exclusive access, keeps record numbers (so another
// window's saved position still names its record), shrinks the file and leaves it passing the
// command line's check.
TEST_F(VeloxDriver, PackNeedsExclusiveAccessAndKeepsOtherWindowsPositions) {
    for (int i = 0; i < 400; ++i) {
        setLocation("http://host" + std::to_string(i) + ".example/", "description " + std::to_string(i % 37), "c",
                    i % 100);
        setMemo(SITEDX, 0, std::string(200 + i % 300, 'm') + std::to_string(i));
        ASSERT_EQ(add(SITEDX), 0);
    }
    for (int i = 0; i < 400; ++i) {
        if (i % 10 == 3) continue;
        ASSERT_EQ(getByPointer(SITEDX, i + 1), 0);
        ASSERT_EQ(deleteRecord(SITEDX), 0);
    }
    KeyDecl& byDescription = *SITEDX.findKey("URL:K_DESCRIPTION");
    runtime::setCurrentThread(2);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    ASSERT_EQ(getByPointer(SITEDX, 134), 0);
    std::string saved = position(byDescription);
    runtime::setCurrentThread(1);
    std::vector<std::string> orderBefore = readKey("URL:K_RATING");
    auto sizeBefore = std::filesystem::file_size(m_dir.file("URL_L.VLX"));

    EXPECT_EQ(pack(SITEDX), 63);  // shared and not locked
    EXPECT_EQ(errorText(), "Exclusive Access Required");
    ASSERT_EQ(lock(SITEDX), 0);
    ASSERT_EQ(set(SITEDX), 0);
    ASSERT_EQ(pack(SITEDX), 0);
    EXPECT_FALSE(SITEDX.instance()->state & (kStatePositioned | kStateHasRecord));
    EXPECT_EQ(next(SITEDX), 33);  // the reading position ended with the pack
    ASSERT_EQ(unlock(SITEDX), 0);
    EXPECT_LT(std::filesystem::file_size(m_dir.file("URL_L.VLX")) * 3, sizeBefore);
    EXPECT_EQ(records(SITEDX), 40);
    EXPECT_EQ(readKey("URL:K_RATING"), orderBefore);
    ASSERT_EQ(getByPointer(SITEDX, 134), 0);
    EXPECT_EQ(loc(), "http://host133.example/");
    EXPECT_EQ(SITEDX.memo(0), std::string(200 + 133 % 300, 'm') + "133");

    runtime::setCurrentThread(2);
    SITEDX.clear();
    ASSERT_EQ(reget(byDescription, saved), 0);
    EXPECT_EQ(loc(), "http://host133.example/");
    ASSERT_EQ(reset(byDescription, saved), 0);
    ASSERT_EQ(next(SITEDX), 0);
    EXPECT_EQ(loc(), "http://host133.example/");
    close(SITEDX);
    runtime::setCurrentThread(1);
    close(SITEDX);
    std::string cmd = std::string(SITEDEX_BINARY) + " check --data-dir " + m_dir.path() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    // a closed file packs on its own (the rows of pack ask for nothing while the file is closed)
    EXPECT_EQ(pack(SITEDX), 0);
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(close(SITEDX), 37);  // not open: lets the instance go
}

TEST_F(VeloxDriver, TableNamesAndDeclarationMismatch) {
    FileSpec s;
    s.driver = "VELOX";
    s.prefix = "PEO";
    s.name = {"DATA\\!PEOPLE"};
    s.attributes = 4;
    s.recordSize = 10;
    s.fields = {{"PEO:NAME", kTypeString, 0, 10}};
    s.keys = {{"PEO:K_NAME", kKeyNoCase, {1}}};
    FileDecl people(std::move(s));
    ASSERT_EQ(create(people), 0);
    ASSERT_EQ(share(people, kModeShared), 0);
    setString(*people.findField("PEO:NAME"), people.record(), "ann");
    ASSERT_EQ(add(people), 0);
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("DATA.VLX")));
    close(people);
    forgetFile(people);

    FileSpec t;
    t.driver = "VELOX";
    t.prefix = "PEO";
    t.name = {"DATA\\!PEOPLE"};
    t.recordSize = 12;
    t.fields = {{"PEO:NAME", kTypeString, 0, 12}};
    FileDecl other(std::move(t));
    EXPECT_EQ(share(other, kModeShared), 47);
    FileSpec u;
    u.driver = "VELOX";
    u.prefix = "DAT";
    u.name = {"DATA"};
    u.recordSize = 10;
    u.fields = {{"DAT:NAME", kTypeString, 0, 10}};
    FileDecl unnamed(std::move(u));
    EXPECT_EQ(share(unnamed, kModeShared), 2);  // DATA holds no table UNNAMED yet
    EXPECT_EQ(create(unnamed), 54);             // and this declaration may not create it
    forgetFile(other);
    forgetFile(unnamed);
}

TEST(VeloxDamage, ABrokenPageEndsTheProgramWithTheInternalError) {
    sitedex::testing::TempDir dir;
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    record::setVeloxDurability(record::Durability::kProcessCrash);
    ASSERT_EQ(create(SITEDX), 0);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    for (int i = 0; i < 50; ++i) {
        setLocation("http://host" + std::to_string(i) + "/", "d", "c", i);
        ASSERT_EQ(add(SITEDX), 0);
    }
    close(SITEDX);
    // scramble every page after the free map: its stored length and a byte of its body (a flipped
    // byte inside a record's text alone would go unnoticed)
    std::string bytesOf = sitedex::testing::readFile(dir.file("URL_L.VLX"));
    for (size_t p = 4608; p + 40 < bytesOf.size(); p += 256) {
        bytesOf[p + 4] ^= 0x5A;
        bytesOf[p + 20] ^= 0x5A;
    }
    sitedex::testing::writeFile(dir.file("URL_L.VLX"), bytesOf);
    EXPECT_EXIT(
        {
            share(SITEDX, kModeShared);
            set(*SITEDX.findKey("URL:K_LOCATION"));
            while (next(SITEDX) == 0) {
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(2), "Internal error : vlxbt line [0-9]+");
    ASSERT_EQ(::chdir(old), 0);
}

}  // namespace
}  // namespace sitedex::data
