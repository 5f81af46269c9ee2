#pragma once
// The copy of one data file of an older version into its current file, as a job with no window
// (runtime/jobs.h): SITEDX.VLX into URL_L.VLX, CATEGORI.VLX into URL_C.VLX, CATHTML.VLX into
// URL_H.VLX. Every old record becomes a cleared new record with the old fields copied in: texts
// byte for byte into the wider fields, padded with blanks; the rating by value; memos whole.
//
// What it guarantees:
//   - The old file is only read (it is opened read-only) and is never changed or removed.
//   - A current file that is already there is kept: it is renamed to NAME.bak (NAME.bak2, NAME.bak3
//     ... when earlier backups exist; none is ever overwritten) before the new one is made, and
//     backup() names it. If the new file cannot be made, the backup is put back.
//   - open() fails with a message, changing nothing, when the folder cannot be written.
//   - Progress runs by bytes: the old file's size as the driver reports it, against the bytes of
//     the records read so far.
//   - A cancelled run leaves the records copied so far in the new file; outcome() tells which way
//     the run ended, and only a completed run may count as done.
//   - For the locations, an add that fails shows a stop box ("Error upgrading - can't add record to
//     ..."): Abort ends the program, Ignore goes on. For the other two files a record that cannot be
//     added is passed over without a box and counted in notCopied().
//   - A read error other than the end of the file shows standard warning 35 and ends the run as
//     failed.
//
// Callers: the upgrade procedures (their progress windows) and `sitedex upgrade`, on one thread,
// with the data folder as the working directory and neither file open on that thread.

#include <cstdint>
#include <string>

#include "runtime/jobs.h"

namespace sitedex::data {
class FileDecl;
}

namespace sitedex::app::upgrade {

enum class UpgradeKind { kLocations, kCategories, kCatHtml };

enum class UpgradeOutcome { kNotStarted, kRunning, kCompleted, kCancelled, kFailed };

// The files of one kind of upgrade, and the texts of its window.
struct UpgradeFiles {
    data::FileDecl* oldFile;
    data::FileDecl* newFile;
    const char* oldDiskName;  // "SITEDX": also the name warning 35 gives
    const char* procedure;    // "UpgradeSITEDX"
    const char* windowName;   // "UPGRADESITEDX$PROGRESSWINDOW"
    const char* line;         // "Upgrading Location File"
};
const UpgradeFiles& upgradeFiles(UpgradeKind kind);

class UpgradeJob : public runtime::Job {
public:
    explicit UpgradeJob(UpgradeKind kind);
    ~UpgradeJob() override;
    UpgradeJob(const UpgradeJob&) = delete;
    UpgradeJob& operator=(const UpgradeJob&) = delete;

    // Keeps an existing current file as a backup, makes the new file empty and opens both files.
    // False (after a message box saying why) when that cannot be done; the folder is as before.
    bool open();

    bool step() override;
    int percent() const override;
    void cancel() override { m_cancelRequested = true; }

    UpgradeOutcome outcome() const { return m_outcome; }
    const UpgradeFiles& files() const { return m_files; }
    // "URL_L.VLX"
    std::string newFileName() const;
    // The name the earlier current file was kept under; empty when there was none.
    const std::string& backup() const { return m_backup; }
    int64_t copied() const { return m_copied; }
    int64_t notCopied() const { return m_notCopied; }

private:
    // Adds the old record in the buffer to the new file. On a failed add of a location, `failure`
    // gets the stop box's text.
    bool copyRecord(std::string& failure);
    void finish(UpgradeOutcome outcome);

    const UpgradeFiles& m_files;
    UpgradeOutcome m_outcome = UpgradeOutcome::kNotStarted;
    bool m_cancelRequested = false;
    bool m_oldOpen = false, m_newOpen = false;
    std::string m_backup;
    int64_t m_total = 0, m_processed = 0;
    int64_t m_copied = 0, m_notCopied = 0;
};

}  // namespace sitedex::app::upgrade
