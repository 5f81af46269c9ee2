#pragma once
// The report procedures of the Reports menu: "PrintURL:K_Description", "PrintURL:K_Location",
// "PrintURL:K_Category", "PrintURL:K_Rating", "PrintURL:K_Keyword" and "PrintCAT:K_Category".
//
// Each opens its file through the use counts, generates its pages in the progress window
// ("Generating Report", Cancel discards everything), shows them in ReportPreview and prints them on
// the program's printer when the preview answers that the user chose Print. An empty file gives no
// preview (the user is told there is nothing to print). The procedure's own response is
// ResponseCompleted once the pages were generated (whether printed or not), ResponseCancelled
// otherwise.
//
// Callers: the frame's menu (started by name on a thread of their own).

#include "app/reports/report_designs.h"

namespace sitedex::app::reports {

// Runs the report of that design (the body of each named procedure).
void printReport(const ReportDesign& design);

// Prints the pages on the program's printer in a progress window ("Printing Report"); a printer
// that is missing or fails is reported to the user. Returns whether every page went out.
bool printPages(const ui::ReportPages& pages, const std::string& title);

// Registers the six procedures under their names.
void registerReportProcedures();

}  // namespace sitedex::app::reports
