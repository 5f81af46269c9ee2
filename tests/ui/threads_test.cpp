// Procedure threads, events, posting, timers and message boxes, on real windows (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::ui {
namespace {

using namespace runtime;

class Threads : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        setMessageBoxResponder(nullptr);
        setPopupResponder(nullptr);
    }
    void TearDown() override {
        // Every test leaves no procedure behind: close what is still open.
        for (int t = 2; t <= kThreadSlots; ++t) postEvent(kEventCloseWindow, 0, t);
        EXPECT_TRUE(pumpEventsUntil([] { return runningThreads() == 0; }, 5000));
        setMessageBoxResponder(nullptr);
        setPopupResponder(nullptr);
    }
};

// A small window with one button, as a browse or form would have.
WindowDef buttonWindow(const char* title) {
    WindowDef def;
    def.name = "TEST$WINDOW";
    def.title = title;
    def.width = 120;
    def.height = 40;
    def.addButton("&Press", {10, 10, 50, 14});
    return def;
}

// Runs a window loop, counting presses of its button; ends on close.
struct Counter {
    int thread = 0;
    int presses = 0;
    int firstEvent = 0;
    bool ended = false;
    std::vector<int> threadsSeen;  // the current thread number after each wait
};

void countingProcedure(Counter& c, const char* title) {
    c.thread = currentThread();
    Window w(buttonWindow(title));
    while (w.waitForEvent()) {
        c.threadsSeen.push_back(currentThread());
        if (c.firstEvent == 0) c.firstEvent = currentEvent();
        if (currentEvent() == kEventAccepted && acceptedControl() == 1) ++c.presses;
    }
    c.ended = true;
}

// Procedures may outlive a failed assertion in the test body, so whatever they touch is shared
// with them rather than living in the test's frame.
template <class T>
std::shared_ptr<T> shared() {
    return std::make_shared<T>();
}

TEST_F(Threads, TwoProceduresStartedTogetherRunIndependently) {
    auto a = shared<Counter>(), b = shared<Counter>();
    int ta = startProcedure([a] { countingProcedure(*a, "A"); }, 50000, "BrowseA");
    int tb = startProcedure([b] { countingProcedure(*b, "B"); }, 50000, "BrowseB");
    ASSERT_NE(ta, 0);
    ASSERT_NE(tb, 0);
    EXPECT_NE(ta, tb);
    EXPECT_GE(ta, 2);
    EXPECT_EQ(threadSlot(ta).procedure, "BrowseA");
    ASSERT_TRUE(pumpEventsUntil([&] { return a->firstEvent && b->firstEvent; }));
    EXPECT_EQ(a->firstEvent, kEventOpenWindow);

    currentWindow(ta)->click(1);
    currentWindow(ta)->click(1);
    currentWindow(tb)->click(1);
    ASSERT_TRUE(pumpEventsUntil([&] { return a->presses == 2 && b->presses == 1; }));

    postEvent(kEventCloseWindow, 0, ta);
    ASSERT_TRUE(pumpEventsUntil([&] { return a->ended; }));
    EXPECT_FALSE(b->ended);  // closing one leaves the other running
    EXPECT_FALSE(threadInUse(ta));
    currentWindow(tb)->click(1);
    ASSERT_TRUE(pumpEventsUntil([&] { return b->presses == 2; }));
    for (int t : a->threadsSeen) EXPECT_EQ(t, ta);
    for (int t : b->threadsSeen) EXPECT_EQ(t, tb);
}

