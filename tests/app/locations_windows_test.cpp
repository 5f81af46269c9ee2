// The locations browse and the location form in real windows (offscreen), over real data files in a
// fresh directory: the test clicks, types and chooses tabs as the user would, answers the message
// boxes through the test responder and reads back what reached the files through an instance of its
// own.
//
// With SITEDEX_LOCATIONS_SHOW=<milliseconds> the browse stays up that long once filled.

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>

#include "app/maintenance/browse_sitedx.h"
#include "app/maintenance/update_sitedx.h"
#include "app/shell/main_frame.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "tests/app/browse_fixture.h"
#include "tests/app/maintenance_fixture.h"
#include "ui/clipboard.h"
#include "ui/desktop.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;
namespace fs = std::filesystem;

struct Site {
    const char* location;
    const char* description;
    const char* category;
    int rating;
    const char* keyword;
};

const Site kSites[] = {
    {"http://www.bbc.co.uk/news/", "BBC News", "News", 8, "http"},
    {"http://www.reuters.com/", "Reuters", "News", 7, "http"},
    {"http://www.nytimes.com/", "New York Times", "News", 6, "http"},
    {"ftp://ftp.gnu.org/gnu/", "GNU software archive", "Software", 9, "ftp"},
    {"http://www.debian.org/", "Debian GNU/Linux", "Software", 10, "http"},
    {"http://www.python.org/", "Python language", "Programming", 9, "http"},
    {"http://isocpp.org/", "Standard C++", "Programming", 8, "http"},
    {"http://www.weather.gov/", "National Weather Service", "Weather", 5, "http"},
    {"http://www.allrecipes.com/", "Allrecipes", "Cooking", 4, "http"},
    {"mailto:editor@example.com", "Letters to the editor", "", 2, "mailto:"},
    {"gopher.example.org", "Old gopher server", "", 1, "?"},
};
const char* const kCategoryNames[] = {"Cooking", "News",        "Programming", "Software",
                                      "Weather", "_Before All", "_after all"};

struct OnDisk {
    std::string description, category, keyword, siteInfo;
    double rating = 0;
};

