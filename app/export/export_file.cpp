#include "app/export/export_file.h"

#include "app/export/export_job.h"
#include "app/export/export_options.h"
#include "app/shell/globals.h"
#include "data/dictionary.h"
#include "runtime/dates.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/pictures.h"
#include "ui/window.h"

namespace sitedex::app::exporting {

using namespace runtime;

ExportFileWindow exportFileWindow(int* progress, std::string* text, std::string* percent) {
    ExportFileWindow p;
    ui::WindowDef& d = p.def;
    d.name = "EXPORTFILE$PROGRESS";
    d.title = "Progress...";
    d.kind = ui::WindowKind::kDialog;
    d.centered = true;
    d.width = 160;
    d.height = 70;
    d.timer = 1;
    d.alertKeys = {kEscKey};
    p.progress = d.addProgress(progress, {8, 8, 144, 12});
    ui::ControlDef t;
    t.kind = ui::ControlKind::kString;
    t.at = {8, 24, 144, 10};
    t.textVariable = text;
    t.centered = true;
    p.text = d.add(t);
    t.at = {8, 35, 144, 10};
    t.textVariable = percent;
    p.percent = d.add(t);
    p.cancel = d.addButton("Cancel", {55, 50, 50, 14});
    return p;
}

namespace {

std::string percentLine(int percent) {
    return format("@N3", double(percent)) + "% Completed";
}

}  // namespace

void ExportFile() {
    data::useFile(data::CatHTML);
    data::useFile(data::Categories);
    data::useFile(data::SITEDX);
    std::optional<ExportOptions> options = optionsFrom(exportSettings(), shell::bodyInFrame() != 0, today());
    if (!options) {
        messageBox("The export type \"" + exportSettings().type + "\" is not one the program writes.", "Export",
                   kIconExclamation, kButtonOk);
    } else {
        ExportJob job(*options);
        if (job.start()) {
            int progress = 0;
            std::string text = "Exporting";
            std::string percent = percentLine(0);
            const ExportFileWindow pw = exportFileWindow(&progress, &text, &percent);
            ui::Window w(pw.def);
            w.setTitle("Processing Records");
            int shown = 0;
            bool running = true;
            while (w.waitForEvent()) {
                const int event = currentEvent();
                if (event == kEventTimer && running) {
                    running = runFor(job);
                    if (!running) {
                        percent = "Process Completed";
                        progress = 100;
                        w.redisplay();
                        w.setTimer(0);
                        w.post(kEventCloseWindow);
                    } else if (job.percent() != shown) {
                        shown = job.percent();
                        progress = shown;
                        percent = percentLine(shown);
                        w.redisplay(pw.progress);
                        w.redisplay(pw.percent);
                    }
                } else if ((event == kEventAccepted && eventControl() == pw.cancel) ||
                           (event == kEventAlertKey && keyCode() == kEscKey)) {
                    if (running)
                        job.cancel();
                    w.post(kEventCloseWindow);
                } else if ((event == kEventCloseWindow || event == kEventCloseDown) && running) {
                    job.cancel();
                }
            }
            w.close();
            // The closing lines of a cancelled run (nothing is left to do after a completed one).
            while (job.step()) {
            }
        }
        if (!job.succeeded() && !job.readFailed())
            messageBox(job.error(), "Export Error", kIconHand, kButtonOk);
    }
    data::releaseFile(data::SITEDX);
    data::releaseFile(data::Categories);
    data::releaseFile(data::CatHTML);
}

}  // namespace sitedex::app::exporting
