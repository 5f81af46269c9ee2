#pragma once
// The bars of a window that is not the frame: a menu bar above its controls (when its definition has
// menus) and a status bar below them (WindowDef::statusBar), and what a procedure does with them:
// status-bar zones, check marks on menu items.
//
// Guarantees: the controls keep their designed places relative to the area between the bars; the
// window's client size, controlGeometry and setControlGeometry speak of that area only. Menu
// commands of such a window raise EVENT:Accepted like buttons, and their status texts show in zone 1
// of the status bar while they are highlighted. Zone 1 is the text of Window::setStatusText; zones 2
// and up stand at the right, in order, each as wide as its text needs.
//
// Callers: the procedure that owns the window.

#include <string>
#include <string_view>

namespace sitedex::ui {

class Window;

// Sets the text of a status-bar zone (1 = the message zone, 2.. the zones at the right).
void setStatusZone(Window& window, int zone, std::string_view text);
std::string statusZone(const Window& window, int zone);

// Shows or clears a check mark on a menu item (the frame's or a window's own).
void setItemChecked(Window& window, int item, bool checked);
bool itemChecked(const Window& window, int item);

// Shows a control's text in the fixed-pitch font (the text viewer's list).
void useFixedPitchFont(Window& window, int control);

}  // namespace sitedex::ui

namespace sitedex::ui {
// Takes what the user is typing into the window's spin boxes as their values (their variables
// follow, as when the focus leaves them), for a window that acts on a key while one has the focus.
void commitTypedValues(Window& window);
}  // namespace sitedex::ui
