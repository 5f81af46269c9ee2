#pragma once
// The upgrade of older data files at start-up, and its three procedures.
//
//   - UpgradeSITEDX, UpgradeCategories, UpgradeCatHTML: each copies its old file into the current
//     one (upgrade_job.h) in a progress window, on the caller's thread, and returns when the window
//     has closed.
//   - upgradeOlderDataFiles: what the start-up does when the settings record a data version below
//     1.5. Each old file that opens (SITEDX.VLX, CATEGORI.VLX, CATHTML.VLX, in that order) is
//     upgraded; a file that does not open is taken as absent, without a message. Before the
//     locations it shows "New version detected!" and writes the export defaults to [Export]. A
//     failed upgrade ends the whole run (the next would fail the same way); a cancelled one does
//     not stop the others.
//
// The report tells whether every upgrade that ran completed: only then may the caller record data
// version 1.5, so that an upgrade that was cancelled or failed is offered again at the next start.
// Its notes tell the user what else to know (the backups kept, records not copied, a cancel).
//
// Callers: Main at start-up (thread 1, before the frame opens) and `sitedex upgrade`, with the data
// folder as the working directory.

#include <functional>
#include <string>
#include <vector>

#include "app/upgrade/upgrade_job.h"

namespace sitedex::app::upgrade {

void UpgradeSITEDX();
void UpgradeCategories();
void UpgradeCatHTML();

// Runs the opened job to its end: in a progress window, or on the command line.
using JobDriver = std::function<void(UpgradeJob& job)>;
// The desktop's driver: the job's progress window.
void driveInProgressWindow(UpgradeJob& job);

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
