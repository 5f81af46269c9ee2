// The category windows, driven as the user would (offscreen): the pick list, the category browse,
// the category form with its two inner lists, and the snippet form. Message boxes are answered
// through the test responder; what ends up on disk is read back through another thread's instance.
//
// With SITEDEX_CATEGORY_SHOW=<milliseconds> each window stays up that long once filled (for a look
// at it under a real display).

#include <cstdlib>
#include <map>
#include <memory>

#include "app/maintenance/browse_categories.h"
#include "app/maintenance/select_categories.h"
#include "app/maintenance/update_categories.h"
#include "app/maintenance/update_cathtml.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "tests/app/browse_fixture.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}
std::string fieldText(const char* name) { return trimmed(data::getString(data::findField(name))); }

void showForALook() {
    if (const char* show = std::getenv("SITEDEX_CATEGORY_SHOW")) ui::pumpEventsFor(std::atoi(show));
}

class CategoryWindows : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        ui::ensureApplication();
        ui::installWindowHooks();  // the real boxes, answered by the responder below
        ui::setPopupResponder(nullptr);
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box);
            auto it = m_answers.find(box.caption);
            if (it == m_answers.end() || it->second.empty()) return int(kButtonOk);
            int answer = it->second.front();
            it->second.erase(it->second.begin());
            return answer;
        });
        openFile(data::Categories);
        openFile(data::CatHTML);
        openFile(data::SITEDX);
        for (const char* c : {"Music", "News", "Science", "_After All", "_Before All"}) addCategory(c);
        addSnippet("Music", "Before Category", "<hr>");
        addSnippet("Music", "Replace Title", "<h2>Tunes</h2>");
        addSnippet("News", "After Category", "<p>more news</p>");
        addLocation("http://www.jazz.example/", "Jazz Corner", "Music");
        addLocation("http://www.opera.example/", "Opera House", "Music");
        addLocation("http://www.blues.example/", "Blues Archive", "Music");
        addLocation("http://www.wire.example/", "Wire Service", "News");
        data::closeAllFiles();
    }
    void TearDown() override {
        for (int t : m_threads)
            for (int tries = 0; tries < 5 && ui::threadRunning(t); ++tries) {  // one window at a time
                ui::postEvent(kEventCloseWindow, 0, t);
                ui::pumpEventsUntil([&] { return !ui::threadRunning(t); }, 500);
            }
        ui::setMessageBoxResponder(nullptr);
        unregisterProcedure("BrowseURL:K_Category");
        DataDirTest::TearDown();
    }
    static void addSnippet(const std::string& category, const std::string& type, const std::string& html) {
        data::CatHTML.clear();
        data::setString(data::findField("HTM:CATEGORY"), category);
        data::setString(data::findField("HTM:TYPEOFHTML"), type);
        data::CatHTML.memo(0) = html;
        ASSERT_EQ(data::add(data::CatHTML), 0);
    }

    // Runs `body` as a procedure on a thread of its own; `ended` turns true when it returns.
    int start(std::function<void()> body) {
        auto ended = std::make_shared<bool>(false);
        m_ended = ended;
        int t = ui::startProcedure([body = std::move(body), ended] {
            body();
            *ended = true;
        });
        EXPECT_NE(t, 0);
        m_threads.push_back(t);
        return t;
    }
    bool ended() { return *m_ended; }
    bool waitEnded() { return ui::pumpEventsUntil([&] { return ended(); }); }

    // The window the thread shows now, once it is the one named.
    ui::Window* windowOf(int thread, const std::string& name) {
        ui::Window* found = nullptr;
        ui::pumpEventsUntil([&] {
            ui::Window* w = ui::currentWindow(thread);
            if (w && w->definition().name == name) found = w;
            return found != nullptr;
        });
        if (found) ui::pumpEventsFor(60);  // its first page is built
        return found;
    }
    void settle() { ui::pumpEventsFor(60); }
    static std::string column(ui::ListControl l, int c = 1) {
        std::string s;
        for (int r = 1; r <= l.rowCount(); ++r) s += (r > 1 ? "," : "") + l.cellText(r, c);
        return s;
    }

    // Every record of a file as "field|field", sorted, read through thread 7's own instance.
    std::vector<std::string> onDisk(data::FileDecl& file, std::vector<const char*> fields) {
        std::vector<std::string> rows;
        runtime::setCurrentThread(7);
        EXPECT_EQ(data::share(file, data::kModeShared), 0);
        EXPECT_EQ(data::set(file), 0);
        while (data::next(file) == 0) {
            std::string row;
            for (const char* f : fields) row += (row.empty() ? "" : "|") + fieldText(f);
            rows.push_back(row);
        }
        data::close(file);
        runtime::setCurrentThread(1);
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    std::vector<std::string> categoriesOnDisk() { return onDisk(data::Categories, {"CAT:CATEGORY"}); }
    std::vector<std::string> snippetsOnDisk() { return onDisk(data::CatHTML, {"HTM:CATEGORY", "HTM:TYPEOFHTML"}); }
    std::vector<std::string> locationsOnDisk() { return onDisk(data::SITEDX, {"URL:DESCRIPTION", "URL:CATEGORY"}); }

    std::vector<ui::MessageBoxInfo> m_boxes;
    std::map<std::string, std::vector<int>> m_answers;  // by caption, in turn; OK when none is left
    std::vector<int> m_threads;
    std::shared_ptr<bool> m_ended = std::make_shared<bool>(true);
};

