#pragma once
// The merge of another database's locations into this one, as a job with no window
// (runtime/jobs.h). Every record of the other Locations file (its URL_L.VLX, read in record order)
// is added to the current Locations file with its five fixed fields: address, description,
// category, rating and keyword. Its site information is not carried over, and no category,
// snippet or history record is made: a location keeps its category text even when no such
// category exists here.
//
// What it guarantees:
//   - The other file is only read: it is opened read-only and shared, so another running Sitedex
//     may have it open (even for writing) meanwhile; a missing file is never created, and one that
//     is damaged or of another layout is reported, never "repaired".
//   - open() fails with a clear message, having changed nothing, when the other file cannot be
//     read.
//   - An address already present here (letter case ignored) is passed over and counted as present.
//     A location with a blank address counts as present when one with the same five fields is here
//     already, so merging a database into itself adds nothing.
//   - Any other failed add is passed over too, counted, and its error kept for the summary.
//   - A read error other than the end of the file shows standard warning 35 and ends the run.
//
// Callers: ImportURLProcess (its progress window) and `sitedex merge`, on one thread, with the data
// folder as the working directory.

#include <cstdint>
#include <string>

#include "runtime/jobs.h"

namespace sitedex::app::importing {

class DatabaseMerge : public runtime::Job {
public:
    enum class Outcome { kNotStarted, kRunning, kCompleted, kCancelled, kFailed };

    // source: the other database's Locations file (a path; at most 255 bytes).
    explicit DatabaseMerge(std::string source);
    ~DatabaseMerge() override;
    DatabaseMerge(const DatabaseMerge&) = delete;
    DatabaseMerge& operator=(const DatabaseMerge&) = delete;

    // Opens the other file and the Locations file. False (after a message box) when the other file
    // cannot be read.
    bool open();

    bool step() override;
    int percent() const override;
    void cancel() override { m_cancelRequested = true; }

    Outcome outcome() const { return m_outcome; }
    int64_t added() const { return m_added; }
    int64_t present() const { return m_present; }
    int64_t failed() const { return m_failed; }
    // The error of the first add that failed for another reason than a duplicate.
    const std::string& firstFailure() const { return m_firstFailure; }

    // "12 locations added, 3 already present." and, when some failed, what went wrong.
    std::string summary() const;

private:
    void mergeRecord();
    bool blankAddressPresent();
    void finish(Outcome outcome);

    std::string m_source;
    Outcome m_outcome = Outcome::kNotStarted;
    bool m_cancelRequested = false;
    bool m_sourceOpen = false, m_targetUsed = false;
    bool m_sourceIsTarget = false;  // merging a database into itself
    int64_t m_total = 0, m_handled = 0;
    int64_t m_added = 0, m_present = 0, m_failed = 0;
    std::string m_firstFailure;
};

// The name a merge opens for what the user entered: a folder stands for the URL_L.VLX in it;
// blanks around it are left out. Empty when the name cannot be a Sitedex database ("Cannot Import").
std::string mergeSourceName(const std::string& entered);

inline constexpr const char* kDatabaseFileName = "URL_L.VLX";

// The title of the merge's messages.
inline constexpr const char* kCannotImport = "Cannot Import";

}  // namespace sitedex::app::importing
