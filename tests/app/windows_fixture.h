#pragma once
// Real windows (offscreen) over real data files, for the tests of what a user does with the windows:
// procedures run on threads of their own as the frame would start them, message boxes are answered
// by caption (the default button when the test gave no answer), the built program can be run as a
// second program on the same data folder, and the files are read back through an instance of
// another thread so the test sees what is on disk.

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/maintenance/browse_categories.h"
#include "app/maintenance/browse_sitedx.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "tests/app/browse_fixture.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::maintenance::testing {

class WindowsTest : public DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        ui::ensureApplication();
        ui::installWindowHooks();  // the real boxes, answered below
        ui::setPopupResponder(nullptr);
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box);
            auto it = m_answers.find(box.caption);
            if (it == m_answers.end() || it->second.empty())
                return box.defaultButton ? box.defaultButton : int(runtime::kButtonOk);
            int answer = it->second.front();
            it->second.erase(it->second.begin());
            return answer;
        });
        registerLocationProcedures();
        registerCategoryProcedures();
    }
    void TearDown() override {
        m_answers.clear();
        ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) { return b.defaultButton ? b.defaultButton : 1; });
        // Forms close before the lists that called them: one window at a time.
        for (int round = 0; round < 8 && ui::runningThreads() > 0; ++round) {
            for (int t = 2; t <= runtime::kThreadSlots; ++t)
                if (ui::threadRunning(t))
                    ui::postEvent(runtime::kEventCloseWindow, 0, t);
            ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }, 1000);
        }
        EXPECT_EQ(ui::runningThreads(), 0);
        ui::setMessageBoxResponder(nullptr);
        ui::setPopupResponder(nullptr);
        for (const char* name : {"BrowseSITEDX", "BrowseURL:K_Category", "UpdateSITEDX", "SelectCategories",
                                 "BrowseCategories", "UpdateCategories", "UpdateCatHTML", "UpdateCategoriesNoMDI"})
            runtime::unregisterProcedure(name);
        runtime::setCurrentThread(1);
        DataDirTest::TearDown();
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }

    // Starts a procedure on a thread of its own, as a menu command would.
    int start(std::function<void()> procedure) {
        const int t = ui::startProcedure(std::move(procedure), 0, "WindowsTest");
        EXPECT_NE(t, 0);
        return t;
    }
    // The window the thread shows now, once it is the one named (nullptr after the wait).
    ui::Window* windowOf(int thread, const std::string& name, int timeout = 5000) {
        ui::Window* found = nullptr;
        ui::pumpEventsUntil(
            [&] {
                ui::Window* w = ui::currentWindow(thread);
                if (w && w->definition().name == name)
                    found = w;
                return found != nullptr;
            },
            timeout);
        if (found)
            settle();
        return found;
    }
    bool showing(int thread, const std::string& name) {
        ui::Window* w = ui::currentWindow(thread);
        return w && w->definition().name == name;
    }
    void settle() { ui::pumpEventsFor(80); }

    static std::string column(ui::ListControl l, int c = 1) {
        std::string s;
        for (int r = 1; r <= l.rowCount(); ++r)
            s += (r > 1 ? "," : "") + l.cellText(r, c);
        return s;
    }
    // Highlights the row showing `text` in column `c`; false when no row does.
    static bool clickRowShowing(ui::ListControl l, const std::string& text, int c = 1) {
        for (int r = 1; r <= l.rowCount(); ++r)
            if (l.cellText(r, c) == text) {
                l.clickRow(r);
                return true;
            }
        return false;
    }

    // Runs the built program on this data folder: `sitedex ARGS --data-dir DIR`; the exit code, with
    // standard output and error in `output`.
    int sitedex(const std::string& args, std::string* output = nullptr) {
        std::string cmd = std::string(SITEDEX_BINARY) + " " + args + " --data-dir '" + m_dir.path() + "' 2>&1";
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p)
            return -1;
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        int status = ::pclose(p);
        if (output)
            *output = out;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Every record of a file as "field|field|...", in record order, read through thread 60's own
    // instance; memos are named like fields.
    std::vector<std::string> onDisk(data::FileDecl& file, std::vector<const char*> fields) {
        std::vector<std::string> rows;
        const int was = runtime::currentThread();
        runtime::setCurrentThread(60);
        EXPECT_EQ(data::share(file, data::kModeShared), 0);
        EXPECT_EQ(data::set(file), 0);
        while (data::next(file) == 0) {
            std::string row;
            for (const char* name : fields) {
                std::string value;
                if (const data::FieldDecl* f = file.findField(name))
                    value = data::getString(*f, file.record());
                else
                    value = file.memo(size_t(file.findMemo(name)));
                while (!value.empty() && value.back() == ' ')
                    value.pop_back();
                row += (row.empty() ? "" : "|") + value;
            }
            rows.push_back(row);
        }
        data::close(file);
        runtime::setCurrentThread(was);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    bool boxShown(const std::string& caption) const {
        for (const auto& b : m_boxes)
            if (b.caption == caption)
                return true;
        return false;
    }
    std::string boxes() const {
        std::string s;
        for (const auto& b : m_boxes)
            s += "[" + b.caption + ": " + b.text + "] ";
        return s;
    }

    std::vector<ui::MessageBoxInfo> m_boxes;
    std::map<std::string, std::vector<int>> m_answers;  // by caption, in turn
};

}  // namespace sitedex::app::maintenance::testing