// ---- SelectCategories -------------------------------------------------------------------------

TEST_F(CategoryWindows, SelectReturnsThePickedCategoryOrCancelled) {
    struct Case {
        const char* how;
        long response;
        const char* category;  // in the Categories buffer afterwards
    };
    for (const Case& c : {Case{"select", ResponseCompleted, "Science"}, Case{"double-click", ResponseCompleted, "Science"},
                          Case{"close", ResponseCancelled, nullptr}}) {
        SCOPED_TRACE(c.how);
        long response = -1;
        std::string picked;
        const int t = start([&] {
            data::useFile(data::Categories);
            data::Categories.clear();
            data::setString(data::findField("CAT:CATEGORY"), "Sc");  // positions the list
            CallRequest() = RequestSelect;
            SelectCategories();
            response = CallResponse();
            picked = fieldText("CAT:CATEGORY");
            data::releaseFile(data::Categories);
        });
        const SelectCategoriesWindow& sw = selectCategoriesWindow();
        ui::Window* w = windowOf(t, sw.def.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->definition().title, "Select Category");
        ui::ListControl l(*w, sw.list);
        EXPECT_EQ(column(l), "Music,News,Science,_After All,_Before All") << "the special categories are listed";
        EXPECT_EQ(l.cellText(l.selectedRow(), 1), "Science") << "positioned on the caller's value";
        EXPECT_TRUE(w->isEnabled(sw.select));
        showForALook();
        if (std::string(c.how) == "select") w->click(sw.select);
        else if (std::string(c.how) == "double-click") l.pressKey(kMouseLeft2);
        else w->click(sw.close);
        ASSERT_TRUE(waitEnded());
        EXPECT_EQ(response, c.response);
        if (c.category) {
            EXPECT_EQ(picked, c.category);
        }
    }
}

TEST_F(CategoryWindows, SelectOpenedWithoutTheSelectRequestIsAPlainList) {
    long response = -1;
    const int t = start([&] {
        CallRequest() = 0;
        SelectCategories();
        response = CallResponse();
    });
    const SelectCategoriesWindow& sw = selectCategoriesWindow();
    ui::Window* w = windowOf(t, sw.def.name);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isEnabled(sw.select));
    std::vector<std::string> menu;
    ui::setPopupResponder([&](const std::vector<std::string>& items) {
        menu = items;
        return 0;
    });
    ui::ListControl(*w, sw.list).clickRow(1, true);
    settle();
    ASSERT_EQ(menu.size(), 1u);
    ui::ListControl(*w, sw.list).pressKey(kMouseLeft2);  // nothing to select with
    settle();
    EXPECT_FALSE(ended());
    w->click(sw.close);
    ASSERT_TRUE(waitEnded());
    EXPECT_EQ(response, ResponseCancelled);
}

