#pragma once
// What the start-up does with the data files of older versions, with no window of its own: the
// caller passes the driver that runs each job (a progress window on the desktop, the progress line
// on the command line).
//
// upgradeOlderDataFiles: each old file that opens (SITEDX.VLX, CATEGORI.VLX, CATHTML.VLX, in that
// order) is upgraded; a file that does not open is taken as absent, without a message. Before the
// locations it shows "New version detected!" and writes the export defaults to [Export]. A failed
// upgrade ends the whole run (the next would fail the same way); a cancelled one does not stop the
// others.
//
// The report tells whether every upgrade that ran completed: only then may the caller record data
// version 1.5, so that an upgrade that was cancelled or failed is offered again at the next start.
// Its notes tell the user what else to know (the backups kept, records not copied, a cancel).
//
// Callers: Main at start-up (thread 1, before the frame opens) and `sitedex upgrade`, with the data
// folder as the working directory.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/upgrade/upgrade_job.h"

namespace sitedex::app::upgrade {

// Runs the opened job to its end: in a progress window, or on the command line.
using JobDriver = std::function<void(UpgradeJob& job)>;

// One upgrade that ran.
struct UpgradeStep {
    UpgradeKind kind;
    UpgradeOutcome outcome;
    int64_t copied = 0;
    std::string backup;
};

struct UpgradeReport {
    bool ran = false;      // at least one old file was present
    bool complete = true;  // every upgrade that ran completed
    std::vector<UpgradeStep> steps;
    std::vector<std::string> notes;
};

// announce: show "New version detected!" before the locations (the desktop does; the command line
// has been asked to upgrade already).
UpgradeReport upgradeOlderDataFiles(const JobDriver& drive, bool announce = true);

// Whether an old file opens (it is closed again at once).
bool oldFilePresent(UpgradeKind kind);

// The notes as the one message shown after an upgrade ("" when there are none).
std::string upgradeNotesText(const UpgradeReport& report);

}  // namespace sitedex::app::upgrade
