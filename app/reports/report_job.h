#pragma once
// Generating a report: reads every record of the design's file in the order of its key and prints
// one detail band per record, as a long job with no window (runtime/jobs.h). The report procedures
// drive it from their progress windows, `sitedex report` from the command line.
//
// The run follows the printed lists' rules: records to process = the file's record count when the
// run starts; percent = records read x 100 / records to process, never above 100 (the file may grow
// meanwhile); the file is switched into its fast sequential scanning mode for the run and back at
// the end. A key that leaves out records whose key value is blank (description, location, category
// name) would leave those records out of the list: they are printed first, in record order, as the
// blank value sorts lowest, so that every record of the file is printed. A view that cannot be
// opened shows warning 36 and the records are read all the same; a read error shows warning 35
// naming the file and ends the run with the pages made so far, as a completed run.
//
// Callers: the procedure or command that owns the run, on the thread that opened the file (which
// must stay open while the job lives).

#include <cstdint>

#include "app/reports/report_designs.h"
#include "data/views.h"
#include "runtime/jobs.h"
#include "ui/report_engine.h"

namespace sitedex::app::reports {

class ReportJob : public runtime::Job {
public:
    ReportJob(const ReportDesign& design, ui::PaperSize paper);
    ~ReportJob() override;
    ReportJob(const ReportJob&) = delete;
    ReportJob& operator=(const ReportJob&) = delete;

    // Opens the view and reads the first record. False when the file has none: no report.
    bool start();
    // Prints the current record and reads the next.
    bool step() override;
    int percent() const override { return m_percent; }
    void cancel() override { m_cancelRequested = true; }

    bool ended() const { return m_ended; }
    bool completed() const { return m_ended && !m_cancelled; }
    bool cancelled() const { return m_cancelled; }
    int64_t recordsToProcess() const { return m_toProcess; }
    int64_t recordsProcessed() const { return m_processed; }
    int pageCount() const { return m_report.pageCount(); }

    // After a completed run: ends the last page and hands the pages over.
    ui::ReportPages takePages();

private:
    bool readNext();
    void end(bool cancelled);

    const ReportDesign& m_design;
    ui::ReportBuilder m_report;
    data::View m_view;
    data::KeyDecl* m_key = nullptr;
    bool m_blankPass = false;  // reading, in record order, the records the key leaves out
    bool m_quickScan = false;
    bool m_started = false;
    bool m_cancelRequested = false;
    bool m_cancelled = false;
    bool m_ended = false;
    int64_t m_toProcess = 0;
    int64_t m_processed = 0;
    int m_percent = 0;
};

}  // namespace sitedex::app::reports
