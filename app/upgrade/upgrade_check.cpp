#include "app/upgrade/upgrade_check.h"

#include "data/access.h"
#include "runtime/hooks.h"
#include "runtime/settings_file.h"

namespace sitedex::app::upgrade {

namespace {

std::string plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char* recordsOf(UpgradeKind kind) {
    switch (kind) {
        case UpgradeKind::kLocations:
            return "locations";
        case UpgradeKind::kCategories:
            return "categories";
        case UpgradeKind::kCatHtml:
            break;
    }
    return "HTML snippets";
}

}  // namespace

bool oldFilePresent(UpgradeKind kind) {
    data::FileDecl& file = *upgradeFiles(kind).oldFile;
    if (data::open(file, data::kAccessRead | data::kShareDenyNone) != 0)
        return false;
    data::close(file);
    return true;
}

UpgradeReport upgradeOlderDataFiles(const JobDriver& drive, bool announce) {
    UpgradeReport report;
    for (UpgradeKind kind : {UpgradeKind::kLocations, UpgradeKind::kCategories, UpgradeKind::kCatHtml}) {
        if (!oldFilePresent(kind))
            continue;
        if (kind == UpgradeKind::kLocations) {
            if (announce)
                runtime::messageBox(
                    "To allow you to take full advantage of all the new features in this version of Sitedex, your "
                    "files "
                    "must be updated.  Press OK to begin upgrading files.",
                    "New version detected!", runtime::kIconNone, runtime::kButtonOk);
            runtime::writeSetting("Export", "SiteInfo", "1");
            runtime::writeSetting("Export", "Ratings", "1");
            runtime::writeSetting("Export", "Type", "HTML - Table");
            runtime::writeSetting("Export", "Categories", "All");
            runtime::writeSetting("Export", "Name", "SDXEXP.HTM");
        }
        report.ran = true;
        UpgradeJob job(kind);
        const std::string oldName = std::string(job.files().oldDiskName) + ".VLX";
        if (job.open())
            drive(job);
        report.steps.push_back({kind, job.outcome(), job.copied(), job.backup()});
        if (!job.backup().empty())
            report.notes.push_back("The " + job.newFileName() + " that was already in the data folder was kept as " +
                                   job.backup() + ".");
        switch (job.outcome()) {
            case UpgradeOutcome::kCompleted:
                if (job.notCopied() > 0)
                    report.notes.push_back(plural(job.notCopied(), "record", "records") + " of " + oldName +
                                           " could not be copied into " + job.newFileName() + ".");
                break;
            case UpgradeOutcome::kCancelled:
                report.complete = false;
                report.notes.push_back("The upgrade of " + oldName + " was cancelled after " +
                                       plural(job.copied(), "record", "records") + " (" + recordsOf(kind) +
                                       "); it will be offered again the next time Sitedex starts.");
                break;
            default:
                // It failed (and said why): the next would fail the same way.
                report.complete = false;
                return report;
        }
    }
    return report;
}

std::string upgradeNotesText(const UpgradeReport& report) {
    std::string text;
    for (const std::string& n : report.notes)
        text += (text.empty() ? "" : "\n") + n;
    return text;
}

}  // namespace sitedex::app::upgrade
