#include "data/field_binding.h"

#include "data/error_state.h"
#include "data/fields.h"
#include "runtime/expressions.h"
#include "runtime/thread_state.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sitedex::data {
namespace {

using runtime::compileExpression;

// Layouts of the History and Locations files, plus one field of every other text kind.
FileDecl& historyFile() {
    static FileDecl file(FileSpec{
        "VELOX", "History", "HIS", {"URL_Y_TEST"}, {}, {}, kAttrCreate | kAttrPerThread, 273,
        {{"HIS:TYPE", kTypeString, 0, 10},
         {"HIS:FIELDCONTENTS", kTypeString, 10, 255},
         {"HIS:DATE", kTypeLong, 265, 4},
         {"HIS:TIME", kTypeLong, 269, 4}},
        {},
        {}});
    return file;
}

FileDecl& locationsFile() {
    static FileDecl file(FileSpec{"VELOX",
                                  "SITEDX",
                                  "URL",
                                  {"URL_L_TEST"},
                                  {},
                                  {},
                                  kAttrCreate | kAttrPerThread,
                                  397 + 1 + 8 + 6,
                                  {{"URL:LOCATION", kTypeString, 0, 255},
                                   {"URL:DESCRIPTION", kTypeString, 255, 100},
                                   {"URL:CATEGORY", kTypeString, 355, 30},
                                   {"URL:RATING", kTypeDecimal, 385, 2, 2, 0},
                                   {"URL:KEYWORD", kTypeString, 387, 10},
                                   {"URL:FLAG", kTypeByte, 397, 1},
                                   {"URL:NOTE", kTypeCString, 398, 8},
                                   {"URL:CODE", kTypePString, 406, 6}},
                                  {},
                                  {{"URL:SITEINFO", 1000}}});
    return file;
}

FileDecl& categoriesFile() {
    static FileDecl file(FileSpec{"VELOX", "Categories", "CAT", {"URL_C_TEST"}, {}, {},
                                  kAttrCreate | kAttrPerThread, 31,
                                  {{"CAT:CATEGORY", kTypeString, 0, 30}, {"CAT:FLAG", kTypeByte, 30, 1}},
                                  {},
                                  {{"CAT:DESCRIPTION", 1000}}});
    return file;
}

class FieldBinding : public ::testing::Test {
protected:
    void SetUp() override {
        runtime::setCurrentThread(1);
        runtime::pushBindings();
        clearErrorState();
    }
    void TearDown() override {
        runtime::setCurrentThread(1);
        runtime::popBindings();
    }
    static void setText(FileDecl& f, const char* field, std::string_view text) {
        setString(*f.findField(field), f.record(), text);
    }
};

TEST_F(FieldBinding, HistoryFilterSeesTheRecordAsItIsRead) {
    FileDecl& his = historyFile();
    EXPECT_EQ(bindFields(his), 4);
    auto filter = compileExpression("HIS:Type='Export'");
    ASSERT_TRUE(filter);
    const std::pair<const char*, bool> records[] = {{"Export", true}, {"export", false}, {"Import", false}};
    for (const auto& [type, passes] : records) {
        his.clear();
        setText(his, "HIS:TYPE", type);
        EXPECT_EQ(filter->test(), passes) << type;
    }
    auto newer = compileExpression("HIS:Date > 80000 AND HIS:Time >= 1");
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->valueClass(), runtime::ValueClass::Integer);
    ASSERT_TRUE(setInteger(*his.findField("HIS:DATE"), his.record(), 82431));
    ASSERT_TRUE(setInteger(*his.findField("HIS:TIME"), his.record(), 1));
    EXPECT_TRUE(newer->test());
    ASSERT_TRUE(setInteger(*his.findField("HIS:DATE"), his.record(), 4));
    EXPECT_FALSE(newer->test());
    EXPECT_EQ(compileExpression("FORMAT(HIS:Date, @D2)")->evaluate().text, "1/01/1801");
}