class LocationsWindows : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        ui::ensureApplication();
        ui::installWindowHooks();  // the real boxes, answered by the responder below
        ui::setPopupResponder(nullptr);
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box.caption + ": " + box.text);
            if (!m_answers.empty()) {
                int a = m_answers.front();
                m_answers.pop_front();
                return a;
            }
            return box.defaultButton ? box.defaultButton : int(kButtonOk);
        });
        openFile(data::Categories);
        openFile(data::SITEDX);
        for (const char* c : kCategoryNames)
            addCategory(c);
        for (const Site& s : kSites) {
            data::SITEDX.clear();
            data::setString(data::findField("URL:LOCATION"), s.location);
            data::setString(data::findField("URL:DESCRIPTION"), s.description);
            data::setString(data::findField("URL:CATEGORY"), s.category);
            data::setNumber(data::findField("URL:RATING"), s.rating);
            data::setString(data::findField("URL:KEYWORD"), s.keyword);
            ASSERT_EQ(data::add(data::SITEDX), 0) << s.location;
        }
        data::closeAllFiles();
        registerLocationProcedures();
        unregisterProcedure("SelectCategories");
    }
    void TearDown() override {
        m_answers.clear();
        ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) { return b.defaultButton ? b.defaultButton : 1; });
        // A form open over the browse closes first, then the browse.
        for (int round = 0; round < 5 && ui::runningThreads() > 0; ++round) {
            for (int t = 2; t <= kThreadSlots; ++t)
                if (ui::threadRunning(t))
                    ui::postEvent(kEventCloseWindow, 0, t);
            ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }, 1000);
        }
        EXPECT_EQ(ui::runningThreads(), 0);
        ui::setMessageBoxResponder(nullptr);
        unregisterProcedure("SelectCategories");
        runtime::setCurrentThread(1);
        DataDirTest::TearDown();
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }

    // Starts a procedure and waits until its list shows rows (or, with `rows` false, its window).
    void start(void (*procedure)(), bool rows = true) {
        m_thread = ui::startProcedure(procedure, 0, "LocationsTest");
        ASSERT_NE(m_thread, 0);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return window() && (!rows || list().rowCount() > 0); }));
        settle();
    }
    ui::Window* window() { return ui::currentWindow(m_thread); }
    ui::Window* browse() {
        ui::Window* w = window();
        return w && w->definition().name != "UPDATESITEDX$WINDOW" ? w : nullptr;
    }
    ui::Window* form() {
        ui::Window* w = window();
        return w && w->definition().name == "UPDATESITEDX$WINDOW" ? w : nullptr;
    }
    int listControl() {
        return browse() && browse()->definition().name == "BROWSESITEDX$WINDOW" ? lw().list
                                                                                : categoryLocationsWindow().list;
    }
    ui::ListControl list() { return ui::ListControl(*browse(), listControl()); }
    static const LocationsBrowseWindow& lw() { return locationsBrowseWindow(); }
    static const LocationFormWindow& fw() { return locationFormWindow(); }
    void settle() { ui::pumpEventsFor(80); }

    std::string highlighted(int column) { return list().cellText(list().selectedRow(), column); }
    std::string column(int c) {
        std::string s;
        for (int r = 1; r <= list().rowCount(); ++r)
            s += (r > 1 ? "," : "") + list().cellText(r, c);
        return s;
    }

    // Presses a button of the browse and waits for the form.
    void openForm(int button) {
        browse()->click(button);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return form() != nullptr; }));
        settle();
    }
    // Presses OK; true when the form closed.
    bool pressOk() {
        form()->click(fw().ok);
        return ui::pumpEventsUntil([&] { return form() == nullptr; }, 600);
    }

    // Every location on disk, read through an instance of thread 60.
    std::map<std::string, OnDisk> onDisk() {
        std::map<std::string, OnDisk> m;
        const int was = currentThread();
        setCurrentThread(60);
        EXPECT_EQ(data::share(data::SITEDX, data::kModeShared), 0);
        EXPECT_EQ(data::set(data::SITEDX), 0);
        while (data::next(data::SITEDX) == 0) {
            OnDisk d;
            d.description = data::getString(data::findField("URL:DESCRIPTION"));
            d.category = data::getString(data::findField("URL:CATEGORY"));
            d.keyword = data::getString(data::findField("URL:KEYWORD"));
            d.rating = data::getNumber(data::findField("URL:RATING"));
            d.siteInfo = data::SITEDX.memo(0);
            m[data::getString(data::findField("URL:LOCATION"))] = d;
        }
        data::close(data::SITEDX);
        setCurrentThread(was);
        return m;
    }
    bool boxShown(const std::string& caption) {
        for (const auto& b : m_boxes)
            if (b.rfind(caption + ":", 0) == 0)
                return true;
        return false;
    }

    int m_thread = 0;
    std::vector<std::string> m_boxes;
    std::deque<int> m_answers;
};

// ---- the form ----------------------------------------------------------------------------------

