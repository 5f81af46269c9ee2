// What the forms take from the keyboard, with real key events (offscreen): every way of accepting a
// form takes the field being edited.

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
        return windowOf(m_thread, kForm);
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

}  // namespace
}  // namespace sitedex::app::maintenance
