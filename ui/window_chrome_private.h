#pragma once
// Inside the window layer: the menu bar and status bar of a window that is not the frame (see
// ui/window_chrome.h). The bars are children of the client widget; the designed controls are moved
// below the menu bar, and the client grows by the bars' heights.

class QMenuBar;
class QStatusBar;

namespace sitedex::ui {

struct WindowPrivate;

// The window's own menu bar, made on first use (the frame's for the frame).
QMenuBar* menuBarOf(WindowPrivate* d);
// The window's status bar, or nullptr when it has none.
QStatusBar* statusBarOf(const WindowPrivate* d);
// After the controls are built: makes the status bar the definition asks for, moves the controls
// below the menu bar and keeps the bars in place as the window is sized.
void layOutBars(WindowPrivate* d);
// Heights the bars take at the top and at the bottom of the client widget (0 for the frame).
int barsTop(const WindowPrivate* d);
int barsBottom(const WindowPrivate* d);

}  // namespace sitedex::ui
