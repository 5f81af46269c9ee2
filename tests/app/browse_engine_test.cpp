// The browse engine over real record files: pages at both ends of the data, locating, the highlight
// across changes and deletes, the thumb and its marks, the first-letter locator, the update protocol.

#include "app/maintenance/browse_marks.h"
#include "runtime/procedures.h"
#include "tests/app/browse_fixture.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;
using testing::FakeList;
using testing::shownBoxes;
using testing::takeCallRequest;

BrowseDescription categoriesList() {
    BrowseDescription d;
    d.file = &data::Categories;
    d.row = {{"CAT:CATEGORY"}, {"CAT:DESCRIPTION", 1000}};
    SortOrderDescription o;
    o.key = "CAT:K_CATEGORY";
    o.locator = "CAT:CATEGORY";
    o.distribution = Distribution::kString;
    o.distributionLength = 30;
    d.orders = {o};
    d.hasUpdate = true;
    d.format = "120L|M~Category~@s30@1020L~Description~@s255@";
    return d;
}

class Browse : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        openFile(data::Categories);
    }
    // Categories named C00, C01, ... (sorted as numbered).
    void addNumbered(int n) {
        for (int i = 0; i < n; ++i) {
            char name[8];
            std::snprintf(name, sizeof name, "C%02d", i);
            addCategory(name);
        }
    }
    std::unique_ptr<BrowseEngine> open(BrowseDescription d = categoriesList(), int request = 0) {
        auto e = std::make_unique<BrowseEngine>(std::move(d), list, request);
        e->openWindow();
        list.pump(*e);
        return e;
    }
    std::string category() { return data::getString(data::findField("CAT:CATEGORY")); }
    FakeList list;
};

TEST_F(Browse, EmptyFileHasNoRowsYetInsertStillWorks) {
    auto e = open();
    EXPECT_EQ(e->rowCount(), 0);
    EXPECT_EQ(e->currentRow(), 0);
    EXPECT_FALSE(list.changeEnabled);
    EXPECT_FALSE(list.deleteEnabled);
    for (int ev : {kEventScrollDown, kEventPageDown, kEventScrollBottom, kEventScrollUp})
        list.raise(*e, ev);
    EXPECT_EQ(e->rowCount(), 0);

    list.raise(*e, kEventNewSelection, kMouseRight);
    ASSERT_EQ(list.menus.size(), 1u);
    EXPECT_EQ(list.menus[0], "&Insert|~&Change|~&Delete");

    int calls = 0;
    BrowseDescription d = categoriesList();
    d.update = [&] {
        ++calls;
        EXPECT_EQ(takeCallRequest(), RequestInsert);
        addCategory("First");
        CallResponse() = ResponseCompleted;
    };
    FakeList other;
    BrowseEngine withForm(d, other);
    withForm.openWindow();
    other.raise(withForm, kEventAlertKey, kInsertKey);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(other.shownText(), "First");
    EXPECT_EQ(other.highlighted(), "First");
    EXPECT_TRUE(other.changeEnabled);
}

TEST_F(Browse, FewerRowsThanFitShowAllAndPagingMovesTheHighlight) {
    addNumbered(3);
    auto e = open();
    EXPECT_EQ(list.shownText(), "C00,C01,C02");
    EXPECT_EQ(e->currentRow(), 1);
    list.raise(*e, kEventNewSelection);
    EXPECT_FALSE(list.bar);
    list.raise(*e, kEventPageDown);
    EXPECT_EQ(e->currentRow(), 3);
    EXPECT_EQ(category(), "C02");
    list.raise(*e, kEventPageUp);
    EXPECT_EQ(e->currentRow(), 1);
    EXPECT_EQ(list.shownText(), "C00,C01,C02");
}

