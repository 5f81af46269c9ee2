#pragma once
// Groups the adds of one step of a long copy (the upgrade, the merge, a long clipboard text) into
// one transaction on the target files, so that a large copy pays one commit for many records instead of one each.
//
// A batch lasts a few milliseconds or a few hundred records (due() says when to stop), and it must
// end before anything that may wait: a message box, or the end of the step, since other windows of
// the program run while the job's window waits and would meet the transaction's lock. When the
// transaction cannot be begun (another program holds the file), the adds go one by one as before.
//
// Callers: the jobs, inside one step, on their procedure's thread.

#include <chrono>
#include <cstdint>
#include <initializer_list>

namespace sitedex::data {
class FileDecl;
}

namespace sitedex::app::upgrade {

class WriteBatch {
public:
    // grouped false: the adds go one by one (a copy whose source is the target file itself, which the
    // transaction's lock would keep from being read).
    explicit WriteBatch(data::FileDecl& file, bool grouped = true);
    // The adds go to several files (all of them open on this thread).
    explicit WriteBatch(std::initializer_list<data::FileDecl*> files);
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // Counts one record written in the batch; true once the batch should end.
    bool due();
    // Commits. False when the commit failed: the batch's writes are lost (the error state tells why).
    bool end();
    // How many records the batch has written.
    int64_t written() const { return m_written; }

private:
    bool m_active = false;
    int64_t m_written = 0;
    std::chrono::steady_clock::time_point m_until;
};

}  // namespace sitedex::app::upgrade
