#pragma once
// The message box of the window layer, installed as runtime::messageBox, and the few system
// dialogs a procedure opens (pop-up menu, printer set-up).
//
// Guarantees: a box or dialog is opened without a nested event loop. Its owner's window is disabled
// while it is up (the frame's menu bar, for the frame), and the calling procedure waits for the
// answer like for any event, so the other windows of the program go on working. Buttons stand in a
// row in the fixed order OK, Yes, No, Abort, Retry, Ignore, Cancel, Help with the program's
// captions; Enter presses the default button; Escape or the close box answer Cancel when the set has
// one (OK when OK is the only button), and are ignored otherwise. The text wraps at 200 dialog units.
//
// Callers: procedures through runtime::messageBox; tests through ui/testing.h.

#include <string>
#include <string_view>

namespace sitedex::ui {

// Shows the box and returns the button pressed (a runtime::Button value).
int showMessageBox(std::string_view text, std::string_view caption, int icon, int buttons, int defaultButton);

// The "Runtime error" box; the caller ends the program after it.
void showFatalError(std::string_view text);

// Shows a pop-up menu at the mouse and returns the number of the item chosen (1 = first), 0 if none.
// Items are separated by "|"; an item "-" is a separator line (not numbered); "~" before an item's
// text shows it disabled; "+" before it shows a check mark, "-" before it an empty one.
int popupMenu(std::string_view items);

// The platform's printer set-up dialog on the program's printer. Returns true when confirmed.
bool printerSetup();

// Installs showMessageBox and showFatalError as the runtime's hooks.
void installWindowHooks();

}  // namespace sitedex::ui
