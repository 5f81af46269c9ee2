// Declared indexes (key attribute 64) of the VELOX driver: built at run time from a components
// text, over all records or those a filter passes, then read like a key (set, next, previous, get,
// position, reset, re-get, record count); a snapshot that a close forgets and that the file never
// stores.

#include <unistd.h>

#include "data/access.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/views.h"
#include "drivers/record/velox_driver.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::data {
namespace {

FileSpec peopleSpec(bool withIndexes) {
    FileSpec s;
    s.driver = "VELOX";
    s.prefix = "PEO";
    s.name = {"PEOPLE"};
    s.attributes = kAttrCreate | kAttrPerThread;
    s.recordSize = 24;
    s.fields = {{"PEO:NAME", kTypeString, 0, 10}, {"PEO:AGE", kTypeLong, 10, 4}, {"PEO:CITY", kTypeString, 14, 10}};
    s.keys = {{"PEO:K_NAME", kKeyNoCase, {1}}};
    if (withIndexes) {
        s.keys.push_back({"PEO:I_ANY", kKeyIndex, {}});
        s.keys.push_back({"PEO:I_CITY", uint8_t(kKeyIndex | kKeyNoCase), {3, 1}});
        s.keys.push_back({"PEO:K_AGE", kKeyDuplicates, {2}});  // a stored key declared after the indexes
    }
    return s;
}

class VeloxIndex : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        ASSERT_EQ(create(people), 0);
        ASSERT_EQ(share(people, kModeShared), 0);
        struct P {
            const char* name;
            int age;
            const char* city;
        } rows[] = {{"ann", 41, "oslo"}, {"Bob", 25, "Bergen"}, {"cleo", 41, "Alta"}, {"dan", 33, "bergen"},
                    {"Eve", 19, "Oslo"}, {"finn", 52, "alta"}};
        for (const P& r : rows) {
            put3(r.name, r.age, r.city);
            ASSERT_EQ(add(people), 0) << errorText();
        }
    }
    void TearDown() override {
        closeAllFiles();
        forgetFile(people);
        ASSERT_EQ(::chdir(m_old), 0);
    }
    void put3(const std::string& name, int age, const std::string& city) {
        people.clear();
        setString(field("NAME"), people.record(), name);
        setInteger(field("AGE"), people.record(), age);
        setString(field("CITY"), people.record(), city);
    }
    const FieldDecl& field(const char* n) { return *people.findField(n); }
    std::string name() { return getString(field("NAME"), people.record()); }
    KeyDecl& key(const char* n) { return *people.findKey(n); }
    std::vector<std::string> read(KeyDecl& k, bool backward = false) {
        std::vector<std::string> got;
        EXPECT_EQ(set(k), 0);
        while ((backward ? previous(people) : next(people)) == 0) got.push_back(name());
        EXPECT_EQ(errorCode(), 33);
        return got;
    }
    using Names = std::vector<std::string>;
    FileDecl people{peopleSpec(true)};
    sitedex::testing::TempDir m_dir;
    char m_old[4096];
};