// ---- UpdateCategories and UpdateCatHTML ----------------------------------------------------------

TEST_F(CategoryWindows, DuplicateCategoryIsRefusedAndTheFormStays) {
    for (bool withLists : {true, false}) {
        SCOPED_TRACE(withLists ? "UpdateCategories" : "UpdateCategoriesNoMDI");
        m_boxes.clear();
        long response = -1;
        const int t = start([&] {
            data::useFile(data::Categories);
            data::Categories.clear();
            CallRequest() = RequestInsert;
            withLists ? UpdateCategories() : UpdateCategoriesNoMDI();
            response = CallResponse();
            data::releaseFile(data::Categories);
        });
        CategoryFormFields dummy;
        const UpdateCategoriesWindow fw = updateCategoriesWindow(dummy, withLists);
        ui::Window* w = windowOf(t, fw.def.name);
        ASSERT_NE(w, nullptr);
        w->enterText(fw.category, "music");
        w->enterText(fw.description, "Another music");
        w->click(fw.ok);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !m_boxes.empty(); }));
        EXPECT_EQ(m_boxes[0].caption, "Duplicate Key Error");
        EXPECT_EQ(m_boxes[0].text, "Adding this record creates a duplicate entry for the key:Category");
        settle();
        EXPECT_FALSE(ended()) << "back in the form";
        w->enterText(fw.category, withLists ? "Jazz" : "Folk");
        w->click(fw.ok);
        ASSERT_TRUE(waitEnded());
        EXPECT_EQ(response, ResponseCompleted);
    }
    EXPECT_EQ(categoriesOnDisk(), (std::vector<std::string>{"Folk", "Jazz", "Music", "News", "Science", "_After All",
                                                            "_Before All"}));
}

TEST_F(CategoryWindows, InnerListsFollowTheTypedNameAndSnippetsKeepIt) {
    m_answers["Duplicate Key Error"] = {kButtonOk};
    long response = -1;
    const int t = start([&] {
        data::useFile(data::Categories);
        data::Categories.clear();
        CallRequest() = RequestInsert;
        UpdateCategories();
        response = CallResponse();
        data::releaseFile(data::Categories);
    });
    CategoryFormFields dummy;
    const UpdateCategoriesWindow fw = updateCategoriesWindow(dummy, true);
    ui::Window* w = windowOf(t, fw.def.name);
    ASSERT_NE(w, nullptr);
    ui::ListControl html(*w, fw.htmlList), locations(*w, fw.locationList);
    EXPECT_EQ(html.rowCount(), 0) << "a new category has no snippets";
    EXPECT_EQ(locations.rowCount(), 0);
    EXPECT_FALSE(w->isEnabled(fw.htmlChange));
    EXPECT_FALSE(w->isEnabled(fw.locationDelete));

    w->enterText(fw.category, "music");  // the lists compare names without regard to case
    settle();
    EXPECT_EQ(column(html), "Before Category,Replace Title");
    EXPECT_EQ(column(locations), "Blues Archive,Jazz Corner,Opera House");
    EXPECT_EQ(locations.cellText(2, 2), "http://www.jazz.example/");
    w->enterText(fw.category, "News");
    settle();
    EXPECT_EQ(column(html), "After Category");
    EXPECT_EQ(column(locations), "Wire Service");
    w->chooseTab(fw.sheet, 2);
    settle();
    showForALook();

    w->enterText(fw.category, "Brand New");
    settle();
    EXPECT_EQ(html.rowCount(), 0);
    EXPECT_EQ(locations.rowCount(), 0);

    // A snippet for the typed name, through the snippet form.
    const UpdateCatHTMLWindow hw = [] {
        SnippetFormFields f;
        return updateCatHTMLWindow(f);
    }();
    auto addSnippetThroughForm = [&](const char* type) {
        w->click(fw.htmlInsert);
        ui::Window* h = windowOf(t, hw.def.name);
        EXPECT_NE(h, nullptr);
        if (!h) return;
        EXPECT_EQ(h->text(hw.type), "Before Category") << "the default type";
        EXPECT_FALSE(w->isEnabled(fw.ok)) << "the category form waits for the snippet form";
        for (int r : hw.radios)
            if (h->definition().control(r).value == type) h->click(r);
        h->enterText(hw.html, "<p>Fresh</p>");
        h->click(hw.ok);
        settle();
    };
    addSnippetThroughForm("After Category Title");
    ASSERT_EQ(ui::currentWindow(t)->definition().name, fw.def.name);
    EXPECT_EQ(column(html), "After Category Title");
    EXPECT_TRUE(m_boxes.empty());

    addSnippetThroughForm("After Category Title");  // a second of the same type
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "Duplicate Key Error");
    EXPECT_EQ(m_boxes[0].text, "Adding this record creates a duplicate entry for the key:Category - Add HTML");
    ui::Window* h = ui::currentWindow(t);
    ASSERT_EQ(h->definition().name, hw.def.name) << "the snippet form stays";
    h->click(hw.cancel);
    settle();

    w->click(fw.cancel);
    ASSERT_TRUE(waitEnded());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_EQ(categoriesOnDisk().size(), 5u) << "the category itself was not added";
    const auto snippets = snippetsOnDisk();
    EXPECT_NE(std::find(snippets.begin(), snippets.end(), "Brand New|After Category Title"), snippets.end())
        << "the snippet carries the typed name";
    EXPECT_EQ(snippets.size(), 4u);
}

