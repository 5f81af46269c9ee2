#pragma once
// Where kept report pages go: the printer chosen in File > Print Setup, or a PDF file.
//
// Printing and writing PDF are long jobs (runtime/jobs.h): each step draws one page, so a progress
// window (or the command line's progress line) keeps the program responsive and can cancel. A PDF is
// written to a temporary file beside the target and put in its place only when the last page is
// done, so a cancelled or failed run leaves an existing file as it was. A printout follows the
// page range, the page order and the copies chosen in the printer's dialog, and is aborted at the
// printer when it is cancelled.
//
// Callers: report procedures, the report preview, the text viewer, the report command.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/jobs.h"
#include "ui/report_engine.h"

namespace sitedex::ui {

// The paper of the program's printer as its pages are printed (orientation applied).
PaperSize printerPaper();
// Paper for the command line: Letter where the desktop's locale measures in inches, else A4.
PaperSize localePaper();
bool paperByName(const std::string& name, PaperSize& paper);  // "letter", "a4", "legal", "a5"

// Whether printing can go anywhere: a printer is installed, or Print Setup chose a file. When it
// cannot, `why` tells the user what to do instead.
bool canPrint(std::string* why = nullptr);

class PageOutputJob : public runtime::Job {
public:
    // REQUIRES: the pages outlive the job.
    static std::unique_ptr<PageOutputJob> toPrinter(const ReportPages& pages, const std::string& title);
    static std::unique_ptr<PageOutputJob> toPdf(const ReportPages& pages, const std::string& path,
                                                const std::string& title);
    ~PageOutputJob() override;

    bool step() override;
    int percent() const override;
    void cancel() override;

    // After the end: whether every page went out (and the file is in place); else what went wrong
    // ("" when cancelled).
    bool succeeded() const { return m_done && m_error.empty() && !m_cancelled; }
    bool cancelled() const { return m_cancelled; }
    const std::string& error() const { return m_error; }
    // Pages drawn so far (a printout with copies counts each copy).
    int pagesDone() const { return m_next; }

    struct Target;  // the device behind the job

private:
    PageOutputJob(const ReportPages& pages, std::unique_ptr<Target> target);
    void finish();

    const ReportPages& m_pages;
    std::unique_ptr<Target> m_target;
    bool m_toPrinter = false;
    std::vector<int> m_order;  // the pages to draw, by index, in order
    int m_next = 0;
    bool m_done = false;
    bool m_cancelled = false;
    std::string m_error;
};

// The platform's dialog that asks where to save a PDF (window-modal; other windows go on working).
// Returns the chosen path, or "" when the user cancelled.
std::string askPdfFileName(const std::string& suggested);
// Tests: answers the dialog once it is up (the path to use, or "" for Cancel); empty: the user does.
void setPdfFileNameResponder(std::function<std::string(const std::string& suggested)> responder);

}  // namespace sitedex::ui