TEST_F(VeloxIndex, BuiltFromAComponentsTextAndReadLikeAKey) {
    KeyDecl& any = key("PEO:I_ANY");
    EXPECT_EQ(set(any), 46);  // not built in this run
    EXPECT_EQ(errorText(), "Key File Must Be Rebuilt");

    ASSERT_EQ(buildIndex(any, "-PEO:AGE, name"), 0);
    EXPECT_EQ(read(any), (Names{"finn", "ann", "cleo", "dan", "Bob", "Eve"}));
    EXPECT_EQ(read(any, true), (Names{"Eve", "Bob", "dan", "cleo", "ann", "finn"}));
    EXPECT_EQ(records(any), 6);
    // the stored key declared after the indexes is still the table's age key
    EXPECT_EQ(read(key("PEO:K_AGE")), (Names{"Eve", "Bob", "dan", "ann", "cleo", "finn"}));

    // get, set from a value, position, reset, re-get
    put3("ANN", 41, "");
    EXPECT_EQ(get(people, any), 35);  // the whole value must match: this index is not case-insensitive
    put3("ann", 41, "");
    ASSERT_EQ(get(people, any), 0);
    EXPECT_EQ(name(), "ann");
    std::string pos = position(any);
    EXPECT_EQ(pos.size(), 4u + 4u + 10u);
    put3("", 40, "");
    ASSERT_EQ(set(any, any), 0);  // from a value: the first entry at or after it
    ASSERT_EQ(next(people), 0);
    EXPECT_EQ(name(), "dan");
    ASSERT_EQ(reset(any, pos), 0);
    ASSERT_EQ(next(people), 0);
    EXPECT_EQ(name(), "ann");
    ASSERT_EQ(next(people), 0);
    EXPECT_EQ(name(), "cleo");
    ASSERT_EQ(reset(any, pos), 0);
    ASSERT_EQ(previous(people), 0);
    EXPECT_EQ(name(), "ann");
    ASSERT_EQ(previous(people), 0);
    EXPECT_EQ(name(), "finn");
    people.clear();
    ASSERT_EQ(reget(any, pos), 0);
    EXPECT_EQ(name(), "ann");

    // a snapshot: a later add is not in it, a record deleted since is passed over
    put3("gus", 99, "x");
    ASSERT_EQ(add(people), 0);
    put3("finn", 52, "");
    ASSERT_EQ(get(people, any), 0);
    ASSERT_EQ(deleteRecord(people), 0);
    EXPECT_EQ(read(any), (Names{"ann", "cleo", "dan", "Bob", "Eve"}));
    ASSERT_EQ(buildIndex(any, "-AGE"), 0);  // built again, it sees the file as it is now
    EXPECT_EQ(read(any).front(), "gus");

    // bad components leave the index as it was
    struct Case {
        const char* text;
        int32_t code;
    } bad[] = {{"NOSUCH", 76}, {"+NAME,-name", 76}, {" , ", 76}, {"PEO:", 76}};
    for (const Case& c : bad) EXPECT_EQ(buildIndex(any, c.text), c.code) << c.text;
    EXPECT_EQ(read(any).front(), "gus");

    // close forgets it
    close(people);
    ASSERT_EQ(share(people, kModeShared), 0);
    EXPECT_EQ(set(any), 46);
}

TEST_F(VeloxIndex, AFilterKeepsOnlyThePassingRecordsAndTheBufferIsLeftAlone) {
    KeyDecl& city = key("PEO:I_CITY");
    put3("mine", 7, "kept");
    // empty components: the declared ones (city, then name; case-insensitive as declared)
    ASSERT_EQ(buildIndex(city, "", "PEO:AGE > 30 AND UPPER(PEO:CITY) <> 'OSLO'"), 0);
    EXPECT_EQ(name(), "mine");  // the filter read every record through the buffer, then gave it back
    EXPECT_EQ(getString(field("CITY"), people.record()), "kept");
    EXPECT_EQ(read(city), (Names{"cleo", "finn", "dan"}));
    EXPECT_EQ(records(city), 3);
    ASSERT_EQ(buildIndex(city, "CITY,NAME"), 0);
    EXPECT_EQ(read(city), (Names{"cleo", "finn", "Bob", "dan", "ann", "Eve"}));

    EXPECT_EQ(buildIndex(city, "CITY", "PEO:AGE >"), 800);   // does not compile
    EXPECT_EQ(buildIndex(city, "CITY", "NOBODY = 1"), 800);  // names nothing bound
    EXPECT_EQ(records(city), 6);                             // the index built last stays

    // a view reads through the index as through any key
    View view(people);
    view.setOrder(&city);
    view.setFilter([this] { return getInteger(field("AGE"), people.record()) < 40; });
    ASSERT_EQ(view.seekToStart(), 0);
    Names seen;
    while (view.next() == 0) seen.push_back(name());
    EXPECT_EQ(seen, (Names{"Bob", "dan", "Eve"}));

    // an ordinary key is not built this way
    EXPECT_EQ(buildIndex(key("PEO:K_NAME"), "NAME"), 80);
}

TEST_F(VeloxIndex, IndexesAreNotPartOfTheStoredDefinition) {
    close(people);
    FileDecl plain(peopleSpec(false));
    // The same file under a declaration without the indexes: the stored keys differ only by the
    // age key declared after them.
    EXPECT_EQ(share(plain, kModeShared), 47);
    forgetFile(plain);
    FileSpec s = peopleSpec(false);
    s.keys.push_back({"PEO:K_AGE", kKeyDuplicates, {2}});
    FileDecl same(std::move(s));
    ASSERT_EQ(share(same, kModeShared), 0);
    EXPECT_EQ(records(same), 6);
    close(same);
    forgetFile(same);
}

}  // namespace
}  // namespace sitedex::data