TEST_F(Threads, PerThreadStateFollowsTheRunningProcedure) {
    static PerThread<int> value;
    static int endedThread = 0;
    addThreadEndHook([](int t) {
        if (value.of(t) != 0) endedThread = t;
        value.reset(t);
    });
    struct S {
        bool aSawOwn = false, bSawOwn = false;
    };
    auto s = shared<S>();
    auto proc = [](int mine, bool& sawOwn) {
        value.current() = mine;
        Window w(buttonWindow("state"));
        while (w.waitForEvent()) {
            if (currentEvent() == kEventAccepted) sawOwn = value.current() == mine;
        }
    };
    int ta = startProcedure([s, proc] { proc(111, s->aSawOwn); });
    int tb = startProcedure([s, proc] { proc(222, s->bSawOwn); });
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(ta) && currentWindow(tb); }));
    currentWindow(tb)->click(1);
    currentWindow(ta)->click(1);
    ASSERT_TRUE(pumpEventsUntil([&] { return s->aSawOwn && s->bSawOwn; }));
    EXPECT_EQ(currentThread(), 1);  // the test's own stack is the first thread again
    postEvent(kEventCloseWindow, 0, ta);
    ASSERT_TRUE(pumpEventsUntil([&] { return !threadRunning(ta); }));
    EXPECT_EQ(endedThread, ta);  // the end hooks ran for the ending thread, with its state intact
    EXPECT_EQ(value.of(ta), 0);
    EXPECT_EQ(value.of(tb), 222);
}

TEST_F(Threads, AMessageBoxInOneWindowLeavesTheOthersWorking) {
    auto answer = std::make_shared<int>(0);
    int ta = startProcedure([answer] {
        Window w(buttonWindow("asks"));
        while (w.waitForEvent())
            if (currentEvent() == kEventOpenWindow)
                *answer = messageBox("Save the changes?", "Question", kIconQuestion,
                                     kButtonYes | kButtonNo | kButtonCancel, kButtonNo);
    });
    auto b = shared<Counter>();
    int tb = startProcedure([b] { countingProcedure(*b, "works"); });
    ASSERT_TRUE(pumpEventsUntil([&] { return openMessageBoxes().size() == 1 && currentWindow(tb); }));
    MessageBoxInfo box = openMessageBoxes().front();
    EXPECT_EQ(box.thread, ta);
    EXPECT_EQ(box.caption, "Question");
    EXPECT_EQ(box.defaultButton, kButtonNo);
    EXPECT_FALSE(currentWindow(ta)->isEnabled(1));  // the asking window waits for its box

    for (int i = 0; i < 3; ++i) currentWindow(tb)->click(1);
    ASSERT_TRUE(pumpEventsUntil([&] { return b->presses == 3; }));
    EXPECT_EQ(*answer, 0);
    EXPECT_TRUE(answerMessageBox(ta, kButtonYes));
    ASSERT_TRUE(pumpEventsUntil([&] { return *answer == kButtonYes; }));
    EXPECT_TRUE(currentWindow(ta)->isEnabled(1));
}

TEST_F(Threads, TheBoxShowsTheButtonsInTheirOrderWithTheirCaptions) {
    struct S {
        std::vector<std::string> captions;
        std::string defaultCaption;
        int answer = -1;
    };
    auto s = shared<S>();
    setMessageBoxResponder([s](const MessageBoxInfo&) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QDialog*>(w);
            if (!d || !d->isVisible()) continue;
            for (QPushButton* b : d->findChildren<QPushButton*>()) {
                s->captions.push_back(b->text().toStdString());
                if (b->isDefault()) s->defaultCaption = b->text().toStdString();
            }
        }
        return kButtonRetry;
    });
    startProcedure([s] {
        s->answer = messageBox("Text", "Caption", kIconExclamation,
                               kButtonHelp | kButtonCancel | kButtonIgnore | kButtonRetry | kButtonAbort | kButtonNo |
                                   kButtonYes | kButtonOk,
                               kButtonIgnore);
    });
    ASSERT_TRUE(pumpEventsUntil([&] { return s->answer != -1; }));
    EXPECT_EQ(s->answer, kButtonRetry);
    EXPECT_EQ(s->captions,
              (std::vector<std::string>{"OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "Cancel", "&Help"}));
    EXPECT_EQ(s->defaultCaption, "&Ignore");
}

// A short text under a long caption: the box is wide enough for the caption in a title bar (the
// caption in bold, with room for the title bar's icon and buttons), so the window manager need not
// cut it.
TEST_F(Threads, TheBoxIsAsWideAsItsCaption) {
    const std::string caption = "Import from Sitedex Database, a caption longer than its text";
    auto width = std::make_shared<int>(0);
    setMessageBoxResponder([width, caption](const MessageBoxInfo&) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->windowTitle().toStdString() == caption)
                *width = d->width();
        return kButtonOk;
    });
    auto answer = std::make_shared<int>(-1);
    startProcedure([answer, caption] { *answer = messageBox("Done.", caption, kIconAsterisk, kButtonOk); });
    ASSERT_TRUE(pumpEventsUntil([&] { return *answer != -1; }));
    QFont bold = QApplication::font();
    bold.setBold(true);
    EXPECT_GE(*width, QFontMetrics(bold).horizontalAdvance(QString::fromStdString(caption)) + 60);
}

