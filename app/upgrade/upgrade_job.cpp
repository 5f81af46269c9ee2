#include "app/upgrade/upgrade_job.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/upgrade/write_batch.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/hooks.h"

namespace sitedex::app::upgrade {

namespace {

const UpgradeFiles kLocations{
    &data::OldLocations,      &data::SITEDX, "SITEDX", "UpgradeSITEDX", "UPGRADESITEDX$PROGRESSWINDOW",
    "Upgrading Location File"};
const UpgradeFiles kCategories{
    &data::OldCategories,     &data::Categories, "CATEGORI", "UpgradeCategories", "UPGRADECATEGORIES$PROGRESSWINDOW",
    "Upgrading Category File"};
const UpgradeFiles kCatHtml{
    &data::OldCatHTML,    &data::CatHTML, "CATHTML", "UpgradeCatHTML", "UPGRADECATHTML$PROGRESSWINDOW",
    "Upgrading HTML File"};

constexpr const char* kMessageTitle = "Upgrade";

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Renames without ever replacing a file already there.
int renameKeeping(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the no-replace rename: a hard link refuses an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    if (::unlink(from.c_str()) != 0) {
        const int e = errno;
        ::unlink(to.c_str());
        return e;
    }
    return 0;
}

std::string errorDescription() {
    return data::errorText() + " (" + std::to_string(data::errorCode()) + ")";
}

// Copies a text field byte for byte into a field at least as wide, padded with blanks.
void copyText(const char* oldName, const char* newName) {
    const data::FieldRef from = data::findField(oldName), to = data::findField(newName);
    const uint32_t n = std::min(from.field->size, to.field->size);
    std::memcpy(to.data(), from.data(), n);
    std::memset(to.data() + n, ' ', to.field->size - n);
}

void fail(const std::string& text) {
    runtime::messageBox(text, kMessageTitle, runtime::kIconExclamation);
}

}  // namespace

const UpgradeFiles& upgradeFiles(UpgradeKind kind) {
    switch (kind) {
        case UpgradeKind::kLocations:
            return kLocations;
        case UpgradeKind::kCategories:
            return kCategories;
        case UpgradeKind::kCatHtml:
            break;
    }
    return kCatHtml;
}

UpgradeJob::UpgradeJob(UpgradeKind kind) : m_files(upgradeFiles(kind)) {}

UpgradeJob::~UpgradeJob() {
    if (m_outcome == UpgradeOutcome::kRunning)
        finish(UpgradeOutcome::kCancelled);
}

std::string UpgradeJob::newFileName() const {
    return m_files.newFile->name() + ".VLX";
}

bool UpgradeJob::open() {
    data::FileDecl& oldFile = *m_files.oldFile;
    data::FileDecl& newFile = *m_files.newFile;
    const std::string newName = newFileName();
    const std::string oldName = std::string(m_files.oldDiskName) + ".VLX";
    const std::string unchanged =
        "  Nothing was changed; the upgrade will be offered again the next time Sitedex starts.";
    m_outcome = UpgradeOutcome::kFailed;
    if (data::useCount(newFile) != 0) {
        fail(newName + " is in use; it cannot be upgraded now." + unchanged);
        return false;
    }
    // The old file first: when it cannot be read there is nothing to copy, and nothing may move.
    if (data::open(oldFile, data::kAccessRead | data::kShareDenyNone) != 0) {
        fail("The upgrade cannot read " + oldName + ": " + errorDescription() + "." + unchanged);
        return false;
    }
    m_oldOpen = true;

    if (exists(newName)) {
        std::string backup = newName + ".bak";
        for (int n = 2; exists(backup); ++n)
            backup = newName + ".bak" + std::to_string(n);
        if (int e = renameKeeping(newName, backup); e != 0) {
            finish(UpgradeOutcome::kFailed);
            fail("The upgrade cannot keep the existing " + newName + " as " + backup + ": " + std::strerror(e) + "." +
                 unchanged);
            return false;
        }
        m_backup = backup;
    }
    auto putBackupBack = [&] {
        if (m_backup.empty())
            return;
        ::unlink(newName.c_str());
        if (renameKeeping(m_backup, newName) == 0)
            m_backup.clear();
    };
    if (data::create(newFile) != 0 || data::open(newFile, data::kModeShared) != 0) {
        const std::string why = errorDescription();
        data::close(newFile);
        putBackupBack();
        finish(UpgradeOutcome::kFailed);
        fail("The upgrade cannot create " + newName + ": " + why + "." + unchanged);
        return false;
    }
    m_newOpen = true;

    data::send(oldFile, "QUICKSCAN=on");
    m_total = data::bytes(oldFile);
    if (data::set(oldFile) != 0) {
        data::ShowWarning(35, m_files.oldDiskName);
        finish(UpgradeOutcome::kFailed);
        return false;
    }
    m_outcome = UpgradeOutcome::kRunning;
    return true;
}

bool UpgradeJob::step() {
    if (m_outcome != UpgradeOutcome::kRunning)
        return false;
    if (m_cancelRequested) {
        finish(UpgradeOutcome::kCancelled);
        return false;
    }
    data::FileDecl& oldFile = *m_files.oldFile;
    const int64_t copiedBefore = m_copied;
    bool ended = false, readFailed = false;
    std::string addFailure;
    {
        WriteBatch batch(*m_files.newFile);
        for (;;) {
            const int32_t e = data::next(oldFile);
            if (e != 0) {
                ended = true;
                readFailed = e != data::kErrRecordNotAvailable;
                if (readFailed)
                    data::saveCurrentError();  // for the warning, once the batch is written
                break;
            }
            m_processed += data::bytes(oldFile);
            if (!copyRecord(addFailure) && !addFailure.empty())
                break;  // asked about once the batch is written
            if (batch.due())
                break;
        }
        if (!batch.end()) {
            const std::string why = errorDescription();
            m_notCopied += m_copied - copiedBefore;
            m_copied = copiedBefore;
            finish(UpgradeOutcome::kFailed);
            fail("The upgrade could not write " + newFileName() + ": " + why +
                 ".  The upgrade will be offered again the next time Sitedex starts.");
            return false;
        }
    }
    if (readFailed) {
        data::ShowWarning(35, m_files.oldDiskName);
        finish(UpgradeOutcome::kFailed);
        return false;
    }
    if (!addFailure.empty() && runtime::messageBox(addFailure, "Upgrade Error", runtime::kIconHand,
                                                   runtime::kButtonAbort | runtime::kButtonIgnore,
                                                   runtime::kButtonIgnore) == runtime::kButtonAbort)
        runtime::haltProgram(addFailure);
    if (ended) {
        finish(UpgradeOutcome::kCompleted);
        return false;
    }
    return true;
}

int UpgradeJob::percent() const {
    if (m_outcome == UpgradeOutcome::kCompleted)
        return 100;
    if (m_total <= 0)
        return 0;
    return int(std::min<int64_t>(100, m_processed * 100 / m_total));
}

bool UpgradeJob::copyRecord(std::string& failure) {
    data::FileDecl& oldFile = *m_files.oldFile;
    data::FileDecl& newFile = *m_files.newFile;
    newFile.clear();
    if (&newFile == &data::SITEDX) {
        copyText("OL:LOCATION", "URL:LOCATION");
        copyText("OL:DESCRIPTION", "URL:DESCRIPTION");
        copyText("OL:CATEGORY", "URL:CATEGORY");
        data::setNumber(data::findField("URL:RATING"), data::getNumber(data::findField("OL:RATING")));
        copyText("OL:KEYWORD", "URL:KEYWORD");
    } else if (&newFile == &data::Categories) {
        copyText("OC:CATEGORY", "CAT:CATEGORY");
    } else {
        copyText("OH:CATEGORY", "HTM:CATEGORY");
        copyText("OH:TYPEOFHTML", "HTM:TYPEOFHTML");
    }
    if (!newFile.memos().empty() && !oldFile.memos().empty())
        data::setMemo(newFile, 0, oldFile.memo(0));

    if (data::add(newFile) == 0) {
        ++m_copied;
        return true;
    }
    ++m_notCopied;
    // Only the locations say so; the user may end the program there.
    if (&newFile == &data::SITEDX)
        failure = "Error upgrading - can't add record to " + data::name(newFile) + data::errorText();
    return false;
}

void UpgradeJob::finish(UpgradeOutcome outcome) {
    if (m_oldOpen) {
        data::send(*m_files.oldFile, "QUICKSCAN=off");
        data::close(*m_files.oldFile);
        m_oldOpen = false;
    }
    if (m_newOpen) {
        data::close(*m_files.newFile);
        m_newOpen = false;
    }
    m_outcome = outcome;
}

}  // namespace sitedex::app::upgrade
