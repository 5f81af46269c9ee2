// The application's filter texts, compiled once against the dictionary's record buffers and run by
// views over real files.

#include <unistd.h>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/field_binding.h"
#include "data/fields.h"
#include "data/views.h"
#include "drivers/record/velox_driver.h"
#include "runtime/expressions.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

#include <algorithm>
#include <cstring>

namespace sitedex::data {
namespace {

class ApplicationFilters : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        runtime::pushBindings();
    }
    void TearDown() override {
        runtime::popBindings();
        closeAllFiles();
        ASSERT_EQ(::chdir(m_old), 0);
    }
    static std::vector<std::string> readAll(View& view, const char* field) {
        std::vector<std::string> got;
        EXPECT_EQ(view.seekToStart(), 0);
        while (view.next() == 0)
            got.push_back(getString(findField(field)));
        EXPECT_EQ(view.status(), 33);
        std::sort(got.begin(), got.end());
        return got;
    }
    sitedex::testing::TempDir m_dir;
    char m_old[4096];
};

TEST_F(ApplicationFilters, ExportHistory) {
    ASSERT_EQ(create(History), 0);
    ASSERT_EQ(share(History, kModeShared), 0);
    const std::pair<const char*, const char*> entries[] = {
        {"Export", "sites.htm"}, {"Import", "bookmarks.htm"}, {"Export", "list.txt"}, {"export", "lower.htm"}};
    int minute = 0;
    for (const auto& [type, name] : entries) {
        History.clear();
        setString(findField("HIS:TYPE"), type);
        setString(findField("HIS:FIELDCONTENTS"), name);
        ASSERT_TRUE(setNumber(findField("HIS:DATE"), 82431));
        ASSERT_TRUE(setNumber(findField("HIS:TIME"), 1 + 6000 * ++minute));
        ASSERT_EQ(add(History), 0) << name;
    }
    bindFields(History);
    auto filter = runtime::compileExpression("HIS:Type='Export'");
    ASSERT_TRUE(filter);
    View view(History);
    view.setOrder(History.findKey("HIS:KEYTYPE"));
    view.setFilter(filter.get());
    EXPECT_EQ(readAll(view, "HIS:FIELDCONTENTS"), (std::vector<std::string>{"list.txt", "sites.htm"}));
}

TEST_F(ApplicationFilters, LocationsOfTheBrowsedCategory) {
    ASSERT_EQ(create(SITEDX), 0);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    const std::pair<const char*, const char*> sites[] = {
        {"News", "Daily paper"}, {"NEWS", "Wire service"}, {"Newsletters", "Weekly letter"}, {"Books", "Shop"}};
    int n = 0;
    for (const auto& [category, description] : sites) {
        SITEDX.clear();
        setString(findField("URL:LOCATION"), "http://site" + std::to_string(++n) + ".example/");
        setString(findField("URL:DESCRIPTION"), description);
        setString(findField("URL:CATEGORY"), category);
        ASSERT_EQ(add(SITEDX), 0);
    }
    bindFields(SITEDX);
    bindFields(Categories);
    char saved[30];  // the browse's copy of CAT:CATEGORY, registered under its sort order's name
    runtime::bindVariable("BRW1::Sort2:Reset:CAT:Category", runtime::fixedTextVariable(saved, sizeof saved));
    auto filter = runtime::compileExpression("UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
    ASSERT_TRUE(filter);
    View view(SITEDX);
    view.setOrder(SITEDX.findKey("URL:K_CATEGORY"));
    view.setFilter(filter.get());

    setString(findField("CAT:CATEGORY"), "news");
    std::memcpy(saved, Categories.record(), sizeof saved);
    EXPECT_EQ(readAll(view, "URL:DESCRIPTION"), (std::vector<std::string>{"Daily paper", "Wire service"}));
    // The same tree follows the saved category when the browse resets to another one.
    setString(findField("CAT:CATEGORY"), "Books");
    std::memcpy(saved, Categories.record(), sizeof saved);
    EXPECT_EQ(readAll(view, "URL:DESCRIPTION"), (std::vector<std::string>{"Shop"}));
}

TEST_F(ApplicationFilters, CategoryListLeavesTheSpecialCategoriesOut) {
    ASSERT_EQ(create(Categories), 0);
    ASSERT_EQ(share(Categories, kModeShared), 0);
    for (const char* name : {"_Before All", "_after all", "Books", "News"}) {
        Categories.clear();
        setString(findField("CAT:CATEGORY"), name);
        ASSERT_EQ(add(Categories), 0) << name;
    }
    bindFields(Categories);
    View view(Categories);
    view.setOrder(Categories.findKey("CAT:K_CATEGORY"));
    // As written, UPPER(...) never equals the lower-case literal, so "_Before All" gets through.
    auto asWritten =
        runtime::compileExpression("(UPPER(Cat:Category)<>'_before all' AND LOWER(Cat:Category)<>'_after all')");
    ASSERT_TRUE(asWritten);
    view.setFilter(asWritten.get());
    EXPECT_EQ(readAll(view, "CAT:CATEGORY"), (std::vector<std::string>{"Books", "News", "_Before All"}));
    // What the category lists must do: leave both out whatever their case.
    auto mended =
        runtime::compileExpression("(UPPER(Cat:Category)<>'_BEFORE ALL' AND UPPER(Cat:Category)<>'_AFTER ALL')");
    ASSERT_TRUE(mended);
    view.setFilter(mended.get());
    EXPECT_EQ(readAll(view, "CAT:CATEGORY"), (std::vector<std::string>{"Books", "News"}));
}

}  // namespace
}  // namespace sitedex::data