TEST_F(Browse, ScrollingAndPagingAtBothEnds) {
    addNumbered(12);
    auto e = open();
    list.raise(*e, kEventNewSelection);
    EXPECT_TRUE(list.bar) << "a full page shows the scroll bar";
    EXPECT_EQ(list.shownText(), "C00,C01,C02,C03,C04");

    struct Step {
        int event;
        const char* page;
        int row;
    };
    const Step steps[] = {
        {kEventScrollUp, "C00,C01,C02,C03,C04", 1},  // at the top: nothing moves
        {kEventPageDown, "C05,C06,C07,C08,C09", 1},
        {kEventScrollDown, "C05,C06,C07,C08,C09", 2},
        {kEventPageDown, "C07,C08,C09,C10,C11", 5},  // 3 missing: the highlight moves down by 3
        {kEventScrollDown, "C07,C08,C09,C10,C11", 5},  // last row of the last page: nothing moves
        {kEventPageDown, "C07,C08,C09,C10,C11", 5},
        {kEventScrollUp, "C07,C08,C09,C10,C11", 4},
        {kEventPageUp, "C02,C03,C04,C05,C06", 4},
        {kEventPageUp, "C00,C01,C02,C03,C04", 1},  // 3 missing: up by 3
        {kEventScrollUp, "C00,C01,C02,C03,C04", 1},
        {kEventScrollBottom, "C07,C08,C09,C10,C11", 5},
        {kEventScrollTop, "C00,C01,C02,C03,C04", 1},
    };
    for (const Step& s : steps) {
        list.raise(*e, s.event);
        EXPECT_EQ(list.shownText(), s.page) << "after event " << s.event;
        EXPECT_EQ(e->currentRow(), s.row) << "after event " << s.event;
        EXPECT_EQ(category(), list.highlighted()) << "the record buffer holds the highlighted row";
    }
    // Scrolling by one row at the page edge reads the new record and the boundary, nothing more.
    list.raise(*e, kEventScrollBottom);
    list.raise(*e, kEventScrollUp);
    list.raise(*e, kEventScrollUp);
    list.raise(*e, kEventScrollUp);
    list.raise(*e, kEventScrollUp);
    int64_t before = e->reads();
    list.raise(*e, kEventScrollUp);
    EXPECT_EQ(list.shownText(), "C06,C07,C08,C09,C10");
    EXPECT_LE(e->reads() - before, 2);
}

TEST_F(Browse, LocatingPastTheLastKeyShowsTheLastPage) {
    for (const char* n : {"Apple", "Banana", "Cherry", "Date", "Elder", "Fig", "Grape", "Kiwi"}) addCategory(n);
    auto e = open();
    list.raise(*e, kEventAlertKey, 'Z', 'z');
    EXPECT_EQ(list.shownText(), "Date,Elder,Fig,Grape,Kiwi");
    EXPECT_EQ(e->currentRow(), 5);
    EXPECT_EQ(category(), "Kiwi");
    // A letter in the middle puts its record at the top of the page.
    list.raise(*e, kEventAlertKey, 'B', 'b');
    EXPECT_EQ(list.shownText(), "Banana,Cherry,Date,Elder,Fig");
    EXPECT_EQ(e->currentRow(), 1);
}

TEST_F(Browse, RepeatedLetterWalksThroughItsRunThenStartsAgain) {
    for (const char* n : {"Apple", "Bat", "bear", "Bee", "Cat", "Dog", "Eel"}) addCategory(n);
    auto e = open();
    std::vector<std::string> got;
    for (int i = 0; i < 5; ++i) {
        list.raise(*e, kEventAlertKey, 'B', 'b');
        got.push_back(category());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"Bat", "bear", "Bee", "Bat", "bear"}));
    // A key without a character does nothing.
    list.raise(*e, kEventAlertKey, kF1Key, 0);
    EXPECT_EQ(category(), "bear");
    // At the very end of the file the run starts again from its first record.
    list.raise(*e, kEventAlertKey, 'E', 'e');
    EXPECT_EQ(category(), "Eel");
    list.raise(*e, kEventAlertKey, 'E', 'e');
    EXPECT_EQ(category(), "Eel");
}

