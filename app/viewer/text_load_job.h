#pragma once
// Loading a viewer's text file into its line list, as a long job with no window (runtime/jobs.h):
// each step reads one line through the text file driver. The viewer's loading window drives it.
//
// Total = the file's size in bytes when the load starts; processed = the bytes of the lines read
// (their line ends included); percent = processed x 100 / total, never above 100. Lines end with
// CR LF or LF alone (a file written on any desktop reads as its lines); the blanks and the CR that
// close a line are dropped. A line longer than 255 bytes is cut to 255 by the driver.
//
// Callers: the text viewers. REQUIRES: the file is open and stays open while the job lives.

#include <cstdint>
#include <string>
#include <vector>

#include "data/declarations.h"
#include "runtime/jobs.h"

namespace sitedex::app::viewer {

class TextLoadJob : public runtime::Job {
public:
    TextLoadJob(data::FileDecl& file, std::vector<std::string>& lines);

    // Positions at the start of the file and reads the first line.
    void start();
    bool step() override;
    int percent() const override;
    void cancel() override { m_ended = true; }

    bool ended() const { return m_ended; }
    int64_t total() const { return m_total; }
    int64_t processed() const { return m_processed; }

private:
    bool readLine();

    data::FileDecl& m_file;
    std::vector<std::string>& m_lines;
    int64_t m_total = 0;
    int64_t m_processed = 0;
    bool m_ended = false;
};

}  // namespace sitedex::app::viewer
