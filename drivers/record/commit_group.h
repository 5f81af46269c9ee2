#pragma once
// The process's open transaction group: the record files taken into one transaction (logout) whose
// changes must become permanent together. The first commit that reaches a group of several files
// with changes commits all of them in two phases through the transaction control file (TCF, see
// docs/record-file-format.md I15-I17); the commits that follow for the other files of the group
// answer that same result. A group with one changed file commits it on its own.
//
// For crash tests the environment variable SITEDEX_VELOX_FAULT names a step at which the process
// kills itself (SIGKILL): prepared-one, prepared-all, tcf-written, finished-one, finished-all.
//
// Callers: the VELOX driver (velox_driver.cpp); tests. Thread-safe (one group per process).

#include <mutex>
#include <string>
#include <vector>

#include "drivers/record/table.h"

namespace sitedex::record {

class CommitGroup {
public:
    static CommitGroup& process();

    // A file whose transaction has begun joins the open group (a finished group is forgotten first).
    void join(RecordFile* f);
    // The file leaves the group (rolled back or closed).
    void forget(RecordFile* f);
    // Commits f's transaction. `tcf` is the control file to use, empty for the default (VELOX.TCF
    // in the directory of the group's first file).
    Status commit(RecordFile* f, const std::string& tcf, bool durable);

private:
    Status commitAll(const std::string& tcf, bool durable);

    std::mutex m_mutex;
    std::vector<RecordFile*> m_members;
    std::vector<RecordFile*> m_answered;  // members whose commit was done by the group
    bool m_done = false;
    Status m_result;
};

}  // namespace sitedex::record