TEST_F(LocationsWindows, InsertFillsTheKeywordFromTheSchemeAndHighlightsTheNewLocation) {
    struct Case {
        const char* location;
        const char* typedKeyword;
        const char* keyword;
    };
    const Case cases[] = {
        {"https://www.wikipedia.org/", "", "https"},       {"ftp://ftp.kernel.org/pub/", "", "ftp"},
        {"mailto:webmaster@example.net", "", "mailto:"},   {"news:comp.lang.c++", "", "?"},
        {"averyverylongscheme://host/", "", "averyveryl"},  // the scheme's first 10 characters
        {"http://typed.example.com/", "mine", "mine"},      // a keyword the user typed stays
    };
    start(BrowseSITEDX);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.location);
        openForm(lw().insert);
        EXPECT_EQ(form()->definition().title, "Adding Location");
        if (*c.typedKeyword)
            form()->enterText(fw().keyword, c.typedKeyword);
        form()->enterText(fw().location, c.location);
        settle();
        EXPECT_EQ(form()->text(fw().keyword), c.keyword) << "shown as soon as the address is accepted";
        form()->enterText(fw().description, std::string("New: ") + c.location);
        form()->enterText(fw().category, "Software");
        form()->enterText(fw().rating, "7");
        settle();
        ASSERT_TRUE(pressOk());
        settle();
        auto disk = onDisk();
        ASSERT_EQ(disk.count(c.location), 1u);
        EXPECT_EQ(disk[c.location].keyword, c.keyword);
        EXPECT_EQ(disk[c.location].category, "Software");
        EXPECT_EQ(disk[c.location].rating, 7);
        EXPECT_EQ(highlighted(2), c.location) << "the new location, highlighted";
    }
    EXPECT_TRUE(m_boxes.empty()) << m_boxes.front();
}

TEST_F(LocationsWindows, ChangeNeverSetsTheKeywordAndWritesWhatWasEdited) {
    // The keyword of a record saved with a blank one stays blank when its address changes.
    openFile(data::SITEDX);
    addLocation("http://blank.example.com/", "AAA blank keyword", "News", 3);
    data::closeAllFiles();
    start(BrowseSITEDX);
    ASSERT_EQ(highlighted(1), "AAA blank keyword");
    openForm(lw().change);
    EXPECT_EQ(form()->text(fw().location), "http://blank.example.com/");
    EXPECT_EQ(form()->text(fw().category), "News");
    form()->enterText(fw().location, "http://moved.example.com/");
    form()->chooseTab(fw().sheet, 2);
    form()->enterText(fw().siteInfo, "Moved in the spring.\nStill blank keyword.");
    settle();
    EXPECT_EQ(form()->text(fw().keyword), "");
    ASSERT_TRUE(pressOk());
    settle();
    auto disk = onDisk();
    EXPECT_EQ(disk.count("http://blank.example.com/"), 0u);
    ASSERT_EQ(disk.count("http://moved.example.com/"), 1u);
    EXPECT_EQ(disk["http://moved.example.com/"].keyword, "");
    EXPECT_EQ(disk["http://moved.example.com/"].siteInfo, "Moved in the spring.\nStill blank keyword.");
    EXPECT_EQ(highlighted(2), "http://moved.example.com/");
}

TEST_F(LocationsWindows, UnchangedOkWritesNothing) {
    start(BrowseSITEDX);
    const std::string file = m_dir.file("URL_L.VLX");
    const std::string before = sitedex::testing::readFile(file);
    const auto stamp = fs::last_write_time(file);
    openForm(lw().change);
    form()->chooseTab(fw().sheet, 2);  // looking at the other tab changes nothing either
    settle();
    ASSERT_TRUE(pressOk());
    settle();
    EXPECT_EQ(sitedex::testing::readFile(file), before);
    EXPECT_EQ(fs::last_write_time(file), stamp);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LocationsWindows, UnknownCategoryIsRefusedWithWarning11) {
    start(BrowseSITEDX);
    const size_t count = onDisk().size();
    openForm(lw().insert);
    form()->enterText(fw().location, "http://www.example.org/");
    form()->enterText(fw().description, "Example");
    form()->enterText(fw().category, "Astrology");
    settle();
    EXPECT_TRUE(boxShown("Field Contents Error"));
    m_boxes.clear();
    EXPECT_FALSE(pressOk()) << "the form stays";
    ASSERT_TRUE(boxShown("Field Contents Error"));
    EXPECT_NE(m_boxes.front().find("URL:Category"), std::string::npos) << m_boxes.front();
    EXPECT_EQ(onDisk().size(), count);
    // A category on file differing only in letter case is the same category.
    form()->enterText(fw().category, "news");
    ASSERT_TRUE(pressOk());
    EXPECT_EQ(onDisk().size(), count + 1);
}

