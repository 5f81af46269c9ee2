// ImportFile: one import run in its progress window (see import_main.h).
#include <optional>
#include <string>

#include "app/import/ask_category.h"
#include "app/import/import_job.h"
#include "app/import/import_main.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/jobs.h"
#include "runtime/pictures.h"
#include "runtime/procedures.h"
#include "ui/window.h"

namespace sitedex::app::importing {

using namespace runtime;

ProgressWindow importProgressWindow(int* barValue) {
    ProgressWindow p;
    ui::WindowDef& d = p.def;
    d.name = "IMPORTFILE$WINDOW";
    d.title = "Progress...";
    d.kind = ui::WindowKind::kDialog;
    d.width = 200;
    d.height = 72;
    d.centered = true;
    d.timer = 1;
    p.bar = d.addProgress(barValue, {8, 8, 184, 12});
    p.text = d.addString({}, {8, 24, 184, 10});
    d.controls.back().centered = true;
    p.percent = d.addString({}, {8, 36, 184, 10});
    d.controls.back().centered = true;
    p.cancel = d.addButton("Cancel", {75, 52, 50, 14}, true);
    return p;
}

void ImportFile() {
    ImportRequest request;
    request.path = NameImport();
    while (!request.path.empty() && request.path.back() == ' ')
        request.path.pop_back();
    request.type = documentTypeOf(TypeImport());
    request.method = categoryMethodOf(MethodImport());
    request.category = CategoryImport();
    // Short batches: the window commits before other windows run anyway.
    request.batchTime = std::chrono::milliseconds(100);
    ImportJob* running = nullptr;
    request.ask = [&running](const std::string& guess) -> std::optional<std::string> {
        CallRequest() = RequestSelect;
        if (AskCategory(guess) == AskOutcome::kStopImport) {
            if (running)
                running->cancel();
            return std::nullopt;
        }
        if (CallResponse() != ResponseCompleted)
            return std::nullopt;
        return data::getString(data::findField("CAT:CATEGORY"));
    };

    data::useFile(data::Categories);
    data::useFile(data::SITEDX);
    {
        ImportJob job(std::move(request));
        running = &job;
        if (!job.open()) {
            messageBox(job.problem(), "Import", kIconExclamation, kButtonOk, kButtonOk);
        } else {
            int bar = 0;
            const ProgressWindow pw = importProgressWindow(&bar);
            {
                ui::Window w(pw.def);
                w.setTitle("Processing Records");
                w.setText(pw.text, "Importing");
                w.setText(pw.percent, "0% Completed");
                int shown = 0;
                while (w.waitForEvent()) {
                    const int event = currentEvent();
                    if (event == kEventTimer) {
                        const bool more = runFor(job);
                        // Other windows may write while this one waits for its next event.
                        job.commitBatch();
                        if (job.percent() != shown) {
                            shown = job.percent();
                            bar = shown;
                            w.setValue(pw.bar, bar);
                            w.setText(pw.percent, format("N3", shown) + "% Completed");
                        }
                        if (!more) {
                            w.setText(pw.percent, "Process Completed");
                            w.setTimer(0);
                            w.post(kEventCloseWindow);
                        }
                    } else if ((event == kEventAccepted && eventControl() == pw.cancel) ||
                               (event == kEventCloseWindow && !job.finished())) {
                        job.cancel();
                        runFor(job);
                        w.post(kEventCloseWindow);
                    }
                }
            }
            if (!job.finished()) {
                job.cancel();
                runFor(job);
            }
            const char* title = !job.problem().empty() ? "Import Stopped"
                                : job.cancelled()      ? "Import Cancelled"
                                                       : "Import Completed";
            messageBox(job.summary(), title, job.problem().empty() ? kIconAsterisk : kIconExclamation, kButtonOk,
                       kButtonOk);
        }
        running = nullptr;
    }
    data::releaseFile(data::SITEDX);
    data::releaseFile(data::Categories);
}

}  // namespace sitedex::app::importing
