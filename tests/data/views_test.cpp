// Views over a real record file: key order in both directions, a filter that passes over records,
// starts from a key value and from a saved position, and re-get with watch.

#include <unistd.h>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/views.h"
#include "drivers/record/velox_driver.h"
#include "runtime/expressions.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::data {
namespace {

class Views : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        ASSERT_EQ(create(SITEDX), 0);
        ASSERT_EQ(share(SITEDX, kModeShared), 0);
        const char* descs[] = {"delta", "Alpha", "charlie", "bravo", "echo", "Foxtrot"};
        int i = 0;
        for (const char* d : descs) {
            SITEDX.clear();
            setString(findField("URL:LOCATION"), "http://" + std::string(d) + ".example/");
            setString(findField("URL:DESCRIPTION"), d);
            setString(findField("URL:CATEGORY"), i++ % 2 ? "even" : "odd");
            ASSERT_EQ(add(SITEDX), 0);
        }
    }
    void TearDown() override {
        closeAllFiles();
        ASSERT_EQ(::chdir(m_old), 0);
    }
    static std::string desc() { return getString(findField("URL:DESCRIPTION")); }
    std::vector<std::string> readAll(View& v, bool forward) {
        std::vector<std::string> got;
        while ((forward ? v.next() : v.previous()) == 0) got.push_back(desc());
        EXPECT_EQ(v.status(), 33);
        EXPECT_FALSE(v.valid());
        return got;
    }
    sitedex::testing::TempDir m_dir;
    char m_old[4096];
};

TEST_F(Views, KeyOrderBothWaysWithAFilter) {
    View v(SITEDX);
    v.setOrder(SITEDX.findKey("URL:K_DESCRIPTION"));
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(readAll(v, true),
              (std::vector<std::string>{"Alpha", "bravo", "charlie", "delta", "echo", "Foxtrot"}));
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(readAll(v, false),
              (std::vector<std::string>{"Foxtrot", "echo", "delta", "charlie", "bravo", "Alpha"}));

    v.setFilter([] { return getString(findField("URL:CATEGORY")) == "even"; });
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(readAll(v, true), (std::vector<std::string>{"Alpha", "bravo", "Foxtrot"}));

    // from a key value in the record buffer
    v.setFilter(nullptr);
    setString(findField("URL:DESCRIPTION"), "C");
    ASSERT_EQ(v.seekToKeyValue(), 0);
    EXPECT_EQ(readAll(v, true), (std::vector<std::string>{"charlie", "delta", "echo", "Foxtrot"}));
    setString(findField("URL:DESCRIPTION"), "C");
    ASSERT_EQ(v.seekToKeyValue(), 0);
    EXPECT_EQ(readAll(v, false), (std::vector<std::string>{"bravo", "Alpha"}));
}

TEST_F(Views, PositionsSurviveChangesAndRegetWatches) {
    View v(SITEDX);
    v.setOrder(SITEDX.findKey("URL:K_DESCRIPTION"));
    ASSERT_EQ(v.seekToStart(), 0);
    ASSERT_EQ(v.next(), 0);
    ASSERT_EQ(v.next(), 0);
    std::string pos = v.position();  // bravo
    ASSERT_FALSE(pos.empty());
    ASSERT_EQ(v.next(), 0);
    ASSERT_EQ(v.seekToPosition(pos), 0);
    ASSERT_EQ(v.next(), 0);
    EXPECT_EQ(desc(), "bravo");
    ASSERT_EQ(v.seekToPosition(pos), 0);
    ASSERT_EQ(v.previous(), 0);
    EXPECT_EQ(desc(), "bravo");
    ASSERT_EQ(v.previous(), 0);
    EXPECT_EQ(desc(), "Alpha");

    // the record of a saved position is deleted: reset continues at the next entry
    ASSERT_EQ(v.reget(pos), 0);
    ASSERT_EQ(deleteRecord(SITEDX), 0);
    ASSERT_EQ(v.seekToPosition(pos), 0);
    ASSERT_EQ(v.next(), 0);
    EXPECT_EQ(desc(), "charlie");
    EXPECT_EQ(v.reget(pos), 35);

    // watch + re-get, a change from another instance, then put: 89
    ASSERT_EQ(v.next(), 0);
    std::string dpos = v.position();  // delta
    v.watch();
    ASSERT_EQ(v.reget(dpos), 0);
    runtime::setCurrentThread(2);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    View other(SITEDX);
    other.setOrder(SITEDX.findKey("URL:K_DESCRIPTION"));
    ASSERT_EQ(other.reget(dpos), 0);
    setString(findField("URL:CATEGORY"), "moved");
    ASSERT_EQ(put(SITEDX), 0);
    close(SITEDX);
    runtime::setCurrentThread(1);
    setString(findField("URL:CATEGORY"), "mine");
    EXPECT_EQ(put(SITEDX), 89);
}