TEST_F(LocationsWindows, CategoryListLeavesOutTheExportCategoriesAndIsSorted) {
    openFile(data::Categories);
    addCategory("apples");  // lower case sorts among the others, not after them
    data::closeAllFiles();
    start(BrowseSITEDX);
    openForm(lw().change);
    EXPECT_EQ(form()->choices(fw().category),
              (std::vector<std::string>{"apples", "Cooking", "News", "Programming", "Software", "Weather"}));
    form()->click(fw().cancel);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return form() == nullptr; }));
}

TEST_F(LocationsWindows, DuplicateAddressIsRefusedForSiteLocation) {
    start(BrowseSITEDX);
    const auto before = onDisk();
    openForm(lw().insert);
    form()->enterText(fw().location, "HTTP://WWW.REUTERS.COM/");  // the key ignores letter case
    form()->enterText(fw().description, "Reuters again");
    form()->enterText(fw().category, "News");
    EXPECT_FALSE(pressOk());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0],
              "Duplicate Key Error: Adding this record creates a duplicate entry for the key:Site Location");
    EXPECT_EQ(onDisk().size(), before.size());
    form()->enterText(fw().location, "http://www.reuters.com/business/");
    ASSERT_TRUE(pressOk());
    EXPECT_EQ(onDisk().size(), before.size() + 1);
}

TEST_F(LocationsWindows, ChangeMadeElsewhereMeanwhileIsShownInsteadOfOverwritten) {
    start(BrowseSITEDX);
    list().pressKey('B', 'b');
    list().pressKey('B', 'b');
    settle();
    ASSERT_EQ(highlighted(1), "BBC News");
    openForm(lw().change);
    // Another window (thread 60's own instance and buffer) changes the same record now.
    const int was = currentThread();
    setCurrentThread(60);
    ASSERT_EQ(data::share(data::SITEDX, data::kModeShared), 0);
    data::setString(data::findField("URL:LOCATION"), "http://www.bbc.co.uk/news/");
    ASSERT_EQ(data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")), 0);
    data::setString(data::findField("URL:DESCRIPTION"), "BBC World Service");
    ASSERT_EQ(data::put(data::SITEDX), 0);
    data::close(data::SITEDX);
    setCurrentThread(was);

    form()->enterText(fw().description, "Mine");
    EXPECT_FALSE(pressOk()) << "back to the form";
    EXPECT_EQ(form()->text(fw().description), "BBC World Service") << "the other window's version";
    EXPECT_EQ(onDisk()["http://www.bbc.co.uk/news/"].description, "BBC World Service");
    form()->enterText(fw().rating, "9");
    ASSERT_TRUE(pressOk()) << "a second OK writes over the version now shown";
    const OnDisk after = onDisk()["http://www.bbc.co.uk/news/"];
    EXPECT_EQ(after.description, "BBC World Service");
    EXPECT_EQ(after.rating, 9);
}

// Another program holds the record: the write fails, warning 16 asks what to do.
TEST_F(LocationsWindows, FailedWriteOffersRetryStayOrGiveUp) {
    start(BrowseSITEDX);
    list().pressKey('B', 'b');
    list().pressKey('B', 'b');
    settle();
    ASSERT_EQ(highlighted(1), "BBC News");
    auto holdBbc = [] {
        if (data::share(data::SITEDX, data::kModeShared) != 0)
            return false;
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), "http://www.bbc.co.uk/news/");
        data::hold(data::SITEDX);
        return data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")) == 0;
    };
    auto other = std::make_unique<sitedex::testing::SecondProgram>(holdBbc);
    ASSERT_TRUE(other->ready());
    openForm(lw().change);
    form()->enterText(fw().description, "BBC News Online");

    // Cancel: back to the form, the edit still there.
    m_answers = {kButtonOk, kButtonCancel};
    EXPECT_FALSE(pressOk());
    EXPECT_TRUE(boxShown("Record Update Error"));
    EXPECT_EQ(form()->text(fw().description), "BBC News Online");
    // Yes tries again; once the other program has let go, the write goes through.
    m_boxes.clear();
    m_answers = {kButtonOk, kButtonYes, kButtonOk, kButtonCancel};
    EXPECT_FALSE(pressOk());
    EXPECT_EQ(m_boxes.size(), 4u) << "two failures, two questions";
    other.reset();
    EXPECT_EQ(onDisk()["http://www.bbc.co.uk/news/"].description, "BBC News");
    m_answers.clear();
    ASSERT_TRUE(pressOk());
    EXPECT_EQ(onDisk()["http://www.bbc.co.uk/news/"].description, "BBC News Online");

    // No: the form closes and nothing is written.
    openForm(lw().change);
    other = std::make_unique<sitedex::testing::SecondProgram>(holdBbc);
    ASSERT_TRUE(other->ready());
    form()->enterText(fw().description, "Not written");
    m_answers = {kButtonOk, kButtonNo};
    ASSERT_TRUE(pressOk());
    EXPECT_TRUE(boxShown("Record Update Error"));
    other.reset();
    EXPECT_EQ(onDisk()["http://www.bbc.co.uk/news/"].description, "BBC News Online");
}

