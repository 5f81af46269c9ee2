#pragma once
// Inside the window layer: the toolkit objects behind a ui::Window, the per-thread window stacks,
// and the pieces that the scheduler, the message box and the dialogs share. Not for other layers.

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

class QPlainTextEdit;
class QValidator;
#include <deque>
#include <optional>
#include <vector>

#include "ui/window.h"

namespace sitedex::ui {

struct QueuedEvent {
    int event = 0;
    int control = 0;
    int keyCode = 0;
    int keyChar = 0;
};

// The client area of a window: holds the controls at their designed places, and turns the close box
// into EVENT:CloseWindow for the procedure instead of closing.
class ClientWidget : public QWidget {
public:
    ClientWidget(WindowPrivate* owner, QSize designed);
    QSize sizeHint() const override { return m_designed; }
    WindowPrivate* owner() const { return m_owner; }
    void detach() { m_owner = nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Enter and Escape that no control took: the default and the cancel button.
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    WindowPrivate* m_owner;
    QSize m_designed;
};

// The application frame: menu bar, child-window area, status bar.
class FrameWidget : public QMainWindow {
public:
    explicit FrameWidget(WindowPrivate* owner);
    QMdiArea* area() const { return m_area; }
    void detach() { m_owner = nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    WindowPrivate* m_owner;
    QMdiArea* m_area;
};

// Watches keys and mouse clicks on a window and its controls for the window's alert keys.
class AlertFilter : public QObject {
public:
    explicit AlertFilter(WindowPrivate* owner) : m_owner(owner) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowPrivate* m_owner;
};

struct WindowPrivate {
    Window* window = nullptr;
    WindowDef def;
    int thread = 1;
    unsigned long serial = 0;  // tells windows apart over time, unlike their addresses
    bool open = true;
    bool shown = false;
    bool endAfterCurrent = false;  // the current event is a close that has not been cancelled
    bool loopEnded = false;        // waitForEvent has returned false
    bool waitingForEvent = false;  // the procedure is parked in waitForEvent with nothing queued
    int blockCount = 0;
    bool quietActivation = false;        // the window is being activated by the program, not the user
    int swallowKey = 0;                  // an Alt+letter this window's accelerator took: not typed too
    bool firstActivation = true;         // a window of its own: its activation on being shown is no news
    bool wantMaximized = false;  // before the window is shown
    bool wantMinimized = false;
    std::optional<QRect> normalRect;  // a top-level window's normal geometry once it left the maximised state
    std::deque<QueuedEvent> queue;

    QPointer<FrameWidget> frame;       // kFrame
    QPointer<ClientWidget> client;     // every other kind: where the controls live
    QPointer<QMdiSubWindow> sub;       // kMdiChild inside a frame
    QPointer<QTimer> timer;
    int timerValue = 0;
    AlertFilter* alertFilter = nullptr;
    std::vector<QPointer<QObject>> controls;  // by number - 1: QAction, QMenu, or the control's widget
    std::vector<bool> entryEdited;            // entries: changed since the last EVENT:Accepted
    std::vector<bool> hiddenByProcedure;      // hidden by the definition or Window::hide (tabs aside)
    bool selectingTab = false;                // a tab is chosen by the procedure, not the user
    QSize reportedSize;                       // the client size the last EVENT:Sized told of
    QSize designedSize;                       // the client size of the definition, in pixels
    QPointer<QWidget> focusBeforeBlock;       // the control that had the focus when a box blocked the window

    // The widget that is moved and sized: the frame, the subwindow, or the top-level client.
    QWidget* placed() const;
    bool isTopLevel() const;
    void push(QueuedEvent e);
    void pushTimer();
    void block();
    void unblock();
    void show();
    void closeNow();
    void buildControls();
    void applyVariable(int number);
    // Takes what the user has typed into an entry, combination box or spin box and not yet moved on
    // from: the variable gets it and, with `accept`, the control's EVENT:Accepted is queued, as
    // leaving the field would. Every way of pressing a button does this first (a cancel button
    // excepted: what it throws away needs no checking); closing the window takes the text without
    // the field's checks, so that the procedure can ask whether to save it.
    void takeEdits(bool accept);
    // Presses the window's default (Enter) or cancel (Escape) button when it is shown and enabled;
    // false when there is none.
    bool pressButton(bool cancel);
    // Alt+letter: the window's own control whose "&" letter it is (a prompt's field, a button, a
    // check box, a radio, a tab) acts as its accelerator says; false when none has the letter.
    bool accelerate(QChar letter);
    // The user came back to this window (its frame child became active, or it became the active
    // window): EVENT:GainFocus, unless the program activated it or it is waiting for a window it
    // called.
    void gainedFocus();
    // Tells the frame's status bar what the control with the focus is for.
    void showStatusOf(const QObject* focused);
    bool onShownTab(int number) const;
    void applyTabVisibility();
    QWidget* widgetOf(int number) const;
    int controlNumberOf(const QObject* object) const;
};

// The windows each thread has open, the last one current.
std::vector<WindowPrivate*>& windowsOfThread(int thread);
void closeWindowsOfThread(int thread);
WindowPrivate* frameInternals();

// The widget a box or dialog of the thread should stand over: its current window's, else the frame.
QWidget* dialogParentFor(int thread);

// A box or fixed dialog that the desktop minimised (some window managers offer it whatever the
// window asks for) comes back at once, unless the frame itself is minimised: a program waiting for
// an answer nobody can see would look frozen.
void keepShown(QWidget* window);

// Dialog units to pixels in the application's font.
int dialogUnitsToPixelsX(int units);
int dialogUnitsToPixelsY(int units);

// The key code of a key press: the key in the low byte, modifiers above.
int keyCodeOf(int qtKey, Qt::KeyboardModifiers modifiers);
// The character a key press typed, as a Unicode code point (0 for none).
int characterOf(const QString& text);

// Where the next pop-up menu opens (global pixels) instead of at the mouse: a list sets it when its
// context menu is asked for from the keyboard, or by a click that the procedure answers later.
void setNextPopupPosition(QPoint global);

// Byte limits of entries and texts (ui/entry_limits.cpp).
QValidator* makeByteLimit(size_t limit, QObject* parent);
void limitTextBytes(QPlainTextEdit* text, size_t limit, QObject* context);

// The widget of a list control (ui/list_box.cpp).
QWidget* makeListBox(WindowPrivate* owner, int number, QWidget* parent);

// Options and their radio buttons (ui/option_controls.cpp). The accessors answer false for objects
// that are not options, so the generic members go on with them.
QWidget* containerOf(WindowPrivate* owner, const ControlDef& control);  // an option's frame, else the client
QObject* makeOptionControl(WindowPrivate* owner, int number, QWidget* parent);
void placedInOption(WindowPrivate* owner, const ControlDef& control, QWidget* widget);
bool applyOptionVariable(WindowPrivate* owner, int number);
bool setOptionText(QObject* object, const QString& text);
bool optionText(QObject* object, QString& text);

}  // namespace sitedex::ui

class QPrinter;
namespace sitedex::ui {
// The printer the program prints on; set up by File > Print Setup.
QPrinter& programPrinter();
}  // namespace sitedex::ui
