#pragma once
// MonitorClipboard: the "Monitor Clipboard" window. While it is open it looks at the system
// clipboard four times a second and adds the web addresses of every new text that shows up there
// as locations (clipboard_capture.h); its status line tells the last one added and how many have
// been added since the window opened.
//
// A text already on the clipboard when the window opens is taken only if the user says so (the
// "Clipboard Contains Data" question, answered No). A text is taken once: it is remembered as seen
// until something else is copied. A long text is taken on over several timer ticks, so the window
// stays responsive and "E&xit" closes it at once. The window never changes the clipboard.
//
// Callers: the main frame's File > Clipboard Monitor, on a thread of its own (registered as
// "MonitorClipboard" by registerClipboardProcedures).

#include "ui/window_def.h"

namespace sitedex::app::clipboard {

void MonitorClipboard();

void registerClipboardProcedures();

// The window with the numbers of its controls (tests drive it by these).
struct MonitorWindow {
    ui::WindowDef def;
    int line1, line2, line3, status, exit;
};
const MonitorWindow& monitorWindow();

}  // namespace sitedex::app::clipboard
