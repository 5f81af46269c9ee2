#include "drivers/record/velox_driver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "drivers/record/commit_group.h"
#include "drivers/record/rebuild.h"
#include "drivers/record/velox_instance.h"
#include "data/error_state.h"
#include "drivers/record/table.h"
#include "runtime/hooks.h"

namespace sitedex::record {

using namespace velox;

namespace {

using data::CallArgs;
using data::FileDecl;

Durability g_durability = Durability::kPowerCut;
// How long an open (or create) waits behind another program's change before it answers 32, so that
// the program can tell its user the file is in use; and how long any other operation waits.
int g_openWaitMs = 2000;
int g_lockWaitMs = PagerOptions{}.lockWaitMs;

PagerOptions driverOptions() {
    PagerOptions o;
    o.durability = g_durability;
    o.openWaitMs = g_openWaitMs;
    o.lockWaitMs = g_lockWaitMs;
    return o;
}
std::string& tcfName() {
    static std::string name = "c:\\velox.tcf";
    return name;
}

// The control file a group commit uses: the one a "TCF=" request named, else (empty) the default
// beside the data.
std::string& tcfPath() {
    static std::string path;
    return path;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return u;
}

}  // namespace

namespace velox {

// The file of the operation running now, named when one meets a damaged page.
const std::string* g_operationPath = nullptr;
std::string g_damagedPath;

[[noreturn]] void damaged(const Status& s) {
    g_damagedPath = g_operationPath ? *g_operationPath : std::string();
    runtime::fatalRuntimeError("Internal error : vlxbt line " + std::to_string(s.check));
}

// A failed system call as the message table numbers it (300 + the system error): a full disk is
// "Handle Disk Full", a read-only file system "Write Protect", a failing device "Read Fault" or
// "Write Fault", a refused permission "Access Denied".
int32_t systemCode(const Status& s) {
    if (s.sysErrno == EIO) return s.detail.rfind("read", 0) == 0 ? 330 : 329;
    int n = data::systemErrorFromErrno(s.sysErrno);
    return n ? data::kErrSystemBase + n : 0;
}

// Engine status -> access-layer code; a broken structure ends the program.
int32_t code(const Status& s, int32_t otherwise) {
    switch (s.code) {
        case kOk:
            return 0;
        case kDamaged:
            damaged(s);
        case kSystem:
            if (int32_t c = systemCode(s)) return c;
            return otherwise;
        default:
            return s.code;
    }
}

VeloxInstance& inst(FileDecl& f) { return static_cast<VeloxInstance&>(*f.instance()); }

std::string recordOf(FileDecl& f) { return std::string(f.record(), f.recordSize()); }

}  // namespace velox

namespace {

Schema schemaOf(const FileDecl& f) {
    Schema s;
    s.recordSize = f.recordSize();
    s.oem = f.attributes() & data::kAttrOemConvert;
    for (const data::FieldDecl& d : f.fields()) {
        Field x;
        x.type = d.type;
        x.offset = uint16_t(d.offset);
        x.elements = d.elements ? d.elements : 1;
        x.size = uint16_t(d.size / x.elements);
        x.name = std::string(d.name);
        x.digits = d.digits;
        x.places = d.places;
        s.fields.push_back(std::move(x));
    }
    for (const data::MemoDecl& m : f.memos()) {
        Memo x;
        x.name = std::string(m.name);
        x.maxSize = uint16_t(std::min<uint32_t>(m.maxSize, 65535));
        x.flags = m.flags;
        s.memos.push_back(std::move(x));
    }
    for (const data::KeyDecl& k : f.keys()) {
        // A declared index (attribute 64) is built at run time and lives with the open file only;
        // it is neither stored nor kept up to date by the table.
        if (k.attributes & data::kKeyIndex) continue;
        Key x;
        x.name = std::string(k.name);
        x.attributes = k.attributes;
        for (int c : k.components) x.parts.push_back({uint16_t((c < 0 ? -c : c) - 1), c < 0});
        s.keys.push_back(std::move(x));
    }
    return s;
}

// The table's key of a declared key (declared indexes are not among the table's keys).
int tableKeyOf(const FileDecl& f, int declared) {
    int n = 0;
    for (int i = 0; i < declared; ++i)
        if (!(f.keys()[size_t(i)].attributes & data::kKeyIndex)) ++n;
    return n;
}

void releaseHeld(VeloxInstance& v) {
    if (v.held && v.file) v.file->unlockRecord(v.held);
    v.held = 0;
}

// Takes the record lock a pending hold asks for; 43 when another program holds the record.
int32_t takeHold(VeloxInstance& v, uint32_t recno) {
    if (!v.holdPending) return 0;
    v.holdPending = false;  // a hold marks the next read only, whether it succeeds or not
    int waitMs = v.holdWait < 0 ? 0 : msLeft(v, v.holdWait * 1000);
    Status s = v.file->lockRecord(recno, waitMs);
    if (!s.ok()) return s.code == kHeld ? kHeld : code(s);
    v.held = recno;
    return 0;
}

// Reads record `recno` into the record buffer (and the memos unless no-memo was given).
int32_t load(FileDecl& f, VeloxInstance& v, uint32_t recno) {
    std::string rec;
    std::vector<std::string> memos;
    bool wantMemos = !v.noMemoPending && !f.memos().empty();
    Status s = v.file->get(recno, rec, wantMemos ? &memos : nullptr);
    v.noMemoPending = false;
    if (!s.ok()) return s.code == kRecordNotFound ? kRecordNotFound : code(s);
    std::memcpy(f.record(), rec.data(), rec.size());
    if (wantMemos)
        for (size_t i = 0; i < memos.size(); ++i) f.memo(i) = std::move(memos[i]);
    v.current = recno;
    v.watched = v.watchPending;
    v.watchPending = false;
    if (v.watched) v.watchImage = std::move(rec);
    return 0;
}

}  // namespace

namespace velox {

// A read: release a held record, take the hold the read asks for, then load. A read given a wait
// (hold with wait) spends what is left of it on each lock in turn (see WaitBound).
int32_t readRecord(FileDecl& f, VeloxInstance& v, uint32_t recno) {
    releaseHeld(v);
    if (int32_t e = takeHold(v, recno)) return e;
    if (v.deadline) v.file->pager().setLockWait(msLeft(v, 0));
    int32_t e = load(f, v, recno);
    if (e) releaseHeld(v);
    return e;
}

}  // namespace velox

namespace {

std::string positionText(VeloxInstance& v, int key, const std::string& rec) {
    std::string p;
    append32(p, v.current);
    if (key >= 0) p += encodeKeyValue(v.file->schema(), size_t(key), bytes(rec));
    return p;
}

// The key entry a key position text names (recno + value), or empty when the text does not fit.
bool entryFromPosition(VeloxInstance& v, int key, std::string_view pos, std::string& entry) {
    const Schema& s = v.file->schema();
    if (pos.size() != 4 + s.keyValueLength(size_t(key))) return false;
    uint32_t recno = get32(bytes(pos));
    entry = v.file->rangePrefix(key);
    entry.append(pos.substr(4));
    if (s.keys[size_t(key)].duplicates()) append32be(entry, recno);
    return true;
}

void startSequence(VeloxInstance& v, int key, Sequence::Start start, std::string from = {},
                   std::string fromBack = {}) {
    v.seq.index = -1;
    v.seq.ended = false;
    v.seq.key = key;
    v.seq.start = start;
    v.seq.from = std::move(from);
    v.seq.fromBack = std::move(fromBack);
    v.seq.cursor = std::make_unique<Cursor>(*v.file, key);
    v.seq.cursor->setFetchRecords(false);
}

// A key entry led to a record that is not there: reported as keys out of step (46, which the
// program answers with its rebuild offer), and the file is marked so (I19).
int32_t keysOutOfStep(VeloxInstance& v) {
    v.file->keysMetOutOfStep();
    return kRebuildKeys;
}

// next / previous: move a copy of the cursor, so that a refused hold leaves the position as it was.
int32_t step(FileDecl& f, VeloxInstance& v, bool forward) {
    if (v.seq.index >= 0) return stepIndex(f, v, forward);
    if (!v.seq.cursor) return kNoRecord;
    auto c = std::make_unique<Cursor>(*v.seq.cursor);
    Status s;
    switch (v.seq.start) {
        case Sequence::Start::kEnds:
            s = forward ? c->seekFirst() : c->seekLast();
            break;
        case Sequence::Start::kFrom:
            s = c->seek(forward ? v.seq.from : v.seq.fromBack, forward);
            break;
        case Sequence::Start::kOn:
            s = forward ? c->next() : c->previous();
            break;
    }
    if (!s.ok()) {
        if (s.code == kNoRecord) {
            v.seq.cursor = std::move(c);
            v.seq.start = Sequence::Start::kOn;
        }
        return code(s);
    }
    int32_t e = readRecord(f, v, c->recno());
    if (e == kHeld) return e;
    v.seq.cursor = std::move(c);
    v.seq.start = Sequence::Start::kOn;
    if (e == kRecordNotFound) {
        // The record order lists only records that exist (one removed meanwhile is passed over by
        // the next step); a key entry of a record that is gone means the keys are out of step.
        if (v.seq.key < 0) return kNoRecord;
        return keysOutOfStep(v);
    }
    return e;
}

std::string keyValueEntry(FileDecl& f, VeloxInstance& v, int key, uint32_t recno) {
    return v.file->keyEntry(size_t(key), recordOf(f), recno);
}

int32_t getByKey(FileDecl& f, VeloxInstance& v, int key) {
    const Key& k = v.file->schema().keys[size_t(key)];
    std::string entry = keyValueEntry(f, v, key, 0);
    std::string want = k.duplicates() ? entry.substr(0, entry.size() - 4) : entry;
    Cursor c(*v.file, key);
    c.setFetchRecords(false);
    Status s = c.seek(entry, true);
    if (!s.ok() && s.code != kNoRecord) return code(s);
    if (!c.valid() || c.key().compare(0, want.size(), want) != 0 || (!k.duplicates() && c.key() != entry))
        return kRecordNotFound;
    int32_t e = readRecord(f, v, c.recno());
    if (e == kRecordNotFound) return keysOutOfStep(v);
    if (e == 0) {
        startSequence(v, key, Sequence::Start::kOn);
        v.seq.cursor = std::make_unique<Cursor>(c);
    }
    return e;
}

int32_t put(FileDecl& f, VeloxInstance& v) {
    if (!v.current) return kNoRecord;
    bool locked = false;
    if (v.held != v.current) {
        if (!v.file->lockRecord(v.current, 0).ok()) return kAccessDenied;
        locked = true;
    }
    auto unlock = [&] {
        if (locked) v.file->unlockRecord(v.current);
    };
    std::string stored;
    Status s = v.file->get(v.current, stored, nullptr);
    if (!s.ok()) {
        unlock();
        return s.code == kRecordNotFound ? kNoRecord : code(s);
    }
    if (v.watched && stored != v.watchImage) {
        unlock();
        return kChanged;
    }
    std::vector<std::string> memos;
    for (size_t i = 0; i < f.memos().size(); ++i) memos.push_back(f.memo(i));
    std::string rec = recordOf(f);
    s = v.file->put(v.current, rec, &memos);
    unlock();
    if (!s.ok()) return s.code == kDuplicate ? kDuplicate : code(s);
    if (v.watched) v.watchImage = rec;
    return 0;
}

int32_t add(FileDecl& f, VeloxInstance& v) {
    std::vector<std::string> memos;
    for (size_t i = 0; i < f.memos().size(); ++i) memos.push_back(f.memo(i));
    uint32_t recno;
    Status s = v.file->add(recordOf(f), memos.empty() ? nullptr : &memos, recno);
    if (!s.ok()) return s.code == kDuplicate ? kDuplicate : code(s);
    v.current = recno;
    v.watched = false;
    return 0;
}

bool hasUniqueClash(FileDecl& f, VeloxInstance& v, int onlyKey) {
    const Schema& s = v.file->schema();
    std::string rec = recordOf(f);
    for (size_t k = 0; k < s.keys.size(); ++k) {
        if ((onlyKey >= 0 && size_t(onlyKey) != k) || s.keys[k].duplicates()) continue;
        if ((s.keys[k].attributes & kKeyExcludeBlank) && isBlankKeyValue(s, k, bytes(rec))) continue;
        Cursor c(*v.file, int(k));
        c.setFetchRecords(false);
        std::string entry = v.file->keyEntry(k, rec, 0);
        if (c.seek(entry, true).ok() && c.key() == entry && c.recno() != v.current) return true;
    }
    return false;
}

std::string targetPath(const std::string& from, std::string to) {
    while (!to.empty() && to.back() == ' ') to.pop_back();
    if (!to.empty() && (to.back() == '/' || to.back() == '\\' || to.back() == ':')) {
        if (to.back() == '\\') to.back() = '/';
        to += std::filesystem::path(from).filename().string();
    }
    return to;
}

int32_t fsError(const std::error_code& ec) {
    if (ec == std::errc::no_such_file_or_directory) return kNotFound;
    return kAccessDenied;
}

std::string sendRequest(VeloxInstance* v, std::string_view text) {
    std::string u = upper(text);
    if (u == "REGISTER") return "VELOX";
    size_t at = u.find("TCF=");
    if (at != std::string::npos) {
        tcfName() = std::string(text.substr(at + 4));
        std::string p = tcfName();
        while (!p.empty() && p.back() == ' ') p.pop_back();
        for (char& c : p)
            if (c == '\\') c = '/';
        std::error_code ec;
        auto full = std::filesystem::absolute(p, ec);
        // The old default name has no meaning here: the control file then lies beside the data.
        if (upper(p) == "C:/VELOX.TCF") p.clear();
        tcfPath() = p.empty() || ec ? p : full.lexically_normal().string();
        return {};
    }
    std::string trimmed;
    for (char c : u)
        if (c != ' ' && c != '\t') trimmed.push_back(c);
    if (trimmed.rfind("FULLBUILD", 0) == 0 && (trimmed.size() == 9 || trimmed[9] == '=')) {
        std::string answer = v && v->fullBuild ? "ON" : "OFF";
        if (v && trimmed.size() > 9) v->fullBuild = trimmed.substr(10) == "ON";
        return answer;
    }
    // SNAPSHOT=ON: the reads that follow share one read snapshot (a reader slot held, instead of a
    // lock taken and given back by every read) until SNAPSHOT=OFF or the file closes. Writers (other
    // programs, other instances) wait meanwhile, so a long scan holds it for short stretches only.
    // (QUICKSCAN, which the procedures send around their long passes, stays a request that changes
    // nothing: those passes last while the user works in other windows.)
    if (trimmed.rfind("SNAPSHOT", 0) == 0 && (trimmed.size() == 8 || trimmed[8] == '=')) {
        std::string answer = v && v->snapshot ? "ON" : "OFF";
        if (v && v->file && trimmed.size() > 8) {
            const bool on = trimmed.substr(9) == "ON";
            if (on && !v->snapshot) {
                v->snapshot = v->file->beginRead().ok();
            } else if (!on && v->snapshot) {
                v->file->endRead();
                v->snapshot = false;
            }
        }
        return answer;
    }
    at = u.find("PNM=");
    if (at != std::string::npos && v && v->file) {
        std::string value;
        bool found = false;
        if (v->file->namedItem(text.substr(at + 4), value, found).ok() && found && value.size() == 4)
            return std::to_string(get32(bytes(value)));
        return {};
    }
    return {};
}

int32_t openFile(FileDecl& f, VeloxInstance& v, int64_t mode) {
    Schema s = schemaOf(f);
    PagerOptions o = driverOptions();
    o.writable = (mode & 3) != 0;
    for (size_t p = f.options().find('/'); p != std::string_view::npos; p = f.options().find('/', p + 1)) {
        size_t end = f.options().find('/', p + 1);
        sendRequest(&v, f.options().substr(p + 1, end == std::string_view::npos ? end : end - p - 1));
    }
    Status st = RecordFile::open(v.path, v.table, &s, o, v.file);
    if (st.ok()) {
        // Keys known to be out of step are not used: the program offers to rebuild them (I19).
        bool stale = false;
        st = v.file->keysNeedRebuild(stale);
        if (st.ok() && stale) st = Status::error(kRebuildKeys);
    }
    if (!st.ok()) {
        v.file.reset();
        if (st.code == kNotFound || st.code == kBadDeclaration || st.code == kInvalidDataFile || st.code == kRebuildKeys ||
            st.code == kBadFieldType || st.code == kUnsupportedType || st.code == kAccessDenied)
            return st.code;
        return code(st);
    }
    v.current = 0;
    v.seq = Sequence{};
    return 0;
}

// A read given a wait (hold with wait) gives up once that wait has passed, whichever lock it meets
// on the way: the reader lock of a seek, the record lock, the reader lock of the read itself. The
// engine's own wait for a lock is far longer, and another program's transaction keeps the reader
// locks for as long as it runs.
class WaitBound {
public:
    explicit WaitBound(VeloxInstance& v) : m_v(v) {
        if (!v.holdPending || v.holdWait < 0) return;
        m_saved = v.file->pager().lockWait();
        v.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(v.holdWait);
        v.file->pager().setLockWait(std::min(m_saved, v.holdWait * 1000));
    }
    ~WaitBound() {
        if (!m_v.deadline) return;
        m_v.deadline.reset();
        if (m_v.file) m_v.file->pager().setLockWait(m_saved);
    }
    WaitBound(const WaitBound&) = delete;
    WaitBound& operator=(const WaitBound&) = delete;

private:
    VeloxInstance& m_v;
    int m_saved = 0;
};

int32_t entry(int op, FileDecl& f, CallArgs& a) {
    VeloxInstance& v = inst(f);
    g_operationPath = &v.path;
    using namespace data;
    int declared = a.key ? a.key->number - 1 : -1;
    if (a.key && (declared < 0 || size_t(declared) >= f.keys().size())) return kUnsupportedType;
    const bool index = a.key && (a.key->attributes & kKeyIndex);
    int key = a.key && !index ? tableKeyOf(f, declared) : -1;
    if (!a.key && (op == kOpBuildIndex || op == kOpBuildIndexFilter)) return 80;
    // Operations that need no open file.
    switch (op) {
        case kOpName:
            a.textResult = v.file ? v.path : f.name();
            return 0;
        case kOpSend:
            a.textResult = sendRequest(&v, a.text[0]);
            return 0;
        case kOpOpen:
        case kOpShare:
            return openFile(f, v, a.number[0]);
        case kOpCreate: {
            if (!(f.attributes() & kAttrCreate)) return 54;
            Schema s = schemaOf(f);
            PagerOptions o = driverOptions();
            Status st = RecordFile::create(v.path, v.table, s, o,
                                           a.number[0] == data::kCreateIfMissing ? CreateMode::kIfMissing
                                                                                 : CreateMode::kReplace);
            return st.ok() ? 0 : code(st);
        }
        case kOpRemove: {
            std::error_code ec;
            if (!std::filesystem::remove(v.path, ec)) return ec ? fsError(ec) : kNotFound;
            return 0;
        }
        case kOpCopy:
        case kOpRename: {
            std::error_code ec;
            std::string to = targetPath(v.path, a.text[0]);
            if (op == kOpCopy)
                std::filesystem::copy_file(v.path, to, std::filesystem::copy_options::overwrite_existing, ec);
            else
                std::filesystem::rename(v.path, to, ec);
            return ec ? fsError(ec) : 0;
        }
        case kOpBuild:
        case kOpBuildKey:
        case kOpPack:
            if (index) return 80;  // a declared index is built with build index, on an open file
            if (!v.file) {
                // Build on a closed file works on the disk file directly.
                Schema s = schemaOf(f);
                PagerOptions o = driverOptions();
                if (op == kOpBuild) {
                    // Every key of a file that may be damaged: the file is rebuilt from every record
                    // that can be read, never left worse than it was (rebuild.h).
                    RebuildReport report;
                    Status st = rebuildFile(v.path, {{upper(v.table), s}}, o, report);
                    if (st.code == kDamaged || st.code == kInvalidDataFile) return kRebuildKeys;
                    return st.ok() ? 0 : code(st);
                }
                std::unique_ptr<RecordFile> tmp;
                Status st = RecordFile::open(v.path, v.table, &s, o, tmp);
                if (st.ok()) st = op == kOpPack ? tmp->pack() : tmp->buildKeys(key);
                return st.ok() ? 0 : st.code == kDuplicate ? kDuplicate : code(st);
            }
            break;
        default:
            break;
    }
    if (!v.file) return 37;
    RecordFile& file = *v.file;
    WaitBound bound(v);
    if (index) return indexOp(op, f, v, a, declared);
    if (op == kOpBuildIndex || op == kOpBuildIndexFilter) return 80;  // only a declared index is built so
    switch (op) {
        case kOpClose:
            releaseHeld(v);
            CommitGroup::process().forget(&file);
            if (file.inTransaction()) file.rollback();
            file.unlockFile();
            v.seq = Sequence{};
            v.indexes.clear();
            v.snapshot = false;
            v.file.reset();
            return 0;
        case kOpAdd:
        case kOpAppend:
        case kOpAddLength:
        case kOpAppendLength:
            return add(f, v);
        case kOpPut:
            return put(f, v);
        case kOpDelete: {
            if (!v.current) return kNoRecord;
            // As for put: a record another program holds is not taken away under it.
            bool locked = v.held != v.current;
            if (locked && !v.file->lockRecord(v.current, 0).ok()) return kAccessDenied;
            Status s = file.remove(v.current);
            if (locked) v.file->unlockRecord(v.current);
            if (!s.ok()) return s.code == kNoRecord ? kNoRecord : code(s);
            if (v.held == v.current) releaseHeld(v);
            v.current = 0;
            return 0;
        }
        case kOpGetByKey:
            return getByKey(f, v, key);
        case kOpGetByPointer:
        case kOpGetByPointerLength:
            if (a.number[0] <= 0 || a.number[0] > 0x7FFFFFFF) return kRecordNotFound;
            return readRecord(f, v, uint32_t(a.number[0]));
        case kOpReget:
        case kOpRegetByKey: {
            int32_t e = [&]() -> int32_t {
                std::string_view pos = a.text[0];
                if (pos.size() < 4) return kRecordNotFound;
                uint32_t recno = get32(bytes(pos));
                if (op == kOpRegetByKey) {
                    std::string want;
                    if (!entryFromPosition(v, key, pos, want)) return kRecordNotFound;
                    Cursor c(file, key);
                    c.setFetchRecords(false);
                    Status s = c.seek(want, true);
                    if (!s.ok() && s.code != kNoRecord) return code(s);
                    if (!c.valid() || c.key() != want) return kRecordNotFound;
                    int32_t r = readRecord(f, v, recno);
                    // (A unique key's entry may name another record now: that one is not the position's.)
                    return r == kRecordNotFound && c.recno() == recno ? keysOutOfStep(v) : r;
                }
                return readRecord(f, v, recno);
            }();
            // A re-get that finds no record leaves none current: a put or delete that follows must
            // answer 33, not land on the record read before.
            if (e) v.current = 0;
            return e;
        }
        case kOpSet:
            startSequence(v, -1, Sequence::Start::kEnds);
            return 0;
        case kOpSetToPointer: {
            std::string from = file.rangePrefix(-1);
            append32be(from, uint32_t(std::max<int64_t>(a.number[0], 0)));
            startSequence(v, -1, a.number[0] > 0 ? Sequence::Start::kFrom : Sequence::Start::kEnds, from, from);
            return 0;
        }
        case kOpSetByKey:
            startSequence(v, key, Sequence::Start::kEnds);
            return 0;
        case kOpSetByKeyValue:
        case kOpSetByKeyValuePointer: {
            bool dup = file.schema().keys[size_t(key)].duplicates();
            uint32_t fwd = op == kOpSetByKeyValuePointer ? uint32_t(a.number[0]) : 0;
            uint32_t back = op == kOpSetByKeyValuePointer ? uint32_t(a.number[0]) : 0xFFFFFFFFu;
            std::string from = keyValueEntry(f, v, key, fwd);
            std::string fromBack = dup ? keyValueEntry(f, v, key, back) : from;
            startSequence(v, key, Sequence::Start::kFrom, from, fromBack);
            return 0;
        }
        case kOpReset:
        case kOpResetByKey: {
            std::string_view pos = a.text[0];
            if (op == kOpReset && pos.size() != 4 && v.seq.index >= 0) {
                int ixKey = v.seq.index;
                std::string from;
                if (!indexEntryFromPosition(v.indexes[ixKey], pos, from)) return kRecordNotFound;
                startIndexSequence(v, ixKey, Sequence::Start::kFrom, from, from);
                return 0;
            }
            int k = op == kOpResetByKey ? key : (pos.size() == 4 ? -1 : v.seq.key);
            std::string from;
            if (k < 0) {
                if (pos.size() != 4) return kRecordNotFound;
                from = file.rangePrefix(-1);
                append32be(from, get32(bytes(pos)));
            } else if (!entryFromPosition(v, k, pos, from)) {
                return kRecordNotFound;
            }
            startSequence(v, k, Sequence::Start::kFrom, from, from);
            return 0;
        }
        case kOpNext:
            return step(f, v, true);
        case kOpPrevious:
            return step(f, v, false);
        case kOpSkip: {
            bool fwd = a.number[0] >= 0;
            for (int64_t i = 0; i < (fwd ? a.number[0] : -a.number[0]); ++i) {
                v.noMemoPending = true;
                if (int32_t e = step(f, v, fwd)) return e;
            }
            return 0;
        }
        case kOpAtEnd:
        case kOpAtStart: {
            if (v.seq.index >= 0) {
                const DynamicIndex& ix = v.indexes[v.seq.index];
                int64_t i = indexCandidate(ix, v.seq, op == kOpAtEnd);
                a.numberResult = i >= 0 && i < int64_t(ix.size()) ? 0 : 1;
                return 0;
            }
            if (!v.seq.cursor) {
                a.numberResult = 1;
                return 0;
            }
            Cursor c(*v.seq.cursor);
            bool fwd = op == kOpAtEnd;
            Status s;
            if (v.seq.start == Sequence::Start::kEnds)
                s = fwd ? c.seekFirst() : c.seekLast();
            else if (v.seq.start == Sequence::Start::kFrom)
                s = c.seek(fwd ? v.seq.from : v.seq.fromBack, fwd);
            else
                s = fwd ? c.next() : c.previous();
            if (!s.ok() && s.code != kNoRecord) return code(s);
            a.numberResult = c.valid() ? 0 : 1;
            return 0;
        }
        case kOpPosition: {
            if (!v.current) return kNoRecord;
            if (v.seq.index >= 0) {
                a.textResult = indexPosition(v, v.indexes[v.seq.index], f);
                return 0;
            }
            a.textResult = positionText(v, v.seq.key, recordOf(f));
            return 0;
        }
        case kOpPositionOfKey:
            if (!v.current) return kNoRecord;
            a.textResult = positionText(v, key, recordOf(f));
            return 0;
        case kOpPointer:
            a.numberResult = v.current;
            return 0;
        case kOpHold:
        case kOpHoldWait:
            v.holdPending = true;
            v.holdWait = op == kOpHoldWait ? int(std::max<int64_t>(a.number[0], 0)) : -1;
            return 0;
        case kOpRelease:
            releaseHeld(v);
            v.holdPending = false;
            return 0;
        case kOpWatch:
            v.watchPending = true;
            return 0;
        case kOpNoMemo:
            v.noMemoPending = true;
            return 0;
        case kOpRecords: {
            uint32_t n = 0;
            Status s = file.recordCount(n);
            if (!s.ok()) return code(s);
            a.numberResult = n;
            return 0;
        }
        case kOpRecordsOfKey: {
            uint32_t n = 0;
            Status s = file.keyCount(size_t(key), n);
            if (!s.ok()) return code(s);
            a.numberResult = n;
            return 0;
        }
        case kOpBytes: {
            if (v.state & kStateHasRecord) {
                a.numberResult = f.recordSize();
                return 0;
            }
            uint32_t n = 0;
            Status s = file.recordCount(n);
            if (!s.ok()) return code(s);
            a.numberResult = int64_t(n) * f.recordSize();
            return 0;
        }
        case kOpDuplicate:
        case kOpDuplicateOfKey:
            a.numberResult = hasUniqueClash(f, v, op == kOpDuplicateOfKey ? key : -1) ? 1 : 0;
            return 0;
        case kOpLock:
        case kOpLockWait: {
            Status s = file.lockFile(0);
            return s.ok() ? 0 : s.code == kLocked ? kLocked : code(s);
        }
        case kOpUnlock:
            file.unlockFile();
            return 0;
        case kOpLogout: {
            Status s = file.begin(2000);
            if (!s.ok()) return 48;
            CommitGroup::process().join(&file);
            return 0;
        }
        case kOpCommit: {
            Status s = CommitGroup::process().commit(&file, tcfPath(), g_durability == Durability::kPowerCut);
            return s.ok() ? 0 : code(s);
        }
        case kOpRollback:
            CommitGroup::process().forget(&file);
            file.rollback();
            return 0;
        case kOpEmpty: {
            Status s = file.empty();
            v.current = 0;
            return s.ok() ? 0 : code(s);
        }
        case kOpPack: {
            // The current record and the reading position end here (the access layer clears them).
            v.current = 0;
            v.seq = Sequence{};
            Status s = file.pack();
            return s.ok() ? 0 : s.code == kDuplicate ? kDuplicate : code(s);
        }
        case kOpBuild:
        case kOpBuildKey: {
            Status s = file.buildKeys(op == kOpBuildKey ? key : -1);
            return s.ok() ? 0 : s.code == kDuplicate ? kDuplicate : code(s);
        }
        case kOpFlush:
        case kOpStream:
            return 0;
        default:
            return 80;
    }
}

std::unique_ptr<data::DriverInstance> newInstance(FileDecl& f, int32_t* error) {
    auto v = std::make_unique<VeloxInstance>();
    std::string declared = f.name();
    if (declared.empty()) {
        if (error) *error = 45;
        return nullptr;
    }
    std::string path;
    splitTableName(declared, path, v->table);
    for (char& c : path)
        if (c == '\\') c = '/';
    std::error_code ec;
    auto full = std::filesystem::absolute(path, ec);
    v->path = ec ? path : full.lexically_normal().string();
    if (error) *error = 0;
    return v;
}

const data::DriverDescriptor kDescriptor = [] {
    data::DriverDescriptor d;
    d.name = "VELOX";
    d.banner = "Velox (VLX) Driver 1.00";
    d.entry = entry;
    d.newInstance = newInstance;
    d.operations = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23,
                    24, 25, 26, 27, 29, 30, 31, 32, 33, 34, 36, 37, 38, 40, 41, 43, 44, 45, 46, 48, 49, 50,
                    51, 52, 53, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67};
    d.fieldTypes = {1, 2, 3, 6, 7, 8, 9, 10, 18, 19, 20, 21, 27, 22, 24};
    d.caps = {true, true, true, true, true};
    return d;
}();

}  // namespace

const data::DriverDescriptor& veloxDriverDescriptor() { return kDescriptor; }

Schema veloxSchemaOf(const data::FileDecl& file) { return schemaOf(file); }

void setVeloxDurability(Durability d) { g_durability = d; }

void setVeloxWaits(int openWaitMs, int lockWaitMs) {
    g_openWaitMs = openWaitMs;
    g_lockWaitMs = lockWaitMs;
}

std::string veloxTransactionControlFile() { return tcfName(); }

std::string veloxDamagedFile() { return g_damagedPath; }

}  // namespace sitedex::record
