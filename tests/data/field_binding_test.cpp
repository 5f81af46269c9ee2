#include "data/field_binding.h"

#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "runtime/expressions.h"
#include "runtime/thread_state.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sitedex::data {
namespace {

using runtime::compileExpression;

// One field of every kind the application's files do not use, beside those they do.
FileDecl& kindsFile() {
    static FileDecl file(FileSpec{"VELOX",
                                  "Kinds",
                                  "KND",
                                  {"KINDS_TEST"},
                                  {},
                                  {},
                                  kAttrCreate | kAttrPerThread,
                                  10 + 2 + 1 + 8 + 6 + 4,
                                  {{"KND:KEYWORD", kTypeString, 0, 10},
                                   {"KND:RATING", kTypeDecimal, 10, 2, 2, 0},
                                   {"KND:FLAG", kTypeByte, 12, 1},
                                   {"KND:NOTE", kTypeCString, 13, 8},
                                   {"KND:CODE", kTypePString, 21, 6},
                                   {"KND:COUNT", kTypeLong, 27, 4}},
                                  {},
                                  {{"KND:SITEINFO", 1000}}});
    return file;
}

FileDecl& historyFile() {
    return History;
}
FileDecl& locationsFile() {
    return SITEDX;
}
FileDecl& categoriesFile() {
    return Categories;
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
    his.clear();
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
    FileDecl& f = kindsFile();
    EXPECT_EQ(bindFields(f), 7);
    f.clear();
    ASSERT_TRUE(setNumber(*f.findField("KND:RATING"), f.record(), 7));
    ASSERT_TRUE(setInteger(*f.findField("KND:FLAG"), f.record(), 200));
    ASSERT_TRUE(setInteger(*f.findField("KND:COUNT"), f.record(), -12));
    setText(f, "KND:NOTE", "abc");
    setText(f, "KND:CODE", "xy");
    f.memo(0) = "Long site information";
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"KND:Rating", "7"},          {"KND:Rating > 5", "1"},
        {"KND:Rating * 1.5", "10.5"}, {"KND:Flag", "200"},
        {"KND:Count + 2", "-10"},     {"KND:Note & '|'", "abc|"},
        {"KND:Code & '|'", "xy|"},    {"SUB(KND:SiteInfo, 1, 4)", "Long"},
        {"KND:Keyword = ''", "1"},    {"LEN(KND:Keyword)", "10"},
    };
    for (const Case& c : cases) {
        auto e = compileExpression(c.text);
        ASSERT_TRUE(e) << c.text;
        EXPECT_EQ(e->evaluate().toText(), c.value) << c.text;
    }
    EXPECT_EQ(compileExpression("KND:Rating")->valueClass(), runtime::ValueClass::Real);
    EXPECT_EQ(compileExpression("KND:Flag")->valueClass(), runtime::ValueClass::Integer);
    EXPECT_EQ(compileExpression("KND:Count")->valueClass(), runtime::ValueClass::Integer);
    EXPECT_EQ(compileExpression("KND:SiteInfo")->valueClass(), runtime::ValueClass::String);
    // A damaged CSTRING without its zero byte reads no further than the field.
    std::memset(f.record() + 13, 'z', 8);
    EXPECT_EQ(compileExpression("KND:Note")->evaluate().text, "zzzzzzzz");
    f.record()[21] = char(200);  // a PSTRING count larger than the field
    EXPECT_EQ(compileExpression("LEN(KND:Code)")->evaluate().integer, 5);
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