TEST_F(Threads, EscapeAnswersCancelOnlyWhenTheBoxHasOne) {
    struct Case {
        int buttons;
        int expected;  // 0: Escape does nothing
    } cases[] = {{kButtonOk, kButtonOk}, {kButtonOk | kButtonCancel, kButtonCancel}, {kButtonYes | kButtonNo, 0}};
    for (const Case& c : cases) {
        auto answer = std::make_shared<int>(-1);
        const int buttons = c.buttons;
        int t = startProcedure([answer, buttons] { *answer = messageBox("x", "y", 0, buttons); });
        ASSERT_TRUE(pumpEventsUntil([&] { return !openMessageBoxes().empty(); }));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        pumpEventsFor(50);
        if (c.expected == 0) {
            EXPECT_EQ(*answer, -1);
            answerMessageBox(t, kButtonNo);
            ASSERT_TRUE(pumpEventsUntil([&] { return *answer == kButtonNo; }));
        } else {
            ASSERT_TRUE(pumpEventsUntil([&] { return *answer != -1; }));
            EXPECT_EQ(*answer, c.expected);
        }
    }
}

TEST_F(Threads, WhenAllSlotsAreBusyStartingReturnsZero) {
    std::vector<int> threads;
    for (int i = 0; i < 64; ++i) {
        int t = startProcedure([] {
            Window w(buttonWindow("busy"));
            while (w.waitForEvent()) {
            }
        });
        ASSERT_NE(t, 0) << i;
        threads.push_back(t);
    }
    EXPECT_EQ(threads.front(), 2);
    EXPECT_EQ(threads.back(), 65);
    auto ran = std::make_shared<bool>(false);
    EXPECT_EQ(startProcedure([ran] { *ran = true; }), 0);
    ASSERT_TRUE(pumpEventsUntil([] { return currentWindow(65) != nullptr; }));
    EXPECT_FALSE(*ran);  // nothing ran for the refused start

    postEvent(kEventCloseWindow, 0, 7);
    ASSERT_TRUE(pumpEventsUntil([] { return !threadRunning(7); }));
    EXPECT_EQ(startProcedure([ran] { *ran = true; }), 7);  // the first free slot again
    ASSERT_TRUE(pumpEventsUntil([&] { return *ran; }));
}

TEST_F(Threads, PostingToAThreadWithoutAWindowDoesNothing) {
    struct S {
        int firstEvent = 0;
        bool ended = false;
    };
    auto s = shared<S>();
    int t = startProcedure([s] {
        messageBox("no window yet", "", 0, kButtonOk);  // waits with no window of its own
        Window w(buttonWindow("later"));
        w.waitForEvent();
        s->firstEvent = currentEvent();
        while (w.waitForEvent()) {
        }
        s->ended = true;
    });
    ASSERT_TRUE(pumpEventsUntil([] { return !openMessageBoxes().empty(); }));
    postEvent(kEventCloseWindow, 0, t);   // the thread has no window: dropped
    postEvent(kEventCloseWindow, 0, 40);  // a slot not in use
    postEvent(kEventCloseWindow, 0, 99);  // no such thread
    postEvent(kEventCloseWindow, 0, -1);
    answerMessageBox(t, kButtonOk);
    ASSERT_TRUE(pumpEventsUntil([&] { return s->firstEvent != 0; }));
    EXPECT_EQ(s->firstEvent, kEventOpenWindow);
    EXPECT_TRUE(threadRunning(t));
    postEvent(kEventCloseWindow, 0, t);
    ASSERT_TRUE(pumpEventsUntil([&] { return s->ended; }));
}

