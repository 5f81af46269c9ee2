// The "Monitor Clipboard" window on the offscreen platform, over real data files: the question at
// opening, texts copied while it is open, the status line, Exit. (clipboard_x11_test.cpp copies from
// another program into a real X clipboard.)
#include <gtest/gtest.h>

#include <deque>

#include "app/clipboard/monitor_clipboard.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "tests/app/browse_fixture.h"
#include "tests/app/maintenance_fixture.h"
#include "ui/clipboard.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::clipboard {
namespace {

using namespace runtime;
using Rows = std::vector<std::string>;

class Monitor : public maintenance::testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box.caption + ": " + box.text);
            if (m_answers.empty())
                return 0;  // left open
            int a = m_answers.front();
            m_answers.pop_front();
            return a;
        });
        ui::setClipboardText("");
    }
    void TearDown() override {
        ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) { return b.defaultButton; });
        for (const auto& box : ui::openMessageBoxes())
            ui::answerMessageBox(box.thread, box.defaultButton);
        if (m_thread && ui::threadRunning(m_thread))
            ui::postEvent(kEventCloseWindow, 0, m_thread);
        EXPECT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));
        ui::setMessageBoxResponder(nullptr);
        setCurrentThread(1);
        DataDirTest::TearDown();
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }
    void start() {
        m_thread = ui::startProcedure(MonitorClipboard, 25000, "MonitorClipboard");
        ASSERT_NE(m_thread, 0);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return window() != nullptr; }));
    }
    ui::Window* window() { return ui::currentWindow(m_thread); }
    std::string status() { return window() ? window()->text(monitorWindow().status) : "(closed)"; }
    Rows locations() {
        Rows rows = sitedex::testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION"});
        return rows;
    }
    bool waitForLocations(size_t n) {
        return ui::pumpEventsUntil([&] { return locations().size() >= n; }, 2000);
    }

    int m_thread = 0;
    std::vector<std::string> m_boxes;
    std::deque<int> m_answers;
};

TEST_F(Monitor, TextsCopiedWhileOpenAreAddedWithARunningCount) {
    start();
    ui::pumpEventsFor(300);
    EXPECT_TRUE(m_boxes.empty());  // an empty clipboard asks nothing
    EXPECT_EQ(window()->definition().title, "Monitor Clipboard");
    EXPECT_EQ(window()->timer(), 25);

    ui::setClipboardText("<a href=\"http://a.example/\">A</a> <a href=\"http://b.example/\">B</a>");
    ASSERT_TRUE(waitForLocations(2));
    EXPECT_TRUE(ui::pumpEventsUntil([&] { return status() == "Added 2:  http://b.example/"; }, 1000)) << status();

    ui::setClipboardText("and www.c.example too");
    ASSERT_TRUE(waitForLocations(3));
    EXPECT_TRUE(ui::pumpEventsUntil([&] { return status() == "Added 3:  http://www.c.example"; }, 1000)) << status();
    // The same text copied again, or a copy of what is here already, adds nothing.
    ui::setClipboardText("HTTP://A.EXAMPLE/");
    ui::pumpEventsFor(600);
    EXPECT_EQ(locations().size(), 3u);
    EXPECT_EQ(status(), "Added 3:  http://www.c.example");
    EXPECT_EQ(ui::clipboardText(), "HTTP://A.EXAMPLE/");  // never changed by the monitor

    // The status line holds 80 characters of a long address.
    const std::string longAddress = "http://long.example/" + std::string(200, 'p');
    ui::setClipboardText(longAddress);
    ASSERT_TRUE(waitForLocations(4));
    EXPECT_TRUE(ui::pumpEventsUntil([&] { return status() == ("Added 4:  " + longAddress).substr(0, 80); }, 1000))
        << status();

    window()->click(monitorWindow().exit);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
    EXPECT_NE(readSetting("MonitorClipboard", "Width", "none"), "none");
}

TEST_F(Monitor, TheTextFoundAtOpeningIsTakenOnlyWhenTheAnswerIsNo) {
    struct Answer {
        int button;
        size_t added;
    } answers[] = {{kButtonYes, 0}, {kButtonNo, 1}};
    for (const Answer& a : answers) {
        ui::setClipboardText("http://waiting.example/ found at opening");
        m_boxes.clear();
        m_answers = {a.button};
        start();
        ui::pumpEventsFor(700);  // a few ticks: an ignored text is not taken later either
        ASSERT_EQ(m_boxes, Rows{"Clipboard Contains Data: Ignore current clipboard contents?"});
        EXPECT_EQ(locations().size(), a.added) << a.button;
        ui::postEvent(kEventCloseWindow, 0, m_thread);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
    }
}

TEST_F(Monitor, ALongCopyIsTakenOnBitByBitAndExitStillAnswers) {
    start();
    std::string list;
    for (int i = 0; i < 20000; ++i)
        list += "http://n" + std::to_string(i) + ".example/\n";
    ui::setClipboardText(list);
    // The first locations show up while the copy is still being taken; Exit closes the window at
    // once, and what was added stays.
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return status().rfind("Added ", 0) == 0; }, 2000));
    window()->click(monitorWindow().exit);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }, 1000));
    const size_t added = locations().size();
    EXPECT_GT(added, 0u);
    EXPECT_LT(added, 20000u);
}

}  // namespace
}  // namespace sitedex::app::clipboard
