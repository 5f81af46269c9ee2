#include "app/upgrade/progress_window.h"

#include "runtime/events.h"
#include "runtime/pictures.h"
#include "ui/window.h"

namespace sitedex::app::upgrade {

using namespace runtime;

ProgressWindow progressWindow(const std::string& name) {
    ProgressWindow p;
    ui::WindowDef& d = p.def;
    d.name = name;
    d.title = "Progress...";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 160;
    d.height = 64;
    d.timer = 1;
    d.alertKeys = {kEscKey};
    p.bar = d.addProgress(nullptr, {8, 6, 144, 10});
    p.line = d.addString({}, {8, 20, 144, 10});
    d.controls.back().centered = true;
    p.percent = d.addString({}, {8, 30, 144, 10});
    d.controls.back().centered = true;
    p.cancel = d.addButton("Cancel", {56, 44, 48, 14}, true);
    return p;
}

bool runJobInProgressWindow(runtime::Job& job, const std::string& windowName, const std::string& line) {
    const ProgressWindow p = progressWindow(windowName);
    ui::Window w(p.def);
    w.setTitle("Processing Records");
    w.setText(p.line, line);
    w.setText(p.percent, "0% Completed");
    w.setValue(p.bar, 0);

    int shown = 0;
    bool cancelled = false;
    bool ended = false;
    auto stop = [&] {
        // The job may still have to leave a whole result behind (close its files, finish a line).
        cancelled = true;
        job.cancel();
        while (runFor(job)) {
        }
        ended = true;
        w.post(kEventCloseWindow);
    };
    while (w.waitForEvent()) {
        const int event = currentEvent();
        if (event == kEventTimer && !ended) {
            const bool more = runFor(job);
            if (job.percent() != shown) {
                shown = job.percent();
                w.setValue(p.bar, shown);
                w.setText(p.percent, format("@N3", double(shown)) + "% Completed");
            }
            if (!more) {
                ended = true;
                w.setTimer(0);
                w.setText(p.percent, "Process Completed");
                w.post(kEventCloseWindow);
            }
        } else if (event == kEventAccepted && acceptedControl() == p.cancel && !ended) {
            stop();
        } else if (event == kEventAlertKey && keyCode() == kEscKey && !ended) {
            stop();
        } else if (event == kEventCloseWindow && !ended) {
            // The close box: the same as Cancel.
            cancelled = true;
            job.cancel();
            while (runFor(job)) {
            }
            ended = true;
        }
    }
    w.close();
    return !cancelled;
}

}  // namespace sitedex::app::upgrade
