#pragma once
// The splash window (SPLASH$WINDOW) and the About window (ABOUT$WINDOW): the program's picture and
// "Version " with the version text.
//
// Splash runs on a thread of its own: it closes after three seconds, on a mouse click or double
// click, or when the frame posts it EVENT:CloseWindow, and as it closes posts event 1105 to the
// frame's thread. About runs on the caller's thread (the frame's) until its "&OK" closes it.
//
// Callers: Main.

#include "ui/window_def.h"

namespace sitedex::app::shell {

void Splash();
void About();

ui::WindowDef splashDefinition();
ui::WindowDef aboutDefinition();

}  // namespace sitedex::app::shell