TEST_F(Browse, ChangedRecordIsHighlightedAtItsNewPlace) {
    addNumbered(20);
    std::string newName;
    BrowseDescription d = categoriesList();
    d.update = [&] {
        int request = takeCallRequest();
        if (request == RequestChange) {
            data::setString(data::findField("CAT:CATEGORY"), newName);
            ASSERT_EQ(data::put(data::Categories), 0);
        } else if (request == RequestDelete) {
            ASSERT_EQ(data::deleteRecord(data::Categories), 0);
        }
        CallResponse() = ResponseCompleted;
    };
    auto e = open(d);
    list.raise(*e, kEventScrollDown);  // C01
    // Into the middle: heads the page.
    newName = "C10a";
    list.raise(*e, kEventAlertKey, kCtrlEnter);
    EXPECT_EQ(list.shownText(), "C10a,C11,C12,C13,C14");
    EXPECT_EQ(list.highlighted(), "C10a");
    EXPECT_EQ(category(), "C10a");
    // Near the end: the last page, highlighted where it stands.
    newName = "C18a";
    list.raise(*e, kEventAlertKey, kCtrlEnter);
    EXPECT_EQ(list.shownText(), "C16,C17,C18,C18a,C19");
    EXPECT_EQ(list.highlighted(), "C18a");
    EXPECT_EQ(e->localResponse(), ResponseCancelled);

    // Deleting the last row of the last page highlights the new last row.
    list.raise(*e, kEventScrollBottom);
    list.raise(*e, kEventAlertKey, kDeleteKey);
    EXPECT_EQ(list.shownText(), "C15,C16,C17,C18,C18a");
    EXPECT_EQ(list.highlighted(), "C18a");
    EXPECT_EQ(category(), "C18a");
}