TEST_F(LocationsWindows, DeleteAsksFirst) {
    start(BrowseSITEDX);
    const std::string first = highlighted(2);
    m_answers = {kButtonCancel};
    browse()->click(lw().remove);
    settle();
    EXPECT_TRUE(boxShown("Confirm Delete"));
    EXPECT_EQ(onDisk().count(first), 1u);
    m_answers = {kButtonOk};
    list().pressKey(kDeleteKey);
    settle();
    EXPECT_EQ(onDisk().count(first), 0u);
    EXPECT_NE(highlighted(2), first);
    EXPECT_EQ(form(), nullptr) << "a delete shows no form";
}

TEST_F(LocationsWindows, FormKeepsItsControlsInProportion) {
    start(BrowseSITEDX);
    openForm(lw().change);
    EXPECT_EQ(readSetting("UpdateSITEDX", "WindowScaled"), kWindowScaledSignature);
    const std::string entry = readSetting("UpdateSITEDX", "Ctrl" + std::to_string(fw().location) + "Size");
    ASSERT_EQ(entry.size(), 12u);
    const double x = std::stoi(entry.substr(0, 3)) / 1000.0, w = std::stoi(entry.substr(6, 3)) / 1000.0;
    EXPECT_GT(x, 0.1);
    EXPECT_GT(w, 0.5);
    EXPECT_EQ(readSetting("UpdateSITEDX", "Ctrl2Size"), "000000000000") << "a tab has no place of its own";

    ui::Window& f = *form();
    f.setPlacement(f.placementX(), f.placementY(), f.placementWidth() * 2, f.placementHeight() * 3 / 2);
    ASSERT_TRUE(ui::pumpEventsUntil(
        [&] { return std::abs(f.controlGeometry(fw().location).width - int(w * f.clientWidth())) <= 1; }));
    EXPECT_NEAR(f.controlGeometry(fw().location).x, int(x * f.clientWidth()), 1);
    const ui::Rect ok = f.controlGeometry(fw().ok);
    EXPECT_LE(ok.x + ok.width, f.clientWidth());
    EXPECT_LE(ok.y + ok.height, f.clientHeight());
    const int grownWidth = f.clientWidth();
    f.click(fw().cancel);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return form() == nullptr; }));

    // The next form reads the saved layout; a damaged entry leaves its control where it was designed.
    writeSetting("UpdateSITEDX", "Ctrl" + std::to_string(fw().description) + "Size", "12x");
    openForm(lw().change);
    EXPECT_EQ(form()->clientWidth(), grownWidth) << "the placement comes back";
    const ui::Rect d = form()->controlGeometry(fw().description);
    EXPECT_GT(d.width, 0);
    EXPECT_NEAR(form()->controlGeometry(fw().location).width, int(w * form()->clientWidth()), 1);
}

