#pragma once
// The three upgrade procedures: UpgradeSITEDX, UpgradeCategories and UpgradeCatHTML each copy their
// old file into the current one (upgrade_job.h) in a progress window, on the caller's thread, and
// return when the window has closed. The start-up's run over all three is upgrade_check.h.
//
// Callers: Main at start-up, through upgradeOlderDataFiles with driveInProgressWindow.

#include "app/upgrade/upgrade_check.h"

namespace sitedex::app::upgrade {

void UpgradeSITEDX();
void UpgradeCategories();
void UpgradeCatHTML();

// The desktop's driver: the job's progress window.
void driveInProgressWindow(UpgradeJob& job);

}  // namespace sitedex::app::upgrade
