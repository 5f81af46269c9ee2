#include "app/shell/splash.h"

#include "app/shell/globals.h"
#include "app/shell/main_frame.h"
#include "runtime/events.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace sitedex::app::shell {

using namespace runtime;

namespace {
constexpr int kPictureWidth = 168;  // dialog units; the picture keeps its proportions inside
constexpr int kPictureHeight = 88;
}  // namespace

ui::WindowDef splashDefinition() {
    ui::WindowDef d;
    d.name = "SPLASH$WINDOW";
    d.kind = ui::WindowKind::kSplash;
    d.width = kPictureWidth + 8;
    d.height = kPictureHeight + 22;
    d.centered = true;
    d.alertKeys = {kMouseLeft, kMouseRight, kMouseLeft2};
    d.addImage(ui::kProgramPicture, {4, 4, kPictureWidth, kPictureHeight});
    ui::ControlDef version;
    version.kind = ui::ControlKind::kString;
    version.text = "Version " + versionText();
    version.at = {4, kPictureHeight + 8, kPictureWidth, 10};
    version.centered = true;
    version.bold = true;
    d.add(version);
    return d;
}

ui::WindowDef aboutDefinition() {
    ui::WindowDef d;
    d.name = "ABOUT$WINDOW";
    d.title = "About";
    d.kind = ui::WindowKind::kDialog;
    d.width = kPictureWidth + 16;
    d.height = kPictureHeight + 52;
    d.centered = true;
    d.addImage(ui::kProgramPicture, {8, 8, kPictureWidth, kPictureHeight});
    ui::ControlDef version;
    version.kind = ui::ControlKind::kString;
    version.text = "Version " + versionText();
    version.at = {8, kPictureHeight + 12, kPictureWidth, 10};
    version.centered = true;
    d.add(version);
    d.addButton("&OK", {(kPictureWidth + 16) / 2 - 25, kPictureHeight + 30, 50, 14}, true);
    d.controls.back().isCancel = true;  // Escape closes it as well
    return d;
}

void Splash() {
    ui::Window w(splashDefinition());
    while (w.waitForEvent()) {
        int event = currentEvent();
        if (event == kEventOpenWindow) w.setTimer(300);
        bool click = event == kEventAlertKey &&
                     (keyCode() == kMouseLeft || keyCode() == kMouseRight || keyCode() == kMouseLeft2);
        if (event == kEventTimer || click) w.close();
    }
    w.close();
    ui::postEvent(1105, 0, 1);  // the frame starts the locations browse
}

void About() {
    ui::WindowDef def = aboutDefinition();
    const int ok = int(def.controls.size());
    bool splashClosed = false;
    {
        ui::Window w(def);
        while (w.waitForEvent()) {
            if (currentEvent() == kEventAccepted && acceptedControl() == ok) w.close();
            // The splash, closed by the command that opened About, tells the frame's thread, whose
            // current window this is: the frame still has to hear of it.
            if (currentEvent() == kSplashClosedEvent) splashClosed = true;
        }
    }
    if (splashClosed) ui::postEvent(kSplashClosedEvent, 0, 1);
}

}  // namespace sitedex::app::shell