// ---- the browse --------------------------------------------------------------------------------

TEST_F(LocationsWindows, TabsChooseTheOrderAndKeepTheHighlightedLocation) {
    start(BrowseSITEDX);
    EXPECT_EQ(browse()->definition().title, "Browse Locations");
    EXPECT_EQ(highlighted(1), "Allrecipes") << "by description first";
    list().pressKey('P', 'p');
    settle();
    ASSERT_EQ(highlighted(1), "Python language");
    for (int tab : {2, 4, 5, 1}) {
        browse()->chooseTab(lw().sheet, tab);
        settle();
        EXPECT_EQ(highlighted(2), "http://www.python.org/") << "tab " << tab;
    }
    browse()->chooseTab(lw().sheet, 2);
    settle();
    list().pressKey(kHomeKey);
    settle();
    EXPECT_EQ(highlighted(2), "ftp://ftp.gnu.org/gnu/") << "by location";
    browse()->chooseTab(lw().sheet, 4);
    settle();
    list().pressKey(kHomeKey);
    settle();
    EXPECT_EQ(highlighted(1), "Debian GNU/Linux") << "by rating, highest first";
    browse()->chooseTab(lw().sheet, 5);
    settle();
    list().pressKey(kHomeKey);
    settle();
    EXPECT_EQ(highlighted(5), "?") << "by keyword";

    if (const char* show = std::getenv("SITEDEX_LOCATIONS_SHOW"))
        ui::pumpEventsFor(std::atoi(show));
}

TEST_F(LocationsWindows, LettersLocateInEachTabsOrder) {
    start(BrowseSITEDX);
    browse()->chooseTab(lw().sheet, 4);  // Rating, highest first
    settle();
    list().pressKey('7', '7');
    settle();
    EXPECT_EQ(list().cellText(list().selectedRow(), 4), " 7") << "@N2";
    EXPECT_EQ(highlighted(1), "Reuters");
    browse()->chooseTab(lw().sheet, 5);  // Keyword
    settle();
    list().pressKey('M', 'm');
    settle();
    EXPECT_EQ(highlighted(5), "mailto:");
    browse()->chooseTab(lw().sheet, 2);  // Location
    settle();
    list().pressKey('G', 'g');
    settle();
    EXPECT_EQ(highlighted(2), "gopher.example.org");
}

