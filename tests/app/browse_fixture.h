#pragma once
// A list box without a window for the browse engine's tests: it records what the engine shows and
// queues what it posts, and pump() hands the queued events back to the engine as a window procedure
// would. The data files are real record files in a fresh temporary directory.

#include <unistd.h>

#include <deque>
#include <string>
#include <vector>

#include "app/maintenance/browse.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::app::maintenance::testing {

struct FakeList : ListHost {
    int rows = 5;
    int selected = 0;
    bool bar = false;
    int thumbAt = 0;
    std::vector<std::vector<std::string>> shown;
    struct Posted {
        int event;
        int button;  // -1 for the list, -2 for the window
    };
    std::deque<Posted> posted;
    std::vector<std::string> menus;
    int menuAnswer = 0;
    bool changeEnabled = true, deleteEnabled = true;
    bool closePosted = false;
    int cursorDepth = 0;

    int visibleRows() override { return rows; }
    int selectedRow() override { return selected; }
    void setSelectedRow(int row) override { selected = row; }
    bool scrollBarShown() override { return bar; }
    void showScrollBar(bool s) override { bar = s; }
    int thumb() override { return thumbAt; }
    void setThumb(int p) override { thumbAt = p; }
    void showRows(const std::vector<std::vector<std::string>>& r, int sel) override {
        shown = r;
        selected = sel;
    }
    void postToList(int event) override { posted.push_back({event, -1}); }
    void postAccepted(BrowseButton b) override { posted.push_back({runtime::kEventAccepted, int(b)}); }
    void postCloseWindow() override {
        closePosted = true;
        posted.push_back({runtime::kEventCloseWindow, -2});
    }
    void enableButton(BrowseButton b, bool on) override {
        if (b == BrowseButton::kChange) changeEnabled = on;
        if (b == BrowseButton::kDelete) deleteEnabled = on;
    }
    void focusList() override {}
    void setWaitCursor(bool on) override { cursorDepth += on ? 1 : -1; }
    int popupMenu(const std::string& items) override {
        menus.push_back(items);
        return menuAnswer;
    }

    // Hands the queued events to the engine; the window events stop there (the test looks at them).
    void pump(BrowseEngine& e) {
        for (int guard = 0; guard < 1000 && !posted.empty(); ++guard) {
            Posted p = posted.front();
            posted.pop_front();
            if (p.button == -2) continue;
            runtime::setCurrentEvent(p.event, 1, runtime::keyCode(), 0);
            if (p.button == -1) {
                e.listEvent(p.event);
            } else {
                switch (BrowseButton(p.button)) {
                    case BrowseButton::kSelect: e.select(); break;
                    case BrowseButton::kInsert: e.insert(); break;
                    case BrowseButton::kChange: e.change(); break;
                    case BrowseButton::kDelete: e.remove(); break;
                }
            }
        }
    }
    // A list event as the list box raises it (selection by the user, a key, a scroll action).
    void raise(BrowseEngine& e, int event, int key = 0, int character = 0) {
        runtime::setCurrentEvent(event, 1, key, character);
        e.listEvent(event);
        pump(e);
    }
    std::string shownText(size_t column = 0) const {
        std::string s;
        for (const auto& r : shown) s += (s.empty() ? "" : ",") + r.at(column);
        return s;
    }
    std::string highlighted(size_t column = 0) const {
        return selected >= 1 && size_t(selected) <= shown.size() ? shown[size_t(selected - 1)].at(column) : "";
    }
};

// What a called procedure does at entry: take the request, reset both variables.
inline int takeCallRequest() {
    int r = int(runtime::CallRequest());
    runtime::CallRequest() = 0;
    runtime::CallResponse() = 0;
    return r;
}

// Warnings shown meanwhile (the message box hook writes them here and answers OK).
inline std::vector<std::string>& shownBoxes() {
    static std::vector<std::string> boxes;
    return boxes;
}
inline int recordBox(std::string_view text, std::string_view caption, int, int, int) {
    shownBoxes().push_back(std::string(caption) + ": " + std::string(text));
    return runtime::kButtonOk;
}

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        runtime::setCurrentEvent(0, 0, 0, 0);
        shownBoxes().clear();
        m_oldHook = runtime::setMessageBoxHook(recordBox);
    }
    void TearDown() override {
        data::closeAllFiles();
        runtime::setMessageBoxHook(m_oldHook);
        ASSERT_EQ(::chdir(m_old), 0);
    }
    static void openFile(data::FileDecl& f) {
        if (data::share(f, data::kModeShared) != 0) {
            ASSERT_EQ(data::create(f), 0);
            ASSERT_EQ(data::share(f, data::kModeShared), 0);
        }
    }
    static void addCategory(const std::string& name, const std::string& description = {}) {
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), name);
        data::Categories.memo(0) = description.empty() ? "About " + name : description;
        ASSERT_EQ(data::add(data::Categories), 0) << name;
    }
    static void addLocation(const std::string& location, const std::string& description, const std::string& category,
                            double rating = 0) {
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), location);
        data::setString(data::findField("URL:DESCRIPTION"), description);
        data::setString(data::findField("URL:CATEGORY"), category);
        data::setNumber(data::findField("URL:RATING"), rating);
        ASSERT_EQ(data::add(data::SITEDX), 0) << location;
    }

    sitedex::testing::TempDir m_dir;
    char m_old[4096];
    runtime::MessageBoxHook m_oldHook = nullptr;
};

}  // namespace sitedex::app::maintenance::testing