TEST_F(Views, RecordOrderAndACompiledFilter) {
    View v(SITEDX);
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(readAll(v, true),
              (std::vector<std::string>{"delta", "Alpha", "charlie", "bravo", "echo", "Foxtrot"}));
    ASSERT_EQ(v.seekToStart(), 0);
    ASSERT_EQ(v.next(), 0);
    ASSERT_EQ(v.next(), 0);
    std::string pos = v.position();
    ASSERT_EQ(v.seekToPosition(pos), 0);
    ASSERT_EQ(v.next(), 0);
    EXPECT_EQ(desc(), "Alpha");
    // an always-false compiled expression passes over every record
    auto never = runtime::compileExpression("1 = 2");
    ASSERT_NE(never, nullptr);
    v.setFilter(never.get());
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(v.next(), 33);
}

}  // namespace
}  // namespace sitedex::data

namespace sitedex::data {
namespace {

// Set property as the application uses it: on views, for the filter and the order. The view engine
// answers it; the record file's driver is not asked (on a file it stays unsupported).
TEST_F(Views, FilterAndOrderSetAsPropertiesOfTheView) {
    View v(SITEDX);
    ASSERT_EQ(v.setProperty(View::kPropertyOrder, "url:k_description"), 0);
    ASSERT_EQ(v.setProperty(View::kPropertyFilter, "UPPER(URL:Category) = 'EVEN'"), 0);
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(readAll(v, true), (std::vector<std::string>{"Alpha", "bravo", "Foxtrot"}));

    struct Case {
        int property;
        const char* value;
        int32_t code;
    } refused[] = {
        {View::kPropertyFilter, "URL:Category =", 800},   // does not compile
        {View::kPropertyFilter, "NO:SUCH = 1", 800},      // names nothing bound
        {View::kPropertyOrder, "URL:K_NOSUCH", 76},       // no key of the file
        {99, "anything", 80},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(v.setProperty(c.property, c.value), c.code) << c.value;
        EXPECT_EQ(errorCode(), c.code) << c.value;
        EXPECT_EQ(errorFile(), &SITEDX) << c.value;
    }
    ASSERT_EQ(v.seekToStart(), 0);  // the refused settings changed nothing
    EXPECT_EQ(readAll(v, false), (std::vector<std::string>{"Foxtrot", "bravo", "Alpha"}));

    ASSERT_EQ(v.setProperty(View::kPropertyFilter, "  "), 0);  // blank: no filter
    ASSERT_EQ(v.setProperty(View::kPropertyOrder, ""), 0);     // none: record order
    EXPECT_EQ(errorCode(), 0);
    ASSERT_EQ(v.seekToStart(), 0);
    EXPECT_EQ(readAll(v, true),
              (std::vector<std::string>{"delta", "Alpha", "charlie", "bravo", "echo", "Foxtrot"}));

    EXPECT_EQ(setProperty(SITEDX, View::kPropertyFilter, "1"), 80);
}

}  // namespace
}  // namespace sitedex::data