TEST_F(LocationsWindows, CategoryTabShowsThePickedCategory) {
    start(BrowseSITEDX);
    browse()->chooseTab(lw().sheet, 3);
    settle();
    // No category picked yet: the locations without one.
    EXPECT_EQ(column(1), "Letters to the editor,Old gopher server");

    // Without SelectCategories in the program, the button says so (warning 6) and nothing changes.
    browse()->click(lw().selectCategory);
    settle();
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find("SelectCategories"), std::string::npos) << m_boxes[0];
    EXPECT_EQ(column(1), "Letters to the editor,Old gopher server");

    // A pick list closed without a pick changes nothing, whatever it read meanwhile.
    int requestSeen = 0;
    registerProcedure("SelectCategories", [&] {
        requestSeen = int(CallRequest());
        CallRequest() = 0;
        data::setString(data::findField("CAT:CATEGORY"), "Weather");
        CallResponse() = ResponseCancelled;
    });
    browse()->click(lw().selectCategory);
    settle();
    EXPECT_EQ(requestSeen, int(RequestSelect));
    EXPECT_EQ(column(1), "Letters to the editor,Old gopher server");

    requestSeen = 0;
    registerProcedure("SelectCategories", [&] {
        requestSeen = int(CallRequest());
        CallRequest() = 0;
        data::setString(data::findField("CAT:CATEGORY"), "News");
        CallResponse() = ResponseCompleted;
    });
    browse()->click(lw().selectCategory);
    settle();
    EXPECT_EQ(requestSeen, int(RequestSelect));
    EXPECT_EQ(column(1), "BBC News,New York Times,Reuters");
    EXPECT_EQ(highlighted(1), "BBC News") << "from the top of the category";
    list().pressKey('R', 'r');
    settle();
    EXPECT_EQ(highlighted(1), "Reuters");

    // Insert on this tab starts with the category shown; the list stays on it after the form.
    openForm(lw().insert);
    EXPECT_EQ(form()->text(fw().category), "News");
    form()->enterText(fw().location, "http://www.apnews.com/");
    form()->enterText(fw().description, "Associated Press");
    ASSERT_TRUE(pressOk());
    settle();
    EXPECT_EQ(column(1), "Associated Press,BBC News,New York Times,Reuters");
    EXPECT_EQ(highlighted(1), "Associated Press");
    // Moving a location to another category takes it off this tab.
    openForm(lw().change);
    form()->enterText(fw().category, "Weather");
    ASSERT_TRUE(pressOk());
    settle();
    EXPECT_EQ(column(1), "BBC News,New York Times,Reuters");
}

TEST_F(LocationsWindows, ClipboardTakesTheChosenField) {
    openFile(data::SITEDX);
    addLocation("http://aaa.example.com/   ", "AAA first", "News", 6);
    data::setMemo(data::SITEDX, 0, "Notes   ");
    ASSERT_EQ(data::put(data::SITEDX), 0);
    data::closeAllFiles();
    start(BrowseSITEDX);
    ASSERT_EQ(highlighted(1), "AAA first");
    EXPECT_EQ(browse()->text(lw().clipboardChoice), "URL");
    const std::pair<const char*, const char*> cases[] = {
        {"URL", "http://aaa.example.com/"},
        {"Description", "AAA first"},
        {"Category", "News"},
        {"Keyword", ""},
        {"Rating", "6"},
        {"Site Information", "Notes"},
    };
    for (auto [choice, expected] : cases) {
        ui::setClipboardText("untouched");
        browse()->enterText(lw().clipboardChoice, choice);
        browse()->click(lw().toClipboard);
        settle();
        EXPECT_EQ(ui::clipboardText(), expected) << choice;
    }
}

TEST_F(LocationsWindows, ListFormatIsKeptInTheSettings) {
    start(BrowseSITEDX);
    std::string format = list().format();
    EXPECT_EQ(format, kLocationsListFormat);
    format.replace(0, 3, "150");
    list().setFormat(format);
    browse()->click(lw().close);
    ASSERT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));
    EXPECT_EQ(readSetting("BrowseSITEDX", "?Browse:1"), format);
    start(BrowseSITEDX);
    EXPECT_EQ(list().format(), format);
    browse()->click(lw().close);
    ASSERT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));

    // A format that does not describe the five columns is not applied.
    writeSetting("BrowseSITEDX", "?Browse:1", "20L~Only~@s5@");
    start(BrowseSITEDX);
    EXPECT_EQ(list().format(), kLocationsListFormat);
    EXPECT_EQ(list().columnCount(), 5);
}

