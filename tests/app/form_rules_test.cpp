// The window-free rules of the location, category and snippet forms on real files.

#include "app/maintenance/category_rules.h"
#include "app/maintenance/location_rules.h"
#include "app/maintenance/record_copy.h"

#include "tests/app/maintenance_fixture.h"

namespace sitedex::app::maintenance {
namespace {

using namespace sitedex::data;
using sitedex::testing::field;
using sitedex::testing::rowsOnDisk;
using sitedex::testing::setField;
using sitedex::testing::shownBoxes;

TEST(LocationRules, KeywordFromTheScheme) {
    struct Case {
        const char* location;
        const char* keyword;
    } cases[] = {
        {"http://example.com/", "http"},
        {"https://example.com/a://b", "https"},
        {"verylongscheme+x://host", "verylongsc"},  // its first 10 characters
        {"mailto:someone@example.com", "mailto:"},
        {"see mailto:x@y", "mailto:"},
        {"www.example.com", "?"},
        {"", "?"},
        {"://host", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keywordFromLocation(c.location), c.keyword) << c.location;
}

TEST(CategoryRules, SpecialCategoriesAndSnippetTypes) {
    EXPECT_TRUE(isSpecialCategory("_Before All"));
    EXPECT_TRUE(isSpecialCategory("_before all   "));
    EXPECT_TRUE(isSpecialCategory("_AFTER ALL"));
    EXPECT_FALSE(isSpecialCategory("Before All"));
    EXPECT_FALSE(isSpecialCategory("_After All Else"));

    ASSERT_EQ(snippetTypes().size(), 5u);
    EXPECT_EQ(snippetTypes()[2].radioText, "Before &Category Title");
    EXPECT_EQ(snippetTypes()[2].value, "Before Category Title");
    EXPECT_EQ(findSnippetType("after category title "), "After Category Title");
    EXPECT_EQ(findSnippetType("Replace Title"), "Replace Title");
    EXPECT_EQ(findSnippetType("&Replace Title"), "");
    EXPECT_EQ(findSnippetType("Title"), "");
}

using FormRules = sitedex::testing::MaintenanceTest;

TEST_F(FormRules, LocationInsertChecksCategoryKeywordAndDuplicates) {
    addCategory("News");
    // a category that does not exist stops the insert with warning 11
    SITEDX.clear();
    setField("URL:LOCATION", "http://a.example/");
    setField("URL:CATEGORY", "Sport");
    EXPECT_FALSE(checkLocationCategory());
    setField("URL:CATEGORY", "");
    EXPECT_FALSE(checkLocationCategory());
    ASSERT_EQ(shownBoxes().size(), 2u);
    EXPECT_EQ(shownBoxes()[0].text, "The value for URL:Category must be found in the Categories file.");
    EXPECT_EQ(shownBoxes()[0].caption, "Field Contents Error");

    // letter case does not matter for the lookup, which loads the category record
    setField("URL:CATEGORY", "news");
    EXPECT_TRUE(checkLocationCategory());
    EXPECT_EQ(field("CAT:CATEGORY"), "News");

    fillKeywordForInsert();
    EXPECT_EQ(field("URL:KEYWORD"), "http");
    setField("URL:KEYWORD", "mine");
    fillKeywordForInsert();
    EXPECT_EQ(field("URL:KEYWORD"), "mine");  // typed by the user: kept
    setMemo(SITEDX, 0, "site info");
    EXPECT_EQ(InsertLocation(), InsertResult::kAdded);

    // the same address in other letters is a duplicate: nothing is written
    shownBoxes().clear();
    SITEDX.clear();
    setField("URL:LOCATION", "HTTP://A.Example/");
    setField("URL:CATEGORY", "News");
    EXPECT_EQ(InsertLocation(), InsertResult::kDuplicate);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text, "Adding this record creates a duplicate entry for the key:Site Location");
    EXPECT_EQ(shownBoxes()[0].caption, "Duplicate Key Error");
    EXPECT_EQ(rowsOnDisk(SITEDX, {"URL:LOCATION", "URL:KEYWORD", "URL:SITEINFO"}),
              (std::vector<std::string>{"http://a.example/|mine|site info"}));
}

TEST_F(FormRules, CategoryAndSnippetInsertsRefuseDuplicates) {
    Categories.clear();
    setField("CAT:CATEGORY", "News");
    setMemo(Categories, 0, "papers");
    EXPECT_EQ(InsertCategory(), InsertResult::kAdded);
    setField("CAT:CATEGORY", "NEWS");
    EXPECT_EQ(InsertCategory(), InsertResult::kDuplicate);

    setField("CAT:CATEGORY", "News");
    primeNewSnippet();
    EXPECT_EQ(field("HTM:CATEGORY"), "News");
    EXPECT_EQ(field("HTM:TYPEOFHTML"), "Before Category");
    EXPECT_EQ(CatHTML.memo(0), "");
    setMemo(CatHTML, 0, "<hr>");
    EXPECT_EQ(InsertCatHTML(), InsertResult::kAdded);
    setField("HTM:CATEGORY", "news");
    EXPECT_EQ(InsertCatHTML(), InsertResult::kDuplicate);  // one snippet per category and type
    setField("HTM:TYPEOFHTML", "After Category");
    EXPECT_EQ(InsertCatHTML(), InsertResult::kAdded);

    ASSERT_EQ(shownBoxes().size(), 2u);
    EXPECT_EQ(shownBoxes()[0].text, "Adding this record creates a duplicate entry for the key:Category");
    EXPECT_EQ(shownBoxes()[1].text, "Adding this record creates a duplicate entry for the key:Category - Add HTML");
    EXPECT_EQ(rowsOnDisk(Categories, {"CAT:CATEGORY", "CAT:DESCRIPTION"}), (std::vector<std::string>{"News|papers"}));
}

TEST_F(FormRules, UnchangedRecordRule) {
    addLocation("http://a.example/", "Alpha", "News");
    readLocation("http://a.example/");
    RecordCopy copy = copyRecord(SITEDX);
    EXPECT_TRUE(recordUnchanged(SITEDX, copy));
    setField("URL:DESCRIPTION", "Alpha");  // typed again as it was
    EXPECT_TRUE(recordUnchanged(SITEDX, copy));
    setField("URL:DESCRIPTION", "alpha");
    EXPECT_FALSE(recordUnchanged(SITEDX, copy));
    setField("URL:DESCRIPTION", "Alpha");
    setMemo(SITEDX, 0, "now with site info");
    EXPECT_FALSE(recordUnchanged(SITEDX, copy));
    setMemo(SITEDX, 0, "");
    EXPECT_TRUE(recordUnchanged(SITEDX, copy));
    EXPECT_FALSE(recordUnchanged(Categories, copy));  // a copy of another file's record
}

}  // namespace
}  // namespace sitedex::app::maintenance
