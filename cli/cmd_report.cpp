// sitedex report: one of the printed lists written as a PDF document, the same pages the desktop
// program previews and prints.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "app/reports/report_designs.h"
#include "app/reports/report_job.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/progress.h"
#include "cli/report_command.h"
#include "ui/report_engine.h"
#include "ui/report_output.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex report REPORT --pdf FILE [--data-dir DIR] [--paper PAPER]\n"
    "Writes one of the printed lists as a PDF document: the same pages the desktop program previews\n"
    "and prints (Reports menu).\n"
    "  REPORT         description, location, category, rating or keyword: every location, in that\n"
    "                 order; categories: every category with its description\n"
    "  --pdf FILE     the PDF to write; an existing FILE is replaced only once the whole report has\n"
    "                 been written (Ctrl+C or a failure leave it as it was)\n"
    "  --paper PAPER  letter, a4, legal or a5 (default: letter where the locale measures in inches,\n"
    "                 else a4)\n"
    "While standard error is a terminal, a progress line shows how far the report has come.\n";

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    char here[4096];
    if (!::getcwd(here, sizeof here))
        return path;
    return std::string(here) + "/" + path;
}

}  // namespace

int runReport(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {"pdf", "paper"}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    const app::reports::ReportDesign* design = app::reports::findReport(p.positional[0]);
    if (!design) {
        return usageError(
            "report",
            "unknown report '" + p.positional[0] + "' (description, location, category, rating, keyword, categories)",
            kUsage);
    }
    if (!p.options.count("pdf") || p.options["pdf"].empty())
        return usageError("report", "--pdf FILE is needed: the report is written as a PDF document", kUsage);
    ui::ensureHeadlessGui();
    ui::PaperSize paper = ui::localePaper();
    if (p.options.count("paper") && !ui::paperByName(p.options["paper"], paper))
        return usageError("report", "unknown paper '" + p.options["paper"] + "' (letter, a4, legal, a5)", kUsage);

    // The output is looked at before the records are read: a folder that is missing or cannot be
    // written to is reported at once, not after a long run.
    const std::string path = absolutePath(p.options["pdf"]);
    ui::ReportPages pages;
    auto pdf = ui::PageOutputJob::toPdf(pages, path, design->title);
    if (!pdf->error().empty()) {
        complain("report", pdf->error());
        return kExitRefused;
    }

    DataSession session(dir, {design->file});
    if (!session.ok())
        return kExitRefused;
    return session.run([&] {
        app::reports::ReportJob job(*design, paper);
        if (!job.start()) {
            complain("report", design->categories ? "there are no categories to print; nothing was written"
                                                  : "there are no locations to print; nothing was written");
            return kExitRefused;
        }
        if (!runToEnd(job, "Generating report") || job.cancelled()) {
            complain("report", "cancelled; nothing was written");
            return kExitRefused;
        }
        pages = job.takePages();
        if (!runToEnd(*pdf, "Writing " + p.options["pdf"]) || pdf->cancelled()) {
            complain("report", "cancelled; nothing was written");
            return kExitRefused;
        }
        if (!pdf->succeeded()) {
            complain("report", pdf->error());
            return kExitRefused;
        }
        return kExitOk;
    });
}

}  // namespace sitedex::cli
