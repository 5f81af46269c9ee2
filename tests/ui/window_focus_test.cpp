// Where the keyboard goes when windows come and go (offscreen): a dialog over one of two child
// windows of the frame gives the focus back to that child, not to the other one; a window of its
// own that closes last on its thread gives the keyboard back to the frame. And the bars of a window
// that is not the frame: its own menu, status zones and menu check marks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

#include "runtime/events.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"
#include "ui/window_chrome.h"
#include "ui/window_private.h"

namespace sitedex::ui {
namespace {

using namespace runtime;

WindowDef frameDef() {
    WindowDef d;
    d.name = "FRAME$TEST";
    d.title = "Frame";
    d.kind = WindowKind::kFrame;
    d.width = 400;
    d.height = 300;
    d.addMenu(0, "&File");
    return d;
}

WindowDef childDef(const char* name) {
    WindowDef d;
    d.name = name;
    d.title = name;
    d.kind = WindowKind::kMdiChild;
    d.width = 160;
    d.height = 80;
    d.addEntry(nullptr, {8, 8, 100, 12});
    d.addButton("Open", {8, 30, 40, 14});
    return d;
}

WindowDef dialogDef() {
    WindowDef d;
    d.name = "DIALOG$TEST";
    d.title = "Dialog";
    d.kind = WindowKind::kDialog;
    d.width = 100;
    d.height = 40;
    d.addButton("OK", {30, 12, 40, 14}, true);
    return d;
}

class WindowFocus : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
    void TearDown() override {
        for (int round = 0; round < 5 && runningThreads() > 0; ++round) {
            for (int t = 1; t <= kThreadSlots; ++t)
                if (threadRunning(t))
                    postEvent(kEventCloseWindow, 0, t);
            pumpEventsUntil([] { return runningThreads() == 0; }, 2000);
        }
    }
    // A procedure with one window that lives until it is closed; `opened` tells when it is up.
    static std::function<void()> keepOpen(WindowDef def, Window** opened) {
        return [def, opened] {
            Window w(def);
            *opened = &w;
            while (w.waitForEvent()) {
                if (currentEvent() == kEventAccepted && acceptedControl() == 2) {
                    // "Open": a dialog over this window, on this thread, until its OK.
                    Window dialog(dialogDef());
                    while (dialog.waitForEvent())
                        if (currentEvent() == kEventAccepted)
                            dialog.post(kEventCloseWindow);
                }
            }
            *opened = nullptr;
        };
    }
};

TEST_F(WindowFocus, ADialogOverAChildWindowGivesTheFocusBackToThatChild) {
    Window *frame = nullptr, *a = nullptr, *b = nullptr;
    ASSERT_TRUE(startFrameProcedure(keepOpen(frameDef(), &frame)));
    ASSERT_TRUE(pumpEventsUntil([&] { return frame != nullptr; }));
    const int ta = startProcedure(keepOpen(childDef("A"), &a));
    ASSERT_TRUE(pumpEventsUntil([&] { return a != nullptr; }));
    const int tb = startProcedure(keepOpen(childDef("B"), &b));
    ASSERT_TRUE(pumpEventsUntil([&] { return b != nullptr; }));
    pumpEventsFor(50);
    QMdiArea* area = frame->internals()->frame->area();
    area->setActiveSubWindow(b->internals()->sub);
    b->focus(1);
    pumpEventsFor(50);
    ASSERT_EQ(area->activeSubWindow(), b->internals()->sub.data());

    b->click(2);  // B opens its dialog: B is disabled meanwhile
    ASSERT_TRUE(
        pumpEventsUntil([&] { return currentWindow(tb) && currentWindow(tb)->definition().name == "DIALOG$TEST"; }));
    pumpEventsFor(50);
    EXPECT_NE(area->activeSubWindow(), a->internals()->sub.data()) << "A must not come to the front behind the dialog";
    currentWindow(tb)->click(1);
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(tb) == b; }));
    pumpEventsFor(50);
    EXPECT_EQ(area->activeSubWindow(), b->internals()->sub.data());
    EXPECT_TRUE(b->internals()->client->isAncestorOf(QApplication::focusWidget()));
    (void)ta;
}

TEST_F(WindowFocus, AWindowOfItsOwnClosingLastOnItsThreadHandsTheKeyboardToTheFrame) {
    Window *frame = nullptr, *dialog = nullptr;
    ASSERT_TRUE(startFrameProcedure(keepOpen(frameDef(), &frame)));
    ASSERT_TRUE(pumpEventsUntil([&] { return frame != nullptr; }));
    const int t = startProcedure(keepOpen(dialogDef(), &dialog));
    ASSERT_TRUE(pumpEventsUntil([&] { return dialog != nullptr; }));
    pumpEventsFor(50);
    dialog->internals()->client->activateWindow();
    pumpEventsFor(50);
    if (QApplication::activeWindow() != dialog->internals()->client.data())
        GTEST_SKIP() << "this platform does not move the active window";
    postEvent(kEventCloseWindow, 0, t);
    ASSERT_TRUE(pumpEventsUntil([&] { return !threadRunning(t); }));
    pumpEventsFor(50);
    EXPECT_EQ(QApplication::activeWindow(), frame->internals()->frame.data());
}

TEST_F(WindowFocus, AWindowOfItsOwnHasItsMenuBarStatusZonesAndCheckMarks) {
    Window* w = nullptr;
    WindowDef d;
    d.name = "BARS$TEST";
    d.kind = WindowKind::kDialog;
    d.width = 200;
    d.height = 100;
    d.statusBar = true;
    const int menu = d.addMenu(0, "&View");
    const int item = d.addItem(menu, "&Next", "Shows the next one");
    const int button = d.addButton("Button", {0, 0, 40, 14});
    std::vector<int> accepted;
    const int t = startProcedure([&] {
        Window window(d);
        w = &window;
        while (window.waitForEvent())
            if (currentEvent() == kEventAccepted)
                accepted.push_back(acceptedControl());
        w = nullptr;
    });
    ASSERT_TRUE(pumpEventsUntil([&] { return w != nullptr; }));
    pumpEventsFor(30);
    // The controls keep their designed places below the menu bar; the client size leaves the bars out.
    EXPECT_EQ(w->controlGeometry(button).y, 0);
    const int barsHeight = w->internals()->client->height() - w->clientHeight();
    EXPECT_GT(barsHeight, 10);
    QWidget* buttonWidget = w->internals()->widgetOf(button);
    EXPECT_GE(buttonWidget->y(), barsHeight / 3) << "not under the menu bar";
    w->click(item);
    pumpEventsFor(30);
    EXPECT_EQ(accepted, std::vector<int>{item});
    setStatusZone(*w, 3, "third");
    setStatusZone(*w, 2, "second");
    w->setStatusText("first");
    EXPECT_EQ(statusZone(*w, 1), "first");
    EXPECT_EQ(statusZone(*w, 2), "second");
    EXPECT_EQ(statusZone(*w, 3), "third");
    EXPECT_FALSE(itemChecked(*w, item));
    setItemChecked(*w, item, true);
    EXPECT_TRUE(itemChecked(*w, item));
    postEvent(kEventCloseWindow, 0, t);
    ASSERT_TRUE(pumpEventsUntil([&] { return !threadRunning(t); }));
}

}  // namespace
}  // namespace sitedex::ui
