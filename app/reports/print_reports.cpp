#include "app/reports/print_reports.h"

#include "app/reports/progress_window.h"
#include "app/reports/report_job.h"
#include "app/reports/report_preview.h"
#include "data/dictionary.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "ui/report_output.h"
#include "ui/window.h"

namespace sitedex::app::reports {

using namespace runtime;

bool printPages(const ui::ReportPages& pages, const std::string& title) {
    std::string why;
    if (!ui::canPrint(&why)) {
        messageBox(why, "Print", kIconExclamation, kButtonOk, kButtonOk);
        return false;
    }
    auto job = ui::PageOutputJob::toPrinter(pages, title);
    const bool finished = runWithProgress(*job, "Printing Report");
    if (finished && !job->succeeded())
        messageBox("The report was not printed.  " + job->error(), "Print", kIconExclamation, kButtonOk, kButtonOk);
    return job->succeeded();
}

void printReport(const ReportDesign& design) {
    CallRequest() = 0;  // 1
    CallResponse() = 0;
    long response = ResponseCancelled;
    data::useFile(*design.file);

    ReportJob job(design, ui::printerPaper());    // 2
    const ProgressWindow& pw = progressWindow();  // 3
    bool empty = false;
    {
        ui::Window w(pw.def);
        w.setValue(pw.bar, 0);
        w.setText(pw.percentText, "0% Completed");
        w.setTitle("Generating Report");
        int shown = 0;
        while (w.waitForEvent()) {
            const int event = currentEvent();
            if (event == kEventOpenWindow) {  // 4
                if (!job.start()) {
                    empty = job.recordsProcessed() == 0;
                    w.post(kEventCloseWindow);
                }
            } else if (event == kEventTimer && !job.ended()) {  // 5, 6
                const bool more = runFor(job);
                if (job.percent() != shown) {
                    shown = job.percent();
                    w.setValue(pw.bar, shown);
                    w.setText(pw.percentText, percentText(shown));
                }
                if (!more) {
                    if (job.completed())
                        response = ResponseCompleted;
                    w.post(kEventCloseWindow);
                }
            } else if ((event == kEventAccepted && acceptedControl() == pw.cancel) ||  // 7
                       (event == kEventAlertKey && keyCode() == kEscKey) ||
                       (event == kEventCloseWindow && !job.ended())) {
                job.cancel();
                job.step();
                response = ResponseCancelled;
                w.post(kEventCloseWindow);
            }
        }
        w.close();
    }
    if (empty) {
        messageBox(design.categories ? "There are no categories to print." : "There are no locations to print.",
                   design.title, kIconAsterisk, kButtonOk, kButtonOk);
    }
    if (response == ResponseCompleted) {  // 8
        ui::ReportPages pages = job.takePages();
        ReportPreview(pages, design.title);
        if (CallResponse() == ResponseCompleted)
            printPages(pages, design.title);
    }
    data::releaseFile(*design.file);
    CallResponse() = response;
}

void registerReportProcedures() {
    for (const ReportDesign& d : reportDesigns()) {
        const ReportDesign* design = &d;
        registerProcedure(d.procedure, [design] { printReport(*design); });
    }
}

}  // namespace sitedex::app::reports
