#pragma once
// Adds the web addresses of one clipboard text to the Locations file, as a job taken on a bit at a
// time (runtime/jobs.h), so that a long copy does not hold up the monitor's window.
//
// For every address the scan finds (clipboard_scan.h), in order: the category is looked up and
// added to the Categories file when missing (also for an in-page link, which then adds no location);
// an empty description becomes "Added from clipboard <date d3> <time t3> <address>"; an address
// already in the file (letter case ignored) is passed over; otherwise the location is added with
// rating 0. An add that fails with anything but a duplicate key shows a stop box with the error
// text followed by " adding location": Abort ends the program, Ignore goes on with the next address.
//
// When the clipboard holds HTML beside its plain text, the HTML is scanned first (it carries the
// link targets and their texts), then the plain text; an address found in both is added once.
//
// Callers: the clipboard monitor, on its own thread, with the Locations and Categories files open
// there. Nothing here reads or changes the clipboard.

#include <cstddef>
#include <memory>
#include <string>

#include "app/clipboard/clipboard_scan.h"
#include "runtime/jobs.h"

namespace sitedex::app::clipboard {

class ClipboardCapture : public runtime::Job {
public:
    // html: the clipboard's HTML as bytes (UTF-8, or else read as Windows-1252); empty when none.
    ClipboardCapture(std::string text, std::string html);

    bool step() override;
    int percent() const override;
    void cancel() override { m_cancelled = true; }

    // Locations added so far, and the address of the last one.
    int added() const { return m_added; }
    const std::string& lastAdded() const { return m_lastAdded; }

private:
    // Adds one address; a failed add leaves the stop box's text in `failure`.
    void capture(const ScannedLocation& found, std::string& failure);

    std::unique_ptr<ClipboardScanner> m_scanners[2];  // the HTML, then the plain text
    std::size_t m_current = 0;
    std::size_t m_done = 0;
    bool m_cancelled = false;
    int m_added = 0;
    std::string m_lastAdded;
};

}  // namespace sitedex::app::clipboard
