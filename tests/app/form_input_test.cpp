// What the forms take from the keyboard and the clipboard, with real key events (offscreen): every
// way of accepting a form takes the field being edited, entries never hold more bytes than their
// field (and never half a character), and a location is never saved without an address.

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/maintenance/update_categories.h"
#include "app/maintenance/update_sitedx.h"
#include "tests/app/keyboard.h"
#include "tests/app/windows_fixture.h"
#include "ui/clipboard.h"

namespace sitedex::app::maintenance {
namespace {

using namespace runtime;
using sitedex::testing::clickWidget;
using sitedex::testing::focusedWidget;
using sitedex::testing::pressKey;
using sitedex::testing::typeText;

constexpr const char* kForm = "UPDATESITEDX$WINDOW";

// Whole UTF-8 characters only (no cut inside one).
bool wholeUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size())).toUtf8().toStdString() == s;
}

class FormInput : public testing::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        openFile(data::Categories);
        openFile(data::SITEDX);
        addCategory("News");
        addCategory("Software");
        addLocation("http://www.reuters.com/", "Reuters", "News", 7);
        data::closeAllFiles();
    }
    static const LocationFormWindow& fw() { return locationFormWindow(); }

    // Opens the location form on a thread of its own: insert, or change of the address given.
    ui::Window* openForm(int request, const std::string& location = {}) {
        m_thread = start([request, location] {
            data::useFile(data::SITEDX);
            data::SITEDX.clear();
            if (request == RequestChange) {
                data::setString(data::findField("URL:LOCATION"), location);
                data::watch(data::SITEDX);
                data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION"));
            }
            CallRequest() = request;
            UpdateSITEDX();
            data::releaseFile(data::SITEDX);
        });
        ui::Window* w = windowOf(m_thread, kForm);
        if (w)
            ui::activateWindow(*w);  // whatever the windows of earlier tests did with the focus
        return w;
    }
    bool formClosed() { return ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }, 1500); }
    // Puts the cursor in a field as a click would, and types.
    void typeInto(ui::Window& w, int control, const std::string& text) {
        w.focus(control);
        ui::pumpEventsFor(20);
        ASSERT_EQ(focusedWidget(), ui::widgetOfControl(w, control));
        ASSERT_TRUE(pressKey(Qt::Key_A, Qt::ControlModifier));  // what was there is replaced
        ASSERT_TRUE(typeText(text));
    }
    std::vector<std::string> locations() {
        return onDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:KEYWORD"});
    }

    int m_thread = 0;
};

enum class Accept { kAccelerator, kEnter, kMouse };
const std::pair<Accept, const char*> kAccepts[] = {
    {Accept::kAccelerator, "Alt+O"}, {Accept::kEnter, "Enter"}, {Accept::kMouse, "mouse on OK"}};

void accept(ui::Window& w, int ok, Accept how) {
    switch (how) {
        case Accept::kAccelerator: pressKey(Qt::Key_O, Qt::AltModifier); break;
        case Accept::kEnter: pressKey(Qt::Key_Return); break;
        case Accept::kMouse: clickWidget(ui::widgetOfControl(w, ok)); break;
    }
}

TEST_F(FormInput, EveryWayOfAcceptingTakesTheFieldBeingEdited) {
    for (const auto& [how, name] : kAccepts) {
        SCOPED_TRACE(name);
        // Insert: the keyword is typed last, the cursor still in it.
        ui::Window* w = openForm(RequestInsert);
        ASSERT_NE(w, nullptr);
        const std::string url = std::string("https://") + (how == Accept::kMouse ? "mouse" : how == Accept::kEnter ? "enter" : "alt") + ".example/";
        typeInto(*w, fw().location, url);
        typeInto(*w, fw().description, std::string("Typed for ") + name);
        typeInto(*w, fw().category, "Software");
        typeInto(*w, fw().keyword, "mine");
        accept(*w, fw().ok, how);
        ASSERT_TRUE(formClosed()) << boxes();
        const auto rows = locations();
        EXPECT_NE(std::find(rows.begin(), rows.end(), url + "|Typed for " + name + "|Software|mine"), rows.end())
            << ::testing::PrintToString(rows);

        // Change: the description is typed last.
        w = openForm(RequestChange, "http://www.reuters.com/");
        ASSERT_NE(w, nullptr);
        typeInto(*w, fw().description, std::string("Reuters via ") + name);
        accept(*w, fw().ok, how);
        ASSERT_TRUE(formClosed()) << boxes();
        const auto after = locations();
        EXPECT_NE(std::find(after.begin(), after.end(),
                            std::string("http://www.reuters.com/|Reuters via ") + name + "|News|"),
                  after.end())
            << ::testing::PrintToString(after);
    }
    EXPECT_TRUE(m_boxes.empty()) << boxes();
}