TEST_F(CategoryWindows, UnchangedCategoryWritesNothing) {
    long response = -1;
    const int t = start([&] {
        data::useFile(data::Categories);
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), "News");
        data::watch(data::Categories);
        ASSERT_EQ(data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY")), 0);
        CallRequest() = RequestChange;
        UpdateCategories();
        response = CallResponse();
        data::releaseFile(data::Categories);
    });
    CategoryFormFields dummy;
    const UpdateCategoriesWindow fw = updateCategoriesWindow(dummy, true);
    ui::Window* w = windowOf(t, fw.def.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->text(fw.category), "News");
    EXPECT_EQ(w->text(fw.description), "About News");
    EXPECT_EQ(ui::ListControl(*w, fw.locationList).rowCount(), 1) << "the lists show the category from the start";
    // Leaving the name as it was is no change either.
    w->enterText(fw.category, "News");
    w->click(fw.ok);
    ASSERT_TRUE(waitEnded());
    EXPECT_EQ(response, ResponseCancelled);
    EXPECT_TRUE(m_boxes.empty());
}

// ---- BrowseCategories -------------------------------------------------------------------------

class CategoryBrowse : public CategoryWindows {
protected:
    void SetUp() override {
        CategoryWindows::SetUp();
        m_thread = start(BrowseCategories);
        m_window = windowOf(m_thread, bw().def.name);
        ASSERT_NE(m_window, nullptr);
    }
    static const BrowseCategoriesWindow& bw() { return browseCategoriesWindow(); }
    ui::ListControl list() { return ui::ListControl(*m_window, bw().list); }
    std::string highlighted() { return list().cellText(list().selectedRow(), 1); }
    void highlight(const std::string& name) {
        for (int r = 1; r <= list().rowCount(); ++r)
            if (list().cellText(r, 1) == name) {
                list().clickRow(r);
                settle();
                return;
            }
        ADD_FAILURE() << name << " is not on the page";
    }
    int m_thread = 0;
    ui::Window* m_window = nullptr;
};

TEST_F(CategoryBrowse, ShowsTheCategoriesWithTheTip) {
    EXPECT_EQ(m_window->definition().title, "Browse Categories");
    EXPECT_EQ(column(list()), "Music,News,Science,_After All,_Before All");
    EXPECT_EQ(list().cellText(1, 2), "About Music");
    EXPECT_EQ(m_window->text(bw().header), "Add, Edit, or Remove URL Categories here.");
    EXPECT_EQ(m_window->text(bw().firstTip), "Tip:");
    EXPECT_EQ(m_window->text(bw().lastTip), "backgrounds, sounds, frames, etc.)");
    EXPECT_EQ(m_window->text(bw().locations), "Locations for this Category");
    showForALook();
}

