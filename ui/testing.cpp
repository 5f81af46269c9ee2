#include "ui/testing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cassert>
#include <cstdlib>

#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/resources.h"
#include "ui/window_private.h"

namespace sitedex::ui {

void ensureApplication() {
    if (QApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "sitedex-test";
    static char* argv[] = {name, nullptr};
    auto* app = new QApplication(argc, argv);  // lives as long as the test program
    app->setQuitOnLastWindowClosed(false);
    loadResources();
    installWindowHooks();
}

bool pumpEventsUntil(const std::function<bool()>& done, int timeoutMilliseconds) {
    assert(!inProcedureThread() && "tests pump events from their own stack only");
    QElapsedTimer clock;
    clock.start();
    QTimer tick;  // wakes the loop so the clock is looked at even when nothing else happens
    tick.start(10);
    while (!done()) {
        if (clock.elapsed() >= timeoutMilliseconds) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void pumpEventsFor(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    pumpEventsUntil([&] { return clock.elapsed() >= milliseconds; }, milliseconds + 1000);
}

QWidget* widgetOfControl(Window& window, int control) { return window.internals()->widgetOf(control); }

void activateWindow(Window& window) {
    WindowPrivate* d = window.internals();
    if (d->sub && frameInternals() && frameInternals()->frame) {
        frameInternals()->frame->activateWindow();
        frameInternals()->frame->area()->setActiveSubWindow(d->sub);
    } else if (QWidget* w = d->placed()) {
        w->raise();
        w->activateWindow();
    }
    pumpEventsFor(30);
}

}  // namespace sitedex::ui
