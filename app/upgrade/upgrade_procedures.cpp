#include "app/upgrade/upgrade_procedures.h"

#include "app/upgrade/progress_window.h"

namespace sitedex::app::upgrade {

namespace {

void runOne(UpgradeKind kind) {
    UpgradeJob job(kind);
    if (job.open())
        driveInProgressWindow(job);
}

}  // namespace

void driveInProgressWindow(UpgradeJob& job) {
    runJobInProgressWindow(job, job.files().windowName, job.files().line);
}

void UpgradeSITEDX() {
    runOne(UpgradeKind::kLocations);
}
void UpgradeCategories() {
    runOne(UpgradeKind::kCategories);
}
void UpgradeCatHTML() {
    runOne(UpgradeKind::kCatHtml);
}

}  // namespace sitedex::app::upgrade
