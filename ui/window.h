#pragma once
// A procedure's window: opened from a definition, run by the procedure's own event loop, closed when
// the loop ends.
//
//     ui::Window w(def);                  // opens it; EVENT:OpenWindow is its first event
//     RestoreWindowPlacement(w, "BrowseSITEDX");
//     while (w.waitForEvent()) {
//         switch (runtime::currentEvent()) { ... }
//     }
//     SaveWindowPlacement(w, "BrowseSITEDX");
//
// Guarantees: the window belongs to the thread that opened it; its events (control actions, the
// close box, timers, events posted to the thread) queue up for that thread alone and are taken one
// at a time by waitForEvent. Only the owning procedure calls its members. A window opened while the
// thread already shows one (a procedure called from another on the same thread) disables that one
// until it closes. The window is shown at the first waitForEvent, after the procedure has placed it.
// After the loop has taken EVENT:CloseWindow or EVENT:CloseDown, the next waitForEvent returns false
// (and so does every later one), unless the procedure called keepOpen() meanwhile; the window itself
// closes when the procedure calls close() or the Window goes out of scope, so that its placement
// can be saved first. The frame asks the other threads' windows to close before its loop ends, and
// goes on if one of them refuses.
//
// The keyboard: Alt+letter reaches the window's own controls (a prompt's field, a button, a tab)
// before the frame's menu bar; Enter presses the button with the focus or else the default one,
// Escape the cancel button; every way of pressing a button first takes what was typed into the
// field being edited. When the user comes back to a window (its frame child becomes active, or it
// becomes the active window), EVENT:GainFocus is queued; not for activations the program makes
// itself (showing a window, returning from a window it called). A window of its own that closes
// hands the keyboard back to the frame. A resizable window cannot be made smaller than designed.
//
// Callers: window procedures, on their own thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/window_placement.h"
#include "ui/window_def.h"

namespace sitedex::ui {

struct WindowPrivate;

class Window : public runtime::PlacementWindow {
public:
    explicit Window(const WindowDef& definition);
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Waits for the next event of this window and makes it current (runtime::currentEvent() and the
    // others); false once the window has closed.
    bool waitForEvent();
    // Closes the window now; the next waitForEvent returns false. A procedure's windows also close
    // when their Window objects go out of scope, and when its thread ends.
    void close();
    // Cancels the close that the current EVENT:CloseWindow or EVENT:CloseDown would bring.
    void keepOpen();
    bool isOpen() const;

    // Queues an event for this window (from its own procedure; others post to the thread).
    void post(int event, int control = 0);

    // Controls by number. A number that names no control is ignored (reads give empty values).
    void enable(int first, int last = 0);
    void disable(int first, int last = 0);
    bool isEnabled(int control) const;
    // Whether the control is shown (not hidden by the procedure, and on the current tab if on one).
    bool isShown(int control) const;
    void hide(int first, int last = 0);
    void unhide(int first, int last = 0);
    // Copies the use variables of the controls (all when first is 0) into the controls.
    void redisplay(int first = 0, int last = 0);
    void setText(int control, std::string_view text);
    std::string text(int control) const;
    void setValue(int control, int value);  // check boxes (0/1), progress bars
    int value(int control) const;
    void focus(int control);
    // Combination boxes and drop-down lists: their choices (the typed text stays).
    void setChoices(int control, const std::vector<std::string>& choices);
    std::vector<std::string> choices(int control) const;
    // Sheets: the current tab (1 = first). Combination boxes, drop-down lists: the choice equal to
    // the text shown (1 = first), 0 when the text is none of them.
    int choice(int control) const;
    // Makes that tab or choice current without raising an event (the procedure's own doing).
    void select(int control, int choice);
    // Tests: choose a tab as the user would (raises EVENT:NewSelection for the sheet).
    void chooseTab(int sheet, int choice);
    // Tests: type the text into an entry, combination box, spin box or text and move on, as the user
    // would: the variable takes it and the control's EVENT:Accepted is queued (not for texts).
    void enterText(int control, std::string_view text);
    // Position and size of a control in pixels of the window's client area ({} for menus), and the
    // client area's size. Procedures that lay their controls out in proportion use these.
    Rect controlGeometry(int control) const;
    void setControlGeometry(int control, Rect pixels);
    // Places a control in its share of the window (pixels), as a window laid out in proportion does:
    // lists, texts, sheets and boxes fill it; a line of text keeps its designed height and a button
    // its designed size, at the side of the share nearer the window's edge, so nothing grows beyond
    // a sensible size.
    void fitControl(int control, Rect share);
    int clientWidth() const;
    int clientHeight() const;
    // Presses a button, chooses a menu item or ticks a check box as the user would (tests).
    void click(int control);

    void setTitle(std::string_view title);
    void setTimer(int hundredths);
    int timer() const;
    void setStatusText(std::string_view text);

    // Frame only: arrange the child windows.
    void tileChildren();
    void cascadeChildren();
    void arrangeIcons();

    // The wait cursor over this window during long work; restoreCursor() takes it away.
    void setWaitCursor();
    void restoreCursor();

    const WindowDef& definition() const;
    int thread() const;

    // Placement, in pixels of the window's parent (the screen, or the frame's child area).
    bool isMaximized() const override;
    bool isMinimized() const override;
    bool isResizable() const override;
    void showNormalState() override;
    void showMaximizedState() override;
    void showMinimizedState();
    int placementX() const override;
    int placementY() const override;
    int placementWidth() const override;
    int placementHeight() const override;
    // Kept to a size the window can have and a place where it can be seen: within the frame's area
    // for a child window, on the nearest screen for a window of its own (a settings file may say
    // anything).
    void setPlacement(int x, int y, int width, int height) override;

    WindowPrivate* internals() const { return m_d.get(); }

private:
    std::unique_ptr<WindowPrivate> m_d;
};

// Queues an event for the current window of a thread (0 = the running thread). A thread without a
// window, or a thread number not in use, gets nothing.
void postEvent(int event, int control = 0, int thread = 0);

// The window the thread's procedure runs now (the last one opened), or nullptr.
Window* currentWindow(int thread = 0);

// The application frame, while one is open.
Window* frameWindow();

}  // namespace sitedex::ui