TEST_F(Threads, AStackRequestBelowTheMinimumIsRaised) {
    struct Case {
        std::size_t requested;
        std::size_t recorded;
    } cases[] = {{4096, 20000}, {1, 20000}, {19999, 20000}, {20000, 20000}, {25000, 25000}, {0, 0}};
    for (const Case& c : cases) {
        auto seen = std::make_shared<std::size_t>(1);
        int t = startProcedure([seen] { *seen = threadSlot(currentThread()).requestedStack; }, c.requested);
        ASSERT_NE(t, 0);
        EXPECT_EQ(threadSlot(t).requestedStack, c.recorded) << c.requested;
        EXPECT_GE(threadSlot(t).stackSize, kFiberStackSize);
        ASSERT_TRUE(pumpEventsUntil([&] { return !threadRunning(t); }));
        EXPECT_EQ(*seen, c.recorded);
    }
}

// Uses about `kilobytes` of stack, so that a thread's real stack is shown to be large.
int deepCall(int kilobytes) {
    volatile char block[1024];
    std::memset(const_cast<char*>(block), kilobytes & 0x7F, sizeof block);
    return kilobytes == 0 ? block[0] : deepCall(kilobytes - 1) + (block[5] & 1);
}

TEST_F(Threads, ASmallStackRequestStillRunsOnALargeStack) {
    auto result = std::make_shared<int>(-1);
    int t = startProcedure([result] { *result = deepCall(600); }, 4096);
    ASSERT_TRUE(pumpEventsUntil([&] { return !threadRunning(t); }));
    EXPECT_GE(*result, 0);
}

TEST_F(Threads, ATimerOf25GivesAboutFourEventsASecond) {
    struct S {
        int ticks = 0;
        bool stop = false;
    };
    auto s = shared<S>();
    int t = startProcedure([s] {
        WindowDef def = buttonWindow("timer");
        def.timer = 25;
        Window w(def);
        while (w.waitForEvent()) {
            if (currentEvent() == kEventTimer && !s->stop) ++s->ticks;
        }
    });
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(t); }));
    pumpEventsFor(1000);
    s->stop = true;
    EXPECT_GE(s->ticks, 3);
    EXPECT_LE(s->ticks, 6);
}

TEST_F(Threads, ACalledProcedureOpensItsWindowOnTheSameThreadAndDisablesTheCaller) {
    struct S {
        bool callerEnabledDuring = true, callerEnabledAfter = false, calleeGotPost = false;
    };
    auto s = shared<S>();
    int t = startProcedure([s] {
        Window caller(buttonWindow("caller"));
        while (caller.waitForEvent()) {
            if (currentEvent() != kEventAccepted) continue;
            {
                Window callee(buttonWindow("callee"));
                while (callee.waitForEvent()) {
                    if (currentEvent() == kEventOpenWindow) s->callerEnabledDuring = caller.isEnabled(1);
                    if (currentEvent() == 1105) s->calleeGotPost = true;
                }
            }
            s->callerEnabledAfter = caller.isEnabled(1);
        }
    });
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(t); }));
    Window* caller = currentWindow(t);
    caller->click(1);
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(t) != caller; }));
    postEvent(1105, 0, t);  // goes to the thread's current window: the callee
    ASSERT_TRUE(pumpEventsUntil([&] { return s->calleeGotPost; }));
    EXPECT_FALSE(s->callerEnabledDuring);
    postEvent(kEventCloseWindow, 0, t);
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(t) == caller; }));
    ASSERT_TRUE(pumpEventsUntil([&] { return s->callerEnabledAfter; }));
}

TEST_F(Threads, PopupMenusNumberTheirItemsWithoutSeparators) {
    struct Case {
        int pick;
        int expected;
    } cases[] = {{1, 1}, {3, 3}, {2, 0} /* disabled */, {0, 0}};
    for (const Case& c : cases) {
        auto shown = std::make_shared<std::vector<std::string>>();
        const int pick = c.pick;
        setPopupResponder([shown, pick](const std::vector<std::string>& items) {
            *shown = items;
            return pick;
        });
        auto result = std::make_shared<int>(-1);
        int t = startProcedure([result] { *result = popupMenu("Open|-|~Disabled|Last"); });
        ASSERT_TRUE(pumpEventsUntil([&] { return !threadRunning(t); }));
        EXPECT_EQ(*result, c.expected) << c.pick;
        EXPECT_EQ(*shown, (std::vector<std::string>{"Open", "Disabled", "Last"}));
    }
}