TEST_F(CategoryBrowse, RenameThroughTheFormCarriesToLocationsAndSnippets) {
    highlight("Music");
    list().pressKey(kCtrlEnter);
    CategoryFormFields dummy;
    const UpdateCategoriesWindow fw = updateCategoriesWindow(dummy, true);
    ui::Window* f = windowOf(m_thread, fw.def.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->definition().title, "Category Will Be Changed");
    EXPECT_EQ(f->text(fw.category), "Music");
    f->enterText(fw.category, "Tunes");
    settle();
    EXPECT_EQ(ui::ListControl(*f, fw.htmlList).rowCount(), 0) << "the lists follow the name as typed";
    f->click(fw.ok);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return ui::currentWindow(m_thread) == m_window; }));
    settle();
    EXPECT_EQ(highlighted(), "Tunes") << "the changed record, highlighted at its place";
    EXPECT_EQ(categoriesOnDisk(), (std::vector<std::string>{"News", "Science", "Tunes", "_After All", "_Before All"}));
    EXPECT_EQ(snippetsOnDisk(), (std::vector<std::string>{"News|After Category", "Tunes|Before Category",
                                                          "Tunes|Replace Title"}));
    EXPECT_EQ(locationsOnDisk(), (std::vector<std::string>{"Blues Archive|Tunes", "Jazz Corner|Tunes",
                                                           "Opera House|Tunes", "Wire Service|News"}));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(CategoryBrowse, DeleteAsksAndTakesLocationsAndSnippetsWithIt) {
    m_answers["Confirm Delete"] = {kButtonCancel, kButtonOk};
    highlight("Music");
    m_window->click(bw().remove);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return m_boxes.size() == 1; }));
    settle();
    EXPECT_EQ(m_boxes[0].caption, "Confirm Delete");
    EXPECT_EQ(categoriesOnDisk().size(), 5u) << "cancelled: nothing deleted";
    EXPECT_EQ(highlighted(), "Music");

    list().pressKey(kDeleteKey);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return m_boxes.size() == 2; }));
    settle();
    EXPECT_EQ(column(list()), "News,Science,_After All,_Before All");
    EXPECT_EQ(categoriesOnDisk(), (std::vector<std::string>{"News", "Science", "_After All", "_Before All"}));
    EXPECT_EQ(snippetsOnDisk(), (std::vector<std::string>{"News|After Category"}));
    EXPECT_EQ(locationsOnDisk(), (std::vector<std::string>{"Wire Service|News"}));
}

TEST_F(CategoryBrowse, LocationsForThisCategoryCallsTheRegisteredBrowse) {
    unregisterProcedure("BrowseURL:K_Category");
    // Not there yet: warning 6 names it.
    highlight("News");
    m_window->click(bw().locations);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !m_boxes.empty(); }));
    EXPECT_EQ(m_boxes[0].text, "The Procedure BrowseURL:K_Category has not been defined.");
    settle();

    std::string shown;
    registerProcedure("BrowseURL:K_Category", [&] { shown = fieldText("CAT:CATEGORY"); });
    highlight("Science");
    m_window->click(bw().locations);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown, "Science");
    settle();
    EXPECT_EQ(highlighted(), "Science") << "the browse goes on where it was";
}

TEST(CategoryProcedures, RegisteredUnderTheirNamesWithoutReplacingStandIns) {
    auto standIn = [] {};
    registerProcedure("UpdateCatHTML", standIn);
    registerCategoryProcedures();
    for (const char* name : {"SelectCategories", "BrowseCategories", "UpdateCategories", "UpdateCatHTML",
                             "UpdateCategoriesNoMDI"})
        EXPECT_NE(findProcedure(name), nullptr) << name;
    EXPECT_EQ(findProcedure("UpdateCatHTML")->target<void (*)()>(), nullptr) << "the stand-in stays";
    for (const char* name : {"SelectCategories", "BrowseCategories", "UpdateCategories", "UpdateCatHTML",
                             "UpdateCategoriesNoMDI"})
        unregisterProcedure(name);
}

}  // namespace
}  // namespace sitedex::app::maintenance