TEST_F(LocationsWindows, ResizingScalesTheControlsAndTheRowsThatFit) {
    start(BrowseSITEDX);
    ui::Window& w = *browse();
    const ui::Rect list0 = w.controlGeometry(lw().list);
    const ui::Rect close0 = w.controlGeometry(lw().close);
    const int width0 = w.clientWidth(), height0 = w.clientHeight();
    const int rows0 = list().visibleRows();
    w.setPlacement(w.placementX(), w.placementY(), w.placementWidth() * 3 / 2, w.placementHeight() * 2);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return w.controlGeometry(lw().list).height > list0.height; }));
    settle();
    const double rx = double(w.clientWidth()) / width0, ry = double(w.clientHeight()) / height0;
    const ui::Rect list1 = w.controlGeometry(lw().list);
    EXPECT_NEAR(list1.width, list0.width * rx, 2);
    EXPECT_NEAR(list1.height, list0.height * ry, 2);
    const ui::Rect close1 = w.controlGeometry(lw().close);
    // A button keeps its size and stands at the side of its share nearer the window's edge.
    EXPECT_EQ(close1.width, close0.width);
    EXPECT_EQ(close1.height, close0.height);
    EXPECT_NEAR(close1.x + close1.width, (close0.x + close0.width) * rx, 2);
    EXPECT_LE(close1.x + close1.width, w.clientWidth());
    EXPECT_GT(list().visibleRows(), rows0);
    EXPECT_EQ(list().rowCount(), std::min<int>(list().visibleRows(), int(std::size(kSites))));
}

TEST_F(LocationsWindows, CategoryBrowseShowsOneCategoryAndKeepsIt) {
    start(+[] {
        data::setString(data::findField("CAT:CATEGORY"), "Software");
        BrowseURL_K_Category();
    });
    const CategoryLocationsWindow& cw = categoryLocationsWindow();
    EXPECT_EQ(browse()->definition().title, "Browse Location by Category");
    EXPECT_EQ(browse()->text(cw.category), "Software");
    EXPECT_EQ(column(1), "http://www.debian.org/,ftp://ftp.gnu.org/gnu/") << "by description";
    openForm(cw.insert);
    EXPECT_EQ(form()->text(fw().category), "Software");
    form()->enterText(fw().location, "http://www.freebsd.org/");
    form()->enterText(fw().description, "FreeBSD");
    ASSERT_TRUE(pressOk());
    settle();
    EXPECT_EQ(highlighted(1), "http://www.freebsd.org/");
    openForm(cw.change);
    form()->enterText(fw().category, "Programming");
    ASSERT_TRUE(pressOk());
    settle();
    EXPECT_EQ(column(1), "http://www.debian.org/,ftp://ftp.gnu.org/gnu/");
    EXPECT_EQ(browse()->text(cw.category), "Software");
}

// ---- the program ---------------------------------------------------------------------------------

TEST_F(LocationsWindows, TheBrowseOpensWhenTheSplashClosesOverAnEmptyDirectory) {
    fs::remove(m_dir.file("URL_L.VLX"));
    fs::remove(m_dir.file("URL_C.VLX"));
    shell::registerApplicationProcedures();
    ASSERT_TRUE(ui::startFrameProcedure(shell::Main));
    ASSERT_TRUE(ui::pumpEventsUntil([] { return ui::frameWindow() != nullptr; }));
    int splash = 0;
    ASSERT_TRUE(ui::pumpEventsUntil([&] {
        for (int t = 2; t <= kThreadSlots; ++t)
            if (threadInUse(t) && threadSlot(t).procedure == "Splash" && ui::currentWindow(t))
                splash = t;
        return splash != 0;
    }));
    ui::postEvent(kEventCloseWindow, 0, splash);  // as a click on the splash would
    ui::Window* opened = nullptr;
    ASSERT_TRUE(ui::pumpEventsUntil([&] {
        for (int t = 2; t <= kThreadSlots && !opened; ++t)
            if (ui::Window* w = ui::currentWindow(t); w && w->definition().title == "Browse Locations")
                opened = w;
        return opened != nullptr;
    }));
    EXPECT_TRUE(fs::exists(m_dir.file("URL_L.VLX")));
    EXPECT_TRUE(fs::exists(m_dir.file("URL_C.VLX")));
    settle();
    EXPECT_EQ(ui::ListControl(*opened, lw().list).rowCount(), 0);
    ui::requestCloseDown();
    EXPECT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));
}

}  // namespace
}  // namespace sitedex::app::maintenance