TEST_F(FormInput, TheCategoryFormTakesTheNameBeingTyped) {
    for (const auto& [how, name] : kAccepts) {
        SCOPED_TRACE(name);
        const int t = start([] {
            data::useFile(data::Categories);
            data::Categories.clear();
            CallRequest() = RequestInsert;
            UpdateCategories();
            data::releaseFile(data::Categories);
        });
        CategoryFormFields dummy;
        const UpdateCategoriesWindow cw = updateCategoriesWindow(dummy, true);
        ui::Window* w = windowOf(t, cw.def.name);
        ASSERT_NE(w, nullptr);
        const std::string category = std::string("Typed ") + (how == Accept::kMouse ? "mouse" : how == Accept::kEnter ? "enter" : "alt");
        w->focus(cw.category);
        ui::pumpEventsFor(20);
        ASSERT_TRUE(typeText(category));
        accept(*w, cw.ok, how);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(t); }, 1500)) << boxes();
        const auto names = onDisk(data::Categories, {"CAT:CATEGORY"});
        EXPECT_NE(std::find(names.begin(), names.end(), category), names.end()) << ::testing::PrintToString(names);
        EXPECT_EQ(std::count(names.begin(), names.end(), ""), 0) << "no category without a name";
    }
}

// Pasted or typed text never goes past what the field holds: the entry stops at the limit (in bytes
// of UTF-8, at a character's end), and what is saved is what the entry showed.
TEST_F(FormInput, EntriesHoldNoMoreThanTheirFieldAndSaveWhatTheyShow) {
    const std::string longAddress = "https://example.com/" + std::string(300, 'a');             // 320 bytes
    std::string cyrillic = "https://пример.рф/";
    while (cyrillic.size() < 290)
        cyrillic += "ж";                                                                          // 2 bytes each
    const std::string keyword = "blogkeyword_too_long_for_10";
    std::string siteInfo;
    while (siteInfo.size() < 1200)
        siteInfo += "Сведения о сайте. ";
    struct Case {
        const char* what;
        int control;
        std::string text;
        bool paste;
        size_t limit;
    };
    const Case cases[] = {
        {"ASCII address pasted", fw().location, longAddress, true, 255},
        {"Cyrillic address pasted", fw().location, cyrillic, true, 255},
        {"keyword typed", fw().keyword, keyword, false, 10},
        {"description pasted", fw().description, std::string(150, 'd'), true, 100},
        {"category typed", fw().category, std::string(40, 'c'), false, 30},
        {"site information pasted", fw().siteInfo, siteInfo, true, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui::Window* w = openForm(RequestChange, "http://www.reuters.com/");
        ASSERT_NE(w, nullptr);
        if (c.control == fw().siteInfo)
            w->chooseTab(fw().sheet, 2);
        settle();
        w->focus(c.control);
        ui::pumpEventsFor(20);
        ASSERT_TRUE(pressKey(Qt::Key_A, Qt::ControlModifier));
        if (c.paste) {
            ui::setClipboardText(c.text);
            ASSERT_TRUE(pressKey(Qt::Key_V, Qt::ControlModifier));
        } else {
            ASSERT_TRUE(typeText(c.text));
        }
        const std::string shown = w->text(c.control);
        EXPECT_LE(shown.size(), c.limit);
        EXPECT_GT(shown.size() + 4, c.limit) << "filled up to the limit";
        EXPECT_TRUE(wholeUtf8(shown));
        EXPECT_EQ(c.text.compare(0, shown.size(), shown), 0) << "the start of what was given";
        // One more character at the end is refused, not cut elsewhere.
        ASSERT_TRUE(pressKey(Qt::Key_End, Qt::ControlModifier));
        ASSERT_TRUE(typeText("Ж"));
        EXPECT_EQ(w->text(c.control), shown);
        if (c.control == fw().category) {
            w->click(fw().cancel);  // not a category on file
        } else {
            w->click(fw().ok);
        }
        ASSERT_TRUE(formClosed()) << boxes();
        if (c.control == fw().category)
            continue;
        const auto rows = onDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:KEYWORD", "URL:SITEINFO"});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_NE(rows[0].find(shown), std::string::npos) << "saved as shown";
        // Put the record back for the next case.
        data::closeAllFiles();
        std::filesystem::remove(m_dir.file("URL_L.VLX"));
        openFile(data::SITEDX);
        addLocation("http://www.reuters.com/", "Reuters", "News", 7);
        data::closeAllFiles();
    }
    EXPECT_TRUE(m_boxes.empty()) << boxes();
}

TEST_F(FormInput, ABlankAddressIsRefusedAndTheFormStays) {
    struct Case {
        const char* what;
        int request;
        const char* address;
    };
    for (const Case& c : {Case{"insert without an address", RequestInsert, ""},
                          Case{"insert with blanks only", RequestInsert, "   "},
                          Case{"change that blanks the address", RequestChange, ""}}) {
        SCOPED_TRACE(c.what);
        m_boxes.clear();
        const auto before = locations();
        ui::Window* w = openForm(c.request, "http://www.reuters.com/");
        ASSERT_NE(w, nullptr);
        w->enterText(fw().location, c.address);
        w->enterText(fw().description, "No address");
        w->enterText(fw().category, "News");
        settle();
        w->click(fw().ok);
        settle();
        EXPECT_TRUE(boxShown("Location Required")) << boxes();
        EXPECT_TRUE(showing(m_thread, kForm)) << "back in the form";
        QWidget* location = ui::widgetOfControl(*w, fw().location);
        EXPECT_EQ(location->window()->focusWidget(), location) << "the focus is back on the address";
        EXPECT_EQ(locations(), before);
        w->click(fw().cancel);
        ASSERT_TRUE(formClosed());
    }
}

}  // namespace
}  // namespace sitedex::app::maintenance