TEST_F(FieldBinding, BrowseFilterComparesCategoriesWithoutCase) {
    FileDecl& url = locationsFile();
    FileDecl& cat = categoriesFile();
    bindFields(url);
    bindFields(cat);
    // The browse keeps its own copy of the category the list is reset to.
    char saved[30];
    runtime::bindVariable("BRW1::Sort2:Reset:CAT:Category", runtime::fixedTextVariable(saved, sizeof saved));
    auto filter = compileExpression("UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
    ASSERT_TRUE(filter);
    setText(cat, "CAT:CATEGORY", "News");
    std::memcpy(saved, cat.record(), sizeof saved);
    for (const auto& [category, passes] :
         std::initializer_list<std::pair<const char*, bool>>{{"news", true}, {"NEWS", true}, {"Newsletters", false}}) {
        setText(url, "URL:CATEGORY", category);
        EXPECT_EQ(filter->test(), passes) << category;
    }
    // The special categories are left out in any case by the mended category-list filter.
    auto list = compileExpression("(UPPER(Cat:Category)<>'_BEFORE ALL' AND UPPER(Cat:Category)<>'_AFTER ALL')");
    ASSERT_TRUE(list);
    for (const auto& [name, passes] : std::initializer_list<std::pair<const char*, bool>>{
             {"_before all", false}, {"_After All", false}, {"News", true}}) {
        setText(cat, "CAT:CATEGORY", name);
        EXPECT_EQ(list->test(), passes) << name;
    }
}

TEST_F(FieldBinding, EveryFieldKindReadsAsItsClass) {
    FileDecl& url = locationsFile();
    EXPECT_EQ(bindFields(url), 9);
    url.clear();
    ASSERT_TRUE(setNumber(*url.findField("URL:RATING"), url.record(), 7));
    ASSERT_TRUE(setInteger(*url.findField("URL:FLAG"), url.record(), 200));
    setText(url, "URL:NOTE", "abc");
    setText(url, "URL:CODE", "xy");
    url.memo(0) = "Long site information";
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"URL:Rating", "7"},
        {"URL:Rating > 5", "1"},
        {"URL:Rating * 1.5", "10.5"},
        {"URL:Flag", "200"},
        {"URL:Note & '|'", "abc|"},
        {"URL:Code & '|'", "xy|"},
        {"SUB(URL:SiteInfo, 1, 4)", "Long"},
        {"URL:Keyword = ''", "1"},
        {"LEN(URL:Keyword)", "10"},
    };
    for (const Case& c : cases) {
        auto e = compileExpression(c.text);
        ASSERT_TRUE(e) << c.text;
        EXPECT_EQ(e->evaluate().toText(), c.value) << c.text;
    }
    EXPECT_EQ(compileExpression("URL:Rating")->valueClass(), runtime::ValueClass::Real);
    EXPECT_EQ(compileExpression("URL:Flag")->valueClass(), runtime::ValueClass::Integer);
    EXPECT_EQ(compileExpression("URL:SiteInfo")->valueClass(), runtime::ValueClass::String);
}

TEST_F(FieldBinding, EachThreadReadsItsOwnRecordBuffer) {
    FileDecl& his = historyFile();
    bindFields(his);
    auto filter = compileExpression("HIS:Type='Export'");
    ASSERT_TRUE(filter);
    his.clear();
    setText(his, "HIS:TYPE", "Export");
    runtime::setCurrentThread(4);
    his.clear();
    setText(his, "HIS:TYPE", "Import");
    EXPECT_FALSE(filter->test()) << "thread 4 reads its own buffer";
    runtime::setCurrentThread(1);
    EXPECT_TRUE(filter->test());
    his.dropSlot(4);
}

TEST_F(FieldBinding, UnboundNamePosts801InTheErrorState) {
    bindFields(historyFile());
    EXPECT_EQ(compileExpression("HIS:Kind='Export'"), nullptr);
    EXPECT_EQ(errorCode(), 801);
    EXPECT_EQ(errorText(), "No BIND on variable");
    clearErrorState();
    EXPECT_EQ(compileExpression("HIS:Type=="), nullptr);
    EXPECT_EQ(errorCode(), 0) << "a syntax error posts nothing";
}

}  // namespace
}  // namespace sitedex::data
