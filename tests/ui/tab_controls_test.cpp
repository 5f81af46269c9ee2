// Tabs, combination boxes, spin boxes and texts of the window layer, offscreen: the controls of a
// tab show only while it is current, a control the procedure hid stays hidden across tab changes,
// the user's choice of a tab is an event and the procedure's is not, and the typed values reach the
// variables.

#include <gtest/gtest.h>

#include "runtime/events.h"
#include "runtime/thread_state.h"
#include "ui/clipboard.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::ui {
namespace {

using namespace runtime;

struct Form {
    int sheet, first, second, entry, hiddenButton, combo, spin, text, always;
    std::string entryValue, comboValue, textValue;
    int spinValue = 3;
    Window* window = nullptr;
    std::vector<std::pair<int, int>> events;  // event, control
    bool ended = false;
};
Form* g_form = nullptr;

void TabsProcedure() {
    Form& f = *g_form;
    WindowDef d;
    d.name = "TABS$WINDOW";
    d.width = 200;
    d.height = 120;
    d.resizable = true;
    f.sheet = d.addSheet({4, 4, 192, 90});
    f.first = d.addTab(f.sheet, "First");
    f.entry = d.onTab(d.addEntry(&f.entryValue, {10, 24, 100, 12}), f.first);
    f.hiddenButton = d.onTab(d.addButton("Hidden", {10, 40, 40, 14}), f.first);
    f.combo = d.onTab(d.addCombo(&f.comboValue, {10, 58, 100, 13}), f.first);
    f.second = d.addTab(f.sheet, "Second");
    f.spin = d.onTab(d.addSpin(&f.spinValue, {10, 24, 30, 13}, 0, 10), f.second);
    f.text = d.onTab(d.addText(&f.textValue, {10, 40, 170, 40}), f.second);
    f.always = d.addButton("OK", {150, 100, 40, 14});
    Window w(d);
    f.window = &w;
    w.hide(f.hiddenButton);
    w.setChoices(f.combo, {"Alpha", "Beta"});
    while (w.waitForEvent())
        if (currentEvent() != kEventOpenWindow)
            f.events.push_back({currentEvent(), eventControl()});
    f.window = nullptr;
    f.ended = true;
}

bool visible(Window& w, int control) {
    // What the user sees: the control's widget is shown.
    return w.controlGeometry(control).width > 0 && w.isShown(control);
}

TEST(TabControls, TabsShowTheirControlsAndCarryValues) {
    ensureApplication();
    Form f;
    g_form = &f;
    const int thread = startProcedure(TabsProcedure, 0, "Tabs");
    ASSERT_TRUE(pumpEventsUntil([&] { return f.window != nullptr; }));
    pumpEventsFor(50);
    Window& w = *f.window;
    EXPECT_EQ(w.choice(f.sheet), 1);
    EXPECT_TRUE(visible(w, f.entry));
    EXPECT_FALSE(visible(w, f.hiddenButton));
    EXPECT_FALSE(visible(w, f.spin));
    EXPECT_TRUE(visible(w, f.always));

    w.chooseTab(f.sheet, 2);
    pumpEventsFor(50);
    EXPECT_EQ(w.choice(f.sheet), 2);
    EXPECT_FALSE(visible(w, f.entry));
    EXPECT_TRUE(visible(w, f.spin));
    EXPECT_TRUE(visible(w, f.always));
    ASSERT_FALSE(f.events.empty());
    EXPECT_EQ(f.events.back(), std::make_pair(kEventNewSelection, f.sheet));

    const size_t before = f.events.size();
    w.select(f.sheet, 1);  // the procedure's own choice: no event
    pumpEventsFor(50);
    EXPECT_EQ(f.events.size(), before);
    EXPECT_TRUE(visible(w, f.entry));
    EXPECT_FALSE(visible(w, f.hiddenButton)) << "hidden by the procedure, whatever the tab";
    w.unhide(f.hiddenButton);
    EXPECT_TRUE(visible(w, f.hiddenButton));

    w.enterText(f.combo, "Beta");
    w.enterText(f.spin, "7");
    w.enterText(f.text, "two\nlines");
    pumpEventsFor(50);
    EXPECT_EQ(f.comboValue, "Beta");
    EXPECT_EQ(w.choice(f.combo), 2);
    EXPECT_EQ(f.spinValue, 7);
    EXPECT_EQ(f.textValue, "two\nlines");
    EXPECT_EQ(f.events.back(), std::make_pair(kEventAccepted, f.spin));
    w.enterText(f.spin, "99");
    EXPECT_EQ(f.spinValue, 10) << "kept in range";

    f.comboValue = "Gamma";  // not a choice: shown as typed
    w.redisplay(f.combo);
    EXPECT_EQ(w.text(f.combo), "Gamma");
    EXPECT_EQ(w.choice(f.combo), 0);

    setClipboardText("copied text");
    EXPECT_EQ(clipboardText(), "copied text");

    postEvent(kEventCloseWindow, 0, thread);
    ASSERT_TRUE(pumpEventsUntil([&] { return f.ended; }));
    g_form = nullptr;
}

}  // namespace
}  // namespace sitedex::ui
