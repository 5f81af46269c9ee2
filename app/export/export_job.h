#pragma once
// The export writer as a job with no window: it turns the Locations file into the output of one
// type ("HTML - Simple", "HTML - Table", "HTML - Frame", "ASCII", "Comma-Delimited" or
// "Bookmark File"). The progress window ExportFile and `sitedex export` drive the same job.
//
//     ExportJob job(options);          // REQUIRES: SITEDX, Categories and CatHTML in use on this thread
//     if (!job.start()) report(job.error());       // the export file could not be made
//     while (runtime::runFor(job)) show(job.percent());
//     if (!job.succeeded()) report(job.error());   // unless job.readFailed(): warning 35 was shown
//
// The job reads the locations in category order (then location or description) through a view,
// a stretch of about a millisecond per step in one snapshot of the file; with `selectedOnly` it passes over the
// locations of other categories (letter case and trailing blanks ignored). The first step writes the header, the last
// the closing lines; cancel() makes the next step the closing one, so a cancelled export is still a complete page of
// what was written so far. Records are never changed.
//
// Output goes through OutputFiles (app/export/output_files.h): every file is written beside its
// final name and put in place only at the end of a run that wrote everything, so a failed run —
// a write error, or a read error in the Locations file (standard warning 35 is then shown) —
// leaves the earlier files as they were. The first write error stops the run.
//
// Callers: the export procedures and the command line, on one thread.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/export/export_options.h"
#include "app/export/output_files.h"
#include "data/views.h"
#include "runtime/jobs.h"

namespace sitedex::app::exporting {

class Writer;
class WriterContext;

class ExportJob final : public runtime::Job {
public:
    explicit ExportJob(ExportOptions options);
    ~ExportJob() override;

    // Creates the export file. False when it cannot be made: error() says why and nothing was
    // written.
    bool start();

    // One step reads the locations of about this long in one snapshot of the Locations file
    // (data::send "SNAPSHOT"), given back before the step returns; 0: one location a step.
    void setStretch(std::chrono::microseconds stretch) { m_stretch = stretch; }

    bool step() override;
    int percent() const override { return m_percent; }
    void cancel() override { m_cancelled = true; }

    // After the end.
    bool succeeded() const { return m_succeeded; }
    bool cancelled() const { return m_cancelled; }
    // A read error of the Locations file stopped the run (standard warning 35 has been shown).
    bool readFailed() const { return m_readFailed; }
    // Why the run failed, in the program's words, ending with what became of the earlier files.
    const std::string& error() const { return m_error; }
    int64_t exported() const { return m_exported; }
    // The files put in place, the export file first.
    const std::vector<std::string>& files() const { return m_files.committed(); }

private:
    enum class Stage { kNotStarted, kHeader, kRecords, kClosing, kDone };

    bool fail();
    void finish();
    void exportNext();
    void count();

    ExportOptions m_options;
    OutputFiles m_files;
    LineFile m_exportFile;
    LineFile m_pageFile;
    std::unique_ptr<WriterContext> m_context;
    std::unique_ptr<Writer> m_writer;
    data::View m_view;
    Stage m_stage = Stage::kNotStarted;
    bool m_cancelled = false;
    bool m_readFailed = false;
    bool m_succeeded = false;
    std::string m_error;
    std::string m_selected;  // the selected category, trailing blanks removed
    int64_t m_toProcess = 0;
    int64_t m_processed = 0;
    int64_t m_exported = 0;
    int m_percent = 0;
    std::chrono::microseconds m_stretch{1000};
};

}  // namespace sitedex::app::exporting
