#pragma once
// Helpers for tests that drive real windows on the offscreen platform: an application object, a way
// to handle events until something has happened, and answers for message boxes and pop-up menus.
//
// The boxes still open as the user would see them; a responder is asked once the box is up and its
// answer presses the button. A responder that returns 0 leaves the box open (to check what goes on
// meanwhile); answerMessageBox presses a button later.
//
// Callers: tests only, from the test's own stack (never from inside a procedure).

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace sitedex::ui {

class Window;

// Creates the application object once (offscreen when no platform is set) and installs the window
// layer's hooks.
void ensureApplication();

// Handles events until `done` holds or the time is up; returns whether it holds.
bool pumpEventsUntil(const std::function<bool()>& done, int timeoutMilliseconds = 5000);
// Handles events for the given time.
void pumpEventsFor(int milliseconds);

struct MessageBoxInfo {
    std::string text;
    std::string caption;
    int icon = 0;
    int buttons = 0;
    int defaultButton = 0;
    int thread = 0;  // the thread whose procedure waits for the answer
};

using MessageBoxResponder = std::function<int(const MessageBoxInfo&)>;
void setMessageBoxResponder(MessageBoxResponder responder);  // empty: boxes wait for the user

// The boxes open now, oldest first.
std::vector<MessageBoxInfo> openMessageBoxes();
// Presses the button on the open box of that thread; false when there is none or no such button.
bool answerMessageBox(int thread, int button);

// The toolkit widget of a control, for tests that send it real key and mouse events (nullptr for a
// number that names no control, and for menus).
QWidget* widgetOfControl(Window& window, int control);

// Makes the window the active one, as a click on its title bar would (a child window of the frame
// becomes the frame's active child).
void activateWindow(Window& window);

// Answers pop-up menus: receives the item texts as shown, returns the item number to choose (0: none).
using PopupResponder = std::function<int(const std::vector<std::string>& items)>;
void setPopupResponder(PopupResponder responder);

}  // namespace sitedex::ui
