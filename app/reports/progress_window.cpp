#include "app/reports/progress_window.h"

#include "runtime/events.h"
#include "runtime/pictures.h"
#include "ui/window.h"

namespace sitedex::app::reports {

using namespace runtime;

namespace {
ProgressWindow makeProgressWindow() {
    ProgressWindow p;
    ui::WindowDef& d = p.def;
    d.name = "PROGRESS$WINDOW";
    d.title = "Progress...";
    d.kind = ui::WindowKind::kDialog;
    d.width = 150;
    d.height = 58;
    d.centered = true;
    d.timer = 1;
    d.alertKeys = {kEscKey};
    p.bar = d.addProgress(nullptr, {15, 8, 120, 12});
    p.percentText = d.addString("0% Completed", {15, 24, 120, 10});
    d.controls.back().centered = true;
    p.cancel = d.addButton("Cancel", {55, 38, 40, 14}, true);
    return p;
}
}  // namespace

const ProgressWindow& progressWindow() {
    static const ProgressWindow p = makeProgressWindow();
    return p;
}

std::string percentText(int percent) {
    return format("@N3", double(percent)) + "% Completed";
}

bool runWithProgress(runtime::Job& job, const std::string& title) {
    const ProgressWindow& pw = progressWindow();
    ui::Window w(pw.def);
    w.setTitle(title);
    bool cancelled = false;
    int shown = 0;
    auto cancel = [&] {
        cancelled = true;
        job.cancel();
        while (job.step()) {
        }
        w.post(kEventCloseWindow);
    };
    while (w.waitForEvent()) {
        const int event = currentEvent();
        if (event == kEventTimer) {
            const bool more = runtime::runFor(job);
            if (job.percent() != shown) {
                shown = job.percent();
                w.setValue(pw.bar, shown);
                w.setText(pw.percentText, percentText(shown));
            }
            if (!more) {
                w.setTimer(0);
                w.post(kEventCloseWindow);
            }
        } else if ((event == kEventAccepted && acceptedControl() == pw.cancel) ||
                   (event == kEventAlertKey && keyCode() == kEscKey)) {
            cancel();
        } else if (event == kEventCloseWindow && !cancelled && w.timer() != 0) {
            cancel();  // the close box: the same as Cancel
        }
    }
    w.close();
    return !cancelled;
}

}  // namespace sitedex::app::reports