TEST_F(Browse, ChangeRereadsWithWatchSoAnotherWindowsChangeIsCaught) {
    addNumbered(6);
    int32_t putResult = -1;
    BrowseDescription d = categoriesList();
    d.update = [&] {
        takeCallRequest();
        // Meanwhile another window (thread 2, its own buffers and instance) renames this record.
        runtime::setCurrentThread(2);
        openFile(data::Categories);
        data::setString(data::findField("CAT:CATEGORY"), "C02");
        ASSERT_EQ(data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY")), 0);
        data::setString(data::findField("CAT:CATEGORY"), "C02 renamed elsewhere");
        ASSERT_EQ(data::put(data::Categories), 0);
        runtime::setCurrentThread(1);
        data::setString(data::findField("CAT:CATEGORY"), "C02 renamed here");
        putResult = data::put(data::Categories);
        CallResponse() = putResult == 0 ? ResponseCompleted : ResponseCancelled;
    };
    auto e = open(d);
    list.raise(*e, kEventScrollDown);
    list.raise(*e, kEventScrollDown);
    EXPECT_EQ(category(), "C02");
    list.raise(*e, kEventAlertKey, kCtrlEnter);
    EXPECT_EQ(putResult, 89) << "Record Changed By Another Station";
    // Cancelled: rebuilt in place, showing the other window's version.
    EXPECT_EQ(list.shownText(), "C00,C01,C02 renamed elsewhere,C03,C04");
}

TEST_F(Browse, CancelledFormRebuildsInPlace) {
    addNumbered(8);
    int calls = 0;
    BrowseDescription d = categoriesList();
    d.update = [&] {
        ++calls;
        takeCallRequest();  // returns without a response: cancelled
    };
    auto e = open(d);
    list.raise(*e, kEventPageDown);
    list.raise(*e, kEventScrollUp);
    const std::string page = list.shownText();
    const int row = e->currentRow();
    list.raise(*e, kEventAlertKey, kMouseLeft2);
    list.raise(*e, kEventAlertKey, kDeleteKey);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(list.shownText(), page);
    EXPECT_EQ(e->currentRow(), row);
}

TEST_F(Browse, SelectReturnsTheHighlightedRecord) {
    for (const char* n : {"Apple", "Banana", "Cherry", "Date", "Elder", "Fig", "Grape"}) addCategory(n);
    BrowseDescription d = categoriesList();
    d.hasUpdate = false;
    d.hasSelect = true;
    data::Categories.clear();
    data::setString(data::findField("CAT:CATEGORY"), "cherry");
    auto e = open(d, RequestSelect);
    EXPECT_EQ(list.shownText(), "Cherry,Date,Elder,Fig,Grape");
    list.raise(*e, kEventScrollDown);
    list.raise(*e, kEventNewSelection, kMouseRight);
    EXPECT_EQ(list.menus.back(), "&Select");
    list.raise(*e, kEventAlertKey, kMouseLeft2);
    EXPECT_TRUE(list.closePosted);
    EXPECT_EQ(e->localResponse(), ResponseCompleted);
    EXPECT_EQ(category(), "Date");

    // Not opened to select: the menu item is disabled and a double-click only selects.
    FakeList plain;
    BrowseEngine notSelecting(d, plain);
    notSelecting.openWindow();
    plain.raise(notSelecting, kEventNewSelection, kMouseRight);
    EXPECT_EQ(plain.menus.back(), "~&Select");
    plain.raise(notSelecting, kEventAlertKey, kMouseLeft2);
    EXPECT_FALSE(plain.closePosted);
}

TEST_F(Browse, ThumbAtOneAndHundredActAsTopAndBottom) {
    for (char a = 'A'; a <= 'Z'; ++a) addCategory(std::string(1, a) + "-site");
    auto e = open();
    list.raise(*e, kEventPageDown);
    list.thumbAt = 100;
    list.raise(*e, kEventScrollDrag);
    EXPECT_EQ(list.shownText(), "V-site,W-site,X-site,Y-site,Z-site");
    EXPECT_EQ(e->currentRow(), 5);
    list.thumbAt = 1;
    list.raise(*e, kEventScrollDrag);
    EXPECT_EQ(list.shownText(), "A-site,B-site,C-site,D-site,E-site");
    EXPECT_EQ(e->currentRow(), 1);
    // In between the thumb's mark is located: position 50 lies about halfway through the alphabet.
    list.thumbAt = 50;
    list.raise(*e, kEventScrollDrag);
    EXPECT_TRUE(list.highlighted() == "M-site" || list.highlighted() == "N-site") << list.highlighted();
    // ... and the highlighted record gives the thumb back.
    list.raise(*e, kEventNewSelection);
    EXPECT_GE(e->thumbPosition(), 45);
    EXPECT_LE(e->thumbPosition(), 55);
    list.raise(*e, kEventScrollTop);
    EXPECT_EQ(e->thumbPosition(), 0);
}

TEST_F(Browse, GainFocusAndSizedRebuildAroundTheHighlight) {
    addNumbered(12);
    auto e = open();
    list.raise(*e, kEventPageDown);
    list.raise(*e, kEventScrollDown);
    EXPECT_EQ(list.highlighted(), "C06");
    // Another window adds a record on the page and deletes the one below the highlight.
    addCategory("C05a");
    data::setString(data::findField("CAT:CATEGORY"), "C07");
    ASSERT_EQ(data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY")), 0);
    ASSERT_EQ(data::deleteRecord(data::Categories), 0);
    e->gainFocus();
    list.pump(*e);
    EXPECT_EQ(list.highlighted(), "C06");
    EXPECT_EQ(category(), "C06");
    EXPECT_EQ(list.shownText(), "C06,C08,C09,C10,C11");
    // A smaller list: the page shrinks and keeps the highlighted record.
    list.rows = 3;
    e->sized();
    list.pump(*e);
    EXPECT_EQ(list.shownText(), "C06,C08,C09");
    EXPECT_EQ(list.highlighted(), "C06");
    list.rows = 8;
    e->sized();
    list.pump(*e);
    // Within a page of the end: the last page, still on the same record.
    EXPECT_EQ(list.shownText(), "C04,C05,C05a,C06,C08,C09,C10,C11");
    EXPECT_EQ(list.highlighted(), "C06");
}

TEST(BrowseMarks, LettersOnlyAlphabetIsAToZWithBase27) {
    StringMarks m;
    m.setup("apple pie", "Zebra crossing", 30, kMarkLetters | kMarkDigits, 1);
    EXPECT_EQ(m.alphabet(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(m.base(), 27);
    std::vector<std::string> marks;
    for (int i = 0; i < 100; ++i) marks.push_back(m.next());
    EXPECT_EQ(marks[0], "APPL");
    EXPECT_EQ(marks[99], "ZEBR");
    for (size_t i = 1; i < marks.size(); ++i) EXPECT_LE(marks[i - 1], marks[i]) << i;
    // The step is (ZEBR - APPL) / 99 in base 27.
    auto num = [](const std::string& s) {
        int64_t n = 0;
        for (size_t k = 0; k < 4; ++k) n = n * 27 + (k < s.size() ? s[k] - 'A' + 1 : 0);
        return n;
    };
    EXPECT_EQ(num(marks[1]) - num(marks[0]), (num("ZEBR") - num("APPL")) / 99);
}

TEST(BrowseMarks, PrefixShortValuesAndOtherAlphabets) {
    struct Case {
        const char* low;
        const char* high;
        int length;
        int flags;
        const char* prefix;
        const char* first;
        const char* last;
    };
    const Case cases[] = {
        {"news-a", "news-z", 30, kMarkLetters, "NEWS-", "NEWS-A", "NEWS-ZZZZ"},
        // a short high value is padded with the last letter of the alphabet
        {"ab", "b", 4, kMarkLetters, "", "AB", "BZZZ"},
        {"", "", 10, kMarkLetters, "", "", "ZZZZ"},
        {"a1", "a9", 5, kMarkDigits | kMarkLetters | kMarkCaseSensitive, "a", "a1", "a9zzz"},
    };
    for (const Case& c : cases) {
        StringMarks m;
        m.setup(c.low, c.high, c.length, c.flags);
        EXPECT_EQ(m.prefix(), c.prefix) << c.low;
        std::string first = m.next(), last;
        for (int i = 2; i <= 100; ++i) last = m.next();
        EXPECT_EQ(first, c.first) << c.low;
        EXPECT_EQ(last, c.last) << c.low;
    }
    StringMarks all;
    all.setup("a", "b", 1, kMarkLetters | kMarkPunctuation | kMarkDigits | kMarkCaseSensitive);
    EXPECT_EQ(all.base(), 10 + 30 + 52 + 1);
}

TEST(BrowseMarks, NumericMarksAreLinear) {
    EXPECT_DOUBLE_EQ(numericMark(10, 0, 1), 10);
    EXPECT_DOUBLE_EQ(numericMark(10, 0, 100), 0);
    EXPECT_NEAR(numericMark(0, 99, 51), 50, 1e-9);
}

class LocationsBrowse : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        openFile(data::SITEDX);
        openFile(data::Categories);
        const char* rows[][3] = {{"http://a.example/", "Alpha", "news"},  {"http://b.example/", "Bravo", "tools"},
                                 {"http://c.example/", "Charlie", "news"}, {"http://d.example/", "Delta", "tools"},
                                 {"http://e.example/", "Echo", "news"},    {"http://f.example/", "Foxtrot", "tools"},
                                 {"http://g.example/", "Golf", "news"}};
        double rating = 10;
        for (auto& r : rows) addLocation(r[0], r[1], r[2], rating--);
    }
    BrowseDescription locations() {
        BrowseDescription d;
        d.file = &data::SITEDX;
        d.row = {{"URL:DESCRIPTION"}, {"URL:LOCATION"}, {"URL:CATEGORY"}, {"URL:RATING"}, {"URL:KEYWORD"}};
        auto order = [](std::string key, std::string filter, std::vector<ResetField> resets, std::string locator) {
            SortOrderDescription o;
            o.key = std::move(key);
            o.filter = std::move(filter);
            o.resetFields = std::move(resets);
            o.locator = std::move(locator);
            return o;
        };
        SortOrderDescription byDescription = order("URL:K_DESCRIPTION", "", {}, "URL:DESCRIPTION");
        byDescription.distribution = Distribution::kString;
        byDescription.distributionLength = 100;
        SortOrderDescription byLocation = order("URL:K_LOCATION", "", {}, "URL:LOCATION");
        SortOrderDescription byCategory = order("URL:K_CATEGORY",
                                        "UPPER(URL:Category) = UPPER(BRW1::Sort3:Reset:CAT:Category)",
                                        {{"CAT:CATEGORY", "BRW1::Sort3:Reset:CAT:Category"}},
                                        "URL:DESCRIPTION");
        byCategory.primeLocate = [] {
            data::setString(data::findField("URL:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
        };
        SortOrderDescription byRating = order("URL:K_RATING", "", {}, "URL:RATING");
        byRating.distribution = Distribution::kNumeric;
        byRating.locatorClears = {"URL:DESCRIPTION", "URL:LOCATION"};
        d.orders = {byDescription, byLocation, byCategory, byRating};
        d.chooseOrder = [this] { return tab; };
        return d;
    }
    std::string description() { return data::getString(data::findField("URL:DESCRIPTION")); }
    int tab = 1;
    FakeList list;
};

TEST_F(LocationsBrowse, ChangingTheOrderKeepsTheHighlightedRecord) {
    list.rows = 3;
    BrowseEngine e(locations(), list);
    e.openWindow();
    list.raise(e, kEventAlertKey, 'D', 'd');
    EXPECT_EQ(list.highlighted(), "Delta");
    tab = 4;  // rating, highest first: Delta has 7
    e.refresh();
    list.pump(e);
    EXPECT_EQ(list.highlighted(), "Delta");
    EXPECT_EQ(list.shownText(), "Delta,Echo,Foxtrot");
    EXPECT_EQ(list.shownText(3), "7,6,5");
    // The rating's locator takes the number the key spells.
    list.raise(e, kEventAlertKey, '9', '9');
    EXPECT_EQ(list.highlighted(), "Bravo");
    list.raise(e, kEventNewSelection);
    // Ratings run downward (10 first): 9 of 10..4 lies a sixth of the way down.
    EXPECT_GT(e.thumbPosition(), 10);
    EXPECT_LT(e.thumbPosition(), 25);
    tab = 2;
    e.refresh();
    list.pump(e);
    EXPECT_EQ(list.highlighted(), "Bravo");
    EXPECT_EQ(list.highlighted(1), "http://b.example/");
}

TEST_F(LocationsBrowse, ResetFieldRebuildsAFilteredOrderFromItsTop) {
    tab = 3;
    data::Categories.clear();
    data::setString(data::findField("CAT:CATEGORY"), "NEWS");
    BrowseEngine e(locations(), list);
    e.openWindow();
    list.pump(e);
    EXPECT_EQ(list.shownText(), "Alpha,Charlie,Echo,Golf");
    list.raise(e, kEventScrollDown);
    list.raise(e, kEventAlertKey, 'E', 'e');
    EXPECT_EQ(list.highlighted(), "Echo");
    data::setString(data::findField("CAT:CATEGORY"), "tools");
    e.refresh();
    list.pump(e);
    EXPECT_EQ(list.shownText(), "Bravo,Delta,Foxtrot");
    EXPECT_EQ(list.highlighted(), "Bravo");
    // A category with no locations: an empty list.
    data::setString(data::findField("CAT:CATEGORY"), "none");
    e.refresh();
    list.pump(e);
    EXPECT_EQ(e.rowCount(), 0);
    EXPECT_EQ(description(), "");
}

TEST_F(LocationsBrowse, FilterThatDoesNotCompileWarnsAndShowsAll) {
    BrowseDescription d = locations();
    d.orders[0].filter = "URL:Description = (";
    BrowseEngine e(d, list);
    e.openWindow();
    list.pump(e);
    ASSERT_FALSE(shownBoxes().empty());
    EXPECT_NE(shownBoxes()[0].find("View Open Error"), std::string::npos);
    EXPECT_EQ(e.rowCount(), 5);
    EXPECT_FALSE(e.closing());
}

TEST_F(LocationsBrowse, ReadErrorWarnsAndClosesTheWindow) {
    BrowseEngine e(locations(), list);
    e.openWindow();
    list.pump(e);
    ASSERT_EQ(data::close(data::SITEDX), 0);  // every read now fails with "file not open"
    list.raise(e, kEventScrollBottom);
    ASSERT_FALSE(shownBoxes().empty());
    EXPECT_NE(shownBoxes().back().find("Record Retrieval Error: Error: ("), std::string::npos);
    EXPECT_NE(shownBoxes().back().find("from the SITEDX file"), std::string::npos);
    EXPECT_TRUE(list.closePosted);
    EXPECT_TRUE(e.closing());
}

TEST_F(LocationsBrowse, UnknownNamesAreRefused) {
    BrowseDescription d = locations();
    d.orders[0].key = "URL:K_NOSUCH";
    EXPECT_THROW(BrowseEngine(d, list), std::invalid_argument);
    d = locations();
    d.row.push_back({"URL:NOSUCH"});
    EXPECT_THROW(BrowseEngine(d, list), std::invalid_argument);
}

}  // namespace
}  // namespace sitedex::app::maintenance