TEST_F(Threads, UseVariablesFollowRedisplayAndTheUsersChanges) {
    struct S {
        std::string name = "first";
        int ticked = 0;
        int progress = 10;
        std::string afterAccept;
    };
    auto s = shared<S>();
    int t = startProcedure([s] {
        WindowDef def = buttonWindow("vars");
        def.addEntry(&s->name, {10, 30, 80, 12});
        int check = def.addCheck("&Tick", &s->ticked, {10, 44, 60, 10});
        def.addProgress(&s->progress, {10, 56, 80, 8});
        Window w(def);
        while (w.waitForEvent()) {
            if (currentEvent() == kEventOpenWindow) {
                s->name = "second";
                s->progress = 60;
                w.redisplay();
            }
            if (currentEvent() == kEventAccepted && acceptedControl() == check) s->afterAccept = std::to_string(s->ticked);
        }
    });
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(t) && currentWindow(t)->text(2) == "second"; }));
    EXPECT_EQ(currentWindow(t)->value(4), 60);
    currentWindow(t)->click(3);
    ASSERT_TRUE(pumpEventsUntil([&] { return s->afterAccept == "1"; }));  // the variable changed before the event
    EXPECT_EQ(s->ticked, 1);
}

TEST_F(Threads, AlertedKeysRaiseAlertKeyWithTheirCodes) {
    struct S {
        std::vector<std::pair<int, int>> alerts;  // key code, control
    };
    auto s = shared<S>();
    int t = startProcedure([s] {
        WindowDef def = buttonWindow("keys");
        def.alertKeys = {kInsertKey, kCtrlEnter, kF1Key + 9};
        Window w(def);
        while (w.waitForEvent())
            if (currentEvent() == kEventAlertKey) s->alerts.push_back({keyCode(), eventControl()});
    });
    ASSERT_TRUE(pumpEventsUntil([&] { return currentWindow(t) != nullptr; }));
    pumpEventsFor(20);
    QWidget* button = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == "keys") button = w->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{Qt::Key_Insert, Qt::NoModifier},   {Qt::Key_Return, Qt::ControlModifier},
                {Qt::Key_Return, Qt::NoModifier},   {Qt::Key_Delete, Qt::NoModifier},
                {Qt::Key_F10, Qt::NoModifier}};
    for (const Key& k : keys) {
        QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers);
        QApplication::sendEvent(button, &press);
    }
    ASSERT_TRUE(pumpEventsUntil([&] { return s->alerts.size() >= 3; }));
    pumpEventsFor(20);
    EXPECT_EQ(s->alerts, (std::vector<std::pair<int, int>>{{kInsertKey, 1}, {kCtrlEnter, 1}, {0x79, 1}}));
}

TEST_F(Threads, PrinterSetupWaitsWithoutBlockingAndCancelReturnsFalse) {
    auto result = std::make_shared<int>(-1);
    int t = startProcedure([result] { *result = printerSetup() ? 1 : 0; });
    QDialog* dialog = nullptr;
    ASSERT_TRUE(pumpEventsUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->windowTitle() == "Print Setup") dialog = d;
        return dialog != nullptr;
    }));
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(threadRunning(t));  // the procedure waits for the answer
    EXPECT_EQ(*result, -1);
    dialog->reject();
    ASSERT_TRUE(pumpEventsUntil([&] { return *result != -1; }));
    EXPECT_EQ(*result, 0);
}

// The fatal box ends the program with exit code 2 once it is answered.
void fatalInAProcedure() {
    ensureApplication();
    setMessageBoxResponder([](const MessageBoxInfo& info) {
        std::fprintf(stderr, "box caption=%s\n", info.caption.c_str());
        return kButtonOk;
    });
    startProcedure([] { fatalRuntimeError("Index out of range"); });
    pumpEventsUntil([] { return false; }, 10000);
}

TEST(FatalError, ShowsTheRuntimeErrorBoxAndEndsWithCode2) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(fatalInAProcedure(), ::testing::ExitedWithCode(2),
                "box caption=Runtime error(.|\n)*Runtime error: Index out of range");
}

}  // namespace
}  // namespace sitedex::ui
