#include "drivers/record/commit_group.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "drivers/record/tcf.h"

namespace sitedex::record {

namespace {

// Test-only: real process death at a named step of the group commit.
void faultPoint(const char* step) {
    const char* want = std::getenv("SITEDEX_VELOX_FAULT");
    if (want && std::strcmp(want, step) == 0) ::kill(::getpid(), SIGKILL);
}

std::string defaultTcf(const std::string& firstFile) {
    std::filesystem::path p(firstFile);
    return (p.parent_path() / "VELOX.TCF").string();
}

}  // namespace

CommitGroup& CommitGroup::process() {
    static CommitGroup group;
    return group;
}

void CommitGroup::join(RecordFile* f) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_done) {
        m_members.clear();
        m_answered.clear();
        m_done = false;
    }
    if (std::find(m_members.begin(), m_members.end(), f) == m_members.end()) m_members.push_back(f);
}

void CommitGroup::forget(RecordFile* f) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::erase(m_members, f);
    std::erase(m_answered, f);
    if (m_members.empty()) m_done = false;
}

Status CommitGroup::commit(RecordFile* f, const std::string& tcf, bool durable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool member = std::find(m_members.begin(), m_members.end(), f) != m_members.end();
    if (member && m_done) {
        // Committed together with the group already: this file's answer is the group's.
        Status r = std::find(m_answered.begin(), m_answered.end(), f) != m_answered.end() ? m_result : f->commit();
        std::erase(m_members, f);
        std::erase(m_answered, f);
        if (m_members.empty()) m_done = false;
        return r;
    }
    if (!member) return f->commit();
    size_t changed = 0;
    for (RecordFile* m : m_members)
        if (m->inTransaction() && m->hasChanges()) ++changed;
    Status r;
    if (changed < 2) {
        r = f->commit();
        std::erase(m_members, f);
        return r;
    }
    std::string path = tcf.empty() ? defaultTcf(m_members.front()->pager().path()) : tcf;
    m_result = commitAll(path, durable);
    m_done = true;
    m_answered.clear();
    for (RecordFile* m : m_members)
        if (m != f) m_answered.push_back(m);
    std::erase(m_members, f);
    if (m_members.empty()) m_done = false;
    return m_result;
}

// Phase one prepares every changed file; the TCF record is the commit point; phase two rolls each
// file forward; the record is cleared once no file needs it any more (I15-I17).
Status CommitGroup::commitAll(const std::string& tcf, bool durable) {
    uint64_t txid = newTransactionId();
    std::vector<RecordFile*> group, unchanged;
    for (RecordFile* m : m_members) {
        if (!m->inTransaction()) continue;
        (m->hasChanges() ? group : unchanged).push_back(m);
    }
    auto abortAll = [&](Status s) {
        for (RecordFile* m : group) m->abortCommit();
        for (RecordFile* m : unchanged) m->rollback();
        return s;
    };
    std::vector<std::string> names;
    for (RecordFile* m : group) {
        Status s = m->prepareCommit(txid, tcf);
        if (!s.ok()) return abortAll(s);
        names.push_back(m->pager().path());
        faultPoint("prepared-one");
    }
    faultPoint("prepared-all");
    uint64_t pos = 0;
    Status s = tcfAppend(tcf, txid, names, durable, pos);
    if (!s.ok()) return abortAll(s);
    faultPoint("tcf-written");
    bool settled = true;
    for (RecordFile* m : group) {
        (void)m->finishCommit();
        settled = settled && m->pager().settledOnDisk();
        faultPoint("finished-one");
    }
    for (RecordFile* m : unchanged) (void)m->commit();
    faultPoint("finished-all");
    // A file that could not be rolled forward still needs the record to settle later.
    if (settled) (void)tcfClear(tcf, pos, txid);
    return {};
}

}  // namespace sitedex::record
