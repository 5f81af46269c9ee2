#include "data/access.h"

#include "data/driver_registry.h"
#include "data/error_state.h"
#include "data/warnings.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"

#include <array>
#include <chrono>
#include <thread>

namespace sitedex::data {

namespace {

constexpr uint32_t O = kStateOpen, H = kStateHasRecord, T = kStateInTransaction, St = kStateStreaming,
                   L = kStateLocked, P = kStatePositioned, W = kStateCanWrite, Ex = kStateExclusive,
                   K = kStateKeyReady, SP = kStateStartPending;
constexpr uint32_t F1 = kFlagClearError, F2 = kFlagRelease, F4 = kFlagSequential;

using Table = std::array<PreconditionRow, kOpLastRow + 1>;

constexpr Table makeTable() {
    Table t{};
    auto row = [&](std::initializer_list<int> ops, PreconditionRow r) {
        for (int op : ops) t[size_t(op)] = r;
    };
    //          F        R           X      S        C        E
    row({1}, {F1, O | W, 0, H, 0, 0});
    row({2}, {0, O | P, 0, 0, 0, 0});
    row({3}, {F1, W | Ex, T, 0, 0, H | P | SP});
    row({4}, {F1, O | W, 0, 0, 0, 0});
    row({5}, {F1, O, T, K, 0, 0});
    row({6}, {F1, W | Ex, T, 0, 0, 0});
    row({7}, {F1 | F2, O, T, 0, O | K, 0});
    row({8}, {F1, O | T, 0, 0, T, 0});
    row({9}, {F1 | F2, 0, O, 0, 0, 0});
    row({10}, {F1 | F2, 0, O, 0, 0, 0});
    row({11}, {F1, O | H | W, 0, 0, H, 0});
    row({12}, {F1, O | W, 0, 0, 0, 0});
    row({13}, {F1, O | W | Ex, T, 0, 0, 0});
    row({14}, {0, O | P, 0, 0, 0, 0});
    row({15, 17}, {F1, O | K, 0, H, 0, H});
    row({16}, {F1, O, 0, H, 0, H});
    row({18, 19}, {F1, O, 0, 0, 0, 0});
    row({20, 21}, {F1, O, L, L | Ex, 0, 0});
    row({22}, {F1, O, T, T, 0, 0});
    row({23}, {0, 0, 0, 0, 0, 0});
    row({24}, {F1 | F4, O | P, 0, H, 0, H | P | SP});
    row({25}, {F1, 0, O, O, 0, 0});
    row({26}, {F1, W | Ex, T, 0, H | P, H | P | SP});
    row({27, 28}, {0, O | H, 0, 0, 0, 0});
    row({29}, {F1, O | St, 0, 0, St, 0});
    row({30}, {F1, O | H | W, 0, 0, 0, 0});
    row({31}, {F1 | F4, O | P, 0, H, 0, H | P | SP});
    row({32}, {0, O, 0, 0, 0, 0});
    row({33}, {0, O | K, 0, 0, 0, 0});
    row({34}, {F1, O, T, K, 0, 0});
    row({36}, {F1, O, 0, 0, 0, 0});
    row({37, 38}, {F1 | F2, 0, O, 0, 0, 0});
    row({40}, {F1, O | T, 0, 0, T, 0});
    row({41, 42, 43}, {F1 | F4, O, 0, P | SP, 0, P | SP});
    row({44, 45, 46, 47}, {F1 | F4, O | K, 0, P | SP, 0, P | SP});
    row({48}, {F1, 0, O, O, 0, 0});
    row({49}, {F1 | F4, O | P, 0, 0, H, H | P | SP});
    row({50}, {F1, O | L, T, 0, L, 0});
    row({51, 52}, {F1, O, 0, 0, 0, 0});
    row({53}, {F1, O, 0, H, 0, H});
    row({54, 55}, {F1, O | W, 0, 0, 0, H});
    row({56}, {F1, O, St, St, 0, 0});
    row({57}, {F1, O | K, 0, 0, 0, 0});
    row({58}, {F1, O, 0, 0, 0, 0});
    row({59}, {F1, O | W, 0, 0, 0, 0});
    row({60}, {F1, 0, 0, 0, 0, 0});
    row({61}, {F1, O | H, 0, 0, 0, 0});
    row({62}, {F1, O | H | K, 0, 0, 0, 0});
    row({63}, {F1 | F4, O, 0, P | SP, 0, P | SP});
    row({64}, {F1 | F4, O | K, 0, P | SP, 0, P | SP});
    row({65}, {0, O, 0, 0, 0, 0});
    row({66}, {F1, O, 0, H, 0, 0});
    row({67}, {F1, O | K, 0, H, 0, 0});
    for (int op = 68; op <= 81; ++op) t[size_t(op)] = {F1, 0, 0, 0, 0, 0};
    row({74}, {0, 0, 0, 0, 0, 0});
    return t;
}

constexpr Table g_table = makeTable();
const Table& table() { return g_table; }

bool isPositionTextOp(int op) { return op == kOpReset || op == kOpResetByKey || op == kOpReget || op == kOpRegetByKey; }

struct Frame {
    std::vector<OpenFileEntry> registry;
    bool transaction = false;
    bool hookAdded = false;
};

Frame g_frame;
Frame& frame() { return g_frame; }

int ownerThread(const FileDecl& file) { return file.perThread() ? runtime::currentThread() : 0; }

void unregisterFile(FileDecl& file) {
    auto& r = frame().registry;
    int t = ownerThread(file);
    for (auto it = r.begin(); it != r.end(); ++it)
        if (it->file == &file && it->thread == t) {
            r.erase(it);
            return;
        }
}

void releaseInstance(FileDecl& file) {
    unregisterFile(file);
    file.slot().instance.reset();
}

void onThreadEnd(int threadNumber);

void ensureThreadHook() {
    if (frame().hookAdded) return;
    frame().hookAdded = true;
    runtime::addThreadEndHook(onThreadEnd);
}

// True when the key's KeyReady requirement holds: ordinary keys are always ready.
bool keyReady(FileDecl& file, const KeyDecl* key) {
    if (!key || !(key->attributes & kKeyIndex)) return true;
    return file.slot().keyFlags.at(size_t(key->number - 1)) & K;
}

// Returns 0 to go on, an error code to refuse, or -1 to skip silently.
int32_t checkPreconditions(int op, const PreconditionRow& row, DriverInstance& in, FileDecl& file,
                           const CallArgs& args) {
    uint32_t have = in.state & ~K;
    if (keyReady(file, args.key)) have |= K;
    uint32_t missing = row.required & ~have;
    if (missing & O) return kErrNotOpen;
    if (missing & K) return kErrRebuildKeys;
    if (in.state & O) {
        if (missing & H) return kErrRecordNotAvailable;
        if (missing & P) return kErrRecordNotAvailable;
        if (missing & Ex) return kErrExclusiveRequired;
        if (missing & W) return kErrAccessDenied;
        if (missing) return -1;
    }
    uint32_t refused = row.refused & in.state;
    if (refused & O) return kErrAlreadyOpen;
    if (refused & T) return kErrLogoutActive;
    if (refused) return -1;
    if (isPositionTextOp(op) && args.text[0].find_first_not_of(' ') == std::string::npos) return kErrRecordNotFound;
    return 0;
}

int32_t runDriver(int op, const DriverDescriptor& d, FileDecl& file, CallArgs& args) {
    if (op == kOpLock) {
        // Without a wait the lock is retried for as long as another program holds the file.
        for (;;) {
            int32_t r = d.entry(op, file, args);
            if (r != kErrAlreadyLocked) return r;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (op == kOpLockWait) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<int64_t>(0, args.number[0]) * 1000);
        for (;;) {
            int32_t r = d.entry(op, file, args);
            if (r == 0 || r == kErrUnsupported || std::chrono::steady_clock::now() >= until) return r;
            runtime::letPendingMessagesThrough();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return d.entry(op, file, args);
}

void postFor(FileDecl& file, int32_t code) {
    // A driver names a failed system call by its code (300 + the system error); errno may have
    // changed since.
    bool system = code > kErrSystemBase && code < kErrSystemBase + 100;
    postError(code, system ? code - kErrSystemBase : -1);
    setFileInError(&file);
}

}  // namespace

const PreconditionRow* preconditionRow(int op) {
    if (op < 1 || op > kOpLastRow) return nullptr;
    return &table()[size_t(op)];
}

namespace {

// Step 4: the driver makes the instance; the access layer fills the common part.
[[gnu::noinline]] int32_t makeInstance(FileDecl& file, FileSlot& slot, const DriverDescriptor* d) {
    if (!d || !d->entry || !d->newInstance) return kErrUnsupported;
    int32_t err = 0;
    std::unique_ptr<DriverInstance> made = d->newInstance(file, &err);
    if (!made) return err ? err : kErrUnsupported;
    made->fileName = file.name();
    made->owner = std::string(file.owner());
    made->options = std::string(file.options());
    made->optionFlags = uint8_t(file.attributes() & (kAttrBit2 | kAttrCreate | kAttrBit8 | kAttrOemConvert));
    made->recordBuffer = slot.record.data();
    made->recordSize = file.recordSize();
    made->declaration = &file;
    slot.instance = std::move(made);
    return 0;
}

// Success of open, share or close: access mode, state from the mode, the registry.
[[gnu::noinline]] void afterOpenOrClose(int op, FileDecl& file, DriverInstance& in, const DriverDescriptor& d,
                                        const CallArgs& args) {
    if (op == kOpClose) {
        unregisterFile(file);
        return;
    }
    uint32_t mode = uint32_t(args.number[0]);
    in.accessMode = mode;
    in.state = (mode % 4) ? (in.state | W) : (in.state & ~W);
    in.state = (mode & (kShareDenyAll | kShareDenyWrite)) ? (in.state | Ex) : (in.state & ~Ex);
    frame().registry.push_back({false, &file, ownerThread(file), d.caps});
}

}  // namespace

namespace {

// Steps 8-10 after a refusal (-1: a silent skip) or a failure of the driver. Returns the result.
[[gnu::noinline]] int32_t failed(int op, const PreconditionRow& row, FileDecl& file, DriverInstance& in,
                                 uint32_t* keyFlags, int32_t result) {
    const bool opening = op == kOpOpen || op == kOpShare;
    const bool skipped = result == -1;
    const int32_t err = skipped ? 0 : result;
    in.state &= ~(row.clearFail & ~K);
    if (keyFlags) *keyFlags &= ~(row.clearFail & K);
    in.lastError = err;
    // A refusal because the file is open or in a transaction leaves the open file alone: dropping its
    // instance there would abandon an open file and its transaction.
    bool keep = err == kErrAlreadyOpen || err == kErrLogoutActive;
    if (err == kErrNotOpen || ((row.flags & kFlagRelease) && !keep) || (opening && err && !keep))
        releaseInstance(file);
    if (skipped) return 0;
    postFor(file, result);
    return result;
}

// Next on a file whose instance exists and whose state passes next's row at once: the steps of
// callFile that apply to it (next has no key, no text, no release, no open-file registry change),
// without the general walk. Reading a file line by line is made of these calls. -2: take callFile.
int32_t shortNext(FileDecl& file) {
    constexpr PreconditionRow row = g_table[kOpNext];
    static_assert(row.refused == 0 && !(row.flags & kFlagRelease) && !((row.setOk | row.clearOk) & K),
                  "next's row changed: check this path against callFile");
    DriverInstance* in = file.slot().instance.get();
    if (!in || (row.required & ~in->state) || !frame().hookAdded) [[unlikely]]
        return -2;
    const DriverDescriptor* d = file.driver();
    if (!d) [[unlikely]]
        return -2;
    in->operationFlags = 0;
    int32_t result;
    if (d->next) [[likely]] {
        result = d->next(file, *in);
    } else {
        CallArgs args;
        args.instance = in;
        result = d->entry(kOpNext, file, args);
    }
    if (result != 0) [[unlikely]]
        return failed(kOpNext, row, file, *in, nullptr, result);
    in->state = (in->state | row.setOk) & ~row.clearOk;
    in->operationFlags |= row.flags;
    in->lastSequentialOp = kOpNext;
    in->lastError = 0;
    if (row.flags & kFlagClearError) clearErrorState();
    return 0;
}

}  // namespace

int32_t callFile(int op, FileDecl& file, CallArgs& args) {
    if (op == kOpNoOperation) return 0;
    ensureThreadHook();
    FileSlot& slot = file.slot();
    const DriverDescriptor* d = file.driver();
    if (!slot.instance || !d) [[unlikely]] {
        if (int32_t err = makeInstance(file, slot, d)) {
            postFor(file, err);
            return err;
        }
    }
    DriverInstance& in = *slot.instance;
    args.instance = &in;
    if (args.key) args.keyNumber = args.key->number;

    const PreconditionRow* rowp = preconditionRow(op);
    static const PreconditionRow kNoRow{};
    const PreconditionRow& row = rowp ? *rowp : kNoRow;
    in.operationFlags = 0;
    int32_t result = rowp ? checkPreconditions(op, row, in, file, args) : kErrUnsupported;
    const bool opening = op == kOpOpen || op == kOpShare;
    if (opening && result == 0 && file.name().empty()) [[unlikely]]
        result = kErrInvalidFilename;
    if (result == 0) result = (op == kOpLock || op == kOpLockWait) ? runDriver(op, *d, file, args)
                                                                   : d->entry(op, file, args);

    uint32_t* keyFlags = nullptr;
    if (args.key && args.key->file == &file) [[unlikely]]
        keyFlags = &slot.keyFlags.at(size_t(args.key->number - 1));
    if (result == 0) {
        in.state = (in.state | (row.setOk & ~K)) & ~(row.clearOk & ~K);
        if (keyFlags) *keyFlags = (*keyFlags | (row.setOk & K)) & ~(row.clearOk & K);
        if (row.clearOk & K) [[unlikely]]  // close forgets every built index of the file
            for (uint32_t& f : slot.keyFlags) f &= ~K;
        in.operationFlags |= row.flags;
        if (row.flags & kFlagSequential) in.lastSequentialOp = op;
        if (opening || op == kOpClose) [[unlikely]]
            afterOpenOrClose(op, file, in, *d, args);
        in.lastError = 0;
        if (row.flags & kFlagClearError) clearErrorState();
        if (row.flags & kFlagRelease) [[unlikely]]
            releaseInstance(file);
        return 0;
    }
    return failed(op, row, file, in, keyFlags, result);
}

int32_t callKey(int op, KeyDecl& key, CallArgs& args) {
    args.key = &key;
    return callFile(op, *key.file, args);
}

namespace {

int32_t simple(int op, FileDecl& f) {
    CallArgs a;
    return callFile(op, f, a);
}
int32_t withNumbers(int op, FileDecl& f, int64_t n0, int64_t n1 = 0) {
    CallArgs a;
    a.number[0] = n0;
    a.number[1] = n1;
    return callFile(op, f, a);
}
int32_t withText(int op, FileDecl& f, std::string_view t0) {
    CallArgs a;
    a.text[0] = std::string(t0);
    return callFile(op, f, a);
}
int32_t keyWithText(int op, KeyDecl& k, std::string_view t0, std::string_view t1 = {}) {
    CallArgs a;
    a.text[0] = std::string(t0);
    a.text[1] = std::string(t1);
    return callKey(op, k, a);
}

}  // namespace

int32_t open(FileDecl& f, uint32_t mode) { return withNumbers(kOpOpen, f, mode); }
int32_t share(FileDecl& f, uint32_t mode) { return withNumbers(kOpShare, f, mode); }
int32_t close(FileDecl& f) { return simple(kOpClose, f); }
int32_t create(FileDecl& f) { return simple(kOpCreate, f); }
int32_t createIfMissing(FileDecl& f) { return withNumbers(kOpCreate, f, kCreateIfMissing); }
int32_t remove(FileDecl& f) { return simple(kOpRemove, f); }
int32_t copy(FileDecl& f, std::string_view n) { return withText(kOpCopy, f, n); }
int32_t rename(FileDecl& f, std::string_view n) { return withText(kOpRename, f, n); }
int32_t empty(FileDecl& f) { return simple(kOpEmpty, f); }
int32_t flush(FileDecl& f) { return simple(kOpFlush, f); }
int32_t stream(FileDecl& f) { return simple(kOpStream, f); }
int32_t build(FileDecl& f) { return simple(kOpBuild, f); }
int32_t build(KeyDecl& k) {
    CallArgs a;
    return callKey(kOpBuildKey, k, a);
}
int32_t buildIndex(KeyDecl& k, std::string_view c) { return keyWithText(kOpBuildIndex, k, c); }
int32_t buildIndex(KeyDecl& k, std::string_view c, std::string_view filter) {
    return keyWithText(kOpBuildIndexFilter, k, c, filter);
}
int32_t pack(FileDecl& f) { return simple(kOpPack, f); }

int32_t add(FileDecl& f) { return simple(kOpAdd, f); }
int32_t add(FileDecl& f, uint32_t length) { return withNumbers(kOpAddLength, f, length); }
int32_t append(FileDecl& f) { return simple(kOpAppend, f); }
int32_t append(FileDecl& f, uint32_t length) { return withNumbers(kOpAppendLength, f, length); }
int32_t put(FileDecl& f) { return simple(kOpPut, f); }
int32_t putToPointer(FileDecl& f, int64_t p) { return withNumbers(kOpPutToPointer, f, p); }
int32_t putToPointer(FileDecl& f, int64_t p, uint32_t length) {
    return withNumbers(kOpPutToPointerLength, f, p, length);
}
int32_t deleteRecord(FileDecl& f) { return simple(kOpDelete, f); }

int32_t set(FileDecl& f) { return simple(kOpSet, f); }
int32_t setToPointer(FileDecl& f, int64_t p) { return withNumbers(kOpSetToPointer, f, p); }
int32_t set(KeyDecl& k) {
    CallArgs a;
    return callKey(kOpSetByKey, k, a);
}
int32_t set(KeyDecl& k, KeyDecl& v) {
    CallArgs a;
    a.key2 = &v;
    return callKey(kOpSetByKeyValue, k, a);
}
int32_t set(KeyDecl& k, KeyDecl& v, int64_t p) {
    CallArgs a;
    a.key2 = &v;
    a.number[0] = p;
    return callKey(kOpSetByKeyValuePointer, k, a);
}
int32_t next(FileDecl& f) {
    int32_t r = shortNext(f);
    return r != -2 ? r : simple(kOpNext, f);
}
int32_t previous(FileDecl& f) { return simple(kOpPrevious, f); }
int32_t skip(FileDecl& f, int64_t count) { return withNumbers(kOpSkip, f, count); }
int32_t get(FileDecl& f, KeyDecl& k) {
    CallArgs a;
    a.key = &k;
    return callFile(kOpGetByKey, f, a);
}
int32_t getByPointer(FileDecl& f, int64_t p) { return withNumbers(kOpGetByPointer, f, p); }
int32_t getByPointer(FileDecl& f, int64_t p, uint32_t length) {
    return withNumbers(kOpGetByPointerLength, f, p, length);
}
int32_t reset(FileDecl& f, std::string_view pos) { return withText(kOpReset, f, pos); }
int32_t reset(KeyDecl& k, std::string_view pos) { return keyWithText(kOpResetByKey, k, pos); }
int32_t reget(FileDecl& f, std::string_view pos) { return withText(kOpReget, f, pos); }
int32_t reget(KeyDecl& k, std::string_view pos) { return keyWithText(kOpRegetByKey, k, pos); }

int32_t hold(FileDecl& f) { return withNumbers(kOpHold, f, -1); }
int32_t hold(FileDecl& f, int seconds) { return withNumbers(kOpHoldWait, f, seconds); }
int32_t release(FileDecl& f) { return simple(kOpRelease, f); }
int32_t watch(FileDecl& f) { return simple(kOpWatch, f); }
int32_t noMemo(FileDecl& f) { return simple(kOpNoMemo, f); }
int32_t lock(FileDecl& f) { return simple(kOpLock, f); }
int32_t lock(FileDecl& f, int seconds) { return withNumbers(kOpLockWait, f, seconds); }
int32_t unlock(FileDecl& f) { return simple(kOpUnlock, f); }
int32_t setProperty(FileDecl& f, int property, std::string_view value) {
    CallArgs a;
    a.number[0] = property;
    a.text[0] = std::string(value);
    return callFile(kOpSetProperty, f, a);
}

bool atEnd(FileDecl& f) {
    CallArgs a;
    return callFile(kOpAtEnd, f, a) != 0 || a.numberResult != 0;
}
bool atStart(FileDecl& f) {
    CallArgs a;
    return callFile(kOpAtStart, f, a) != 0 || a.numberResult != 0;
}
bool duplicate(FileDecl& f) {
    CallArgs a;
    return callFile(kOpDuplicate, f, a) == 0 && a.numberResult != 0;
}
bool duplicate(KeyDecl& k) {
    CallArgs a;
    return callKey(kOpDuplicateOfKey, k, a) == 0 && a.numberResult != 0;
}
int64_t records(FileDecl& f) {
    CallArgs a;
    return callFile(kOpRecords, f, a) == 0 ? a.numberResult : 0;
}
int64_t records(KeyDecl& k) {
    CallArgs a;
    return callKey(kOpRecordsOfKey, k, a) == 0 ? a.numberResult : 0;
}
int64_t pointer(FileDecl& f) {
    CallArgs a;
    return callFile(kOpPointer, f, a) == 0 ? a.numberResult : 0;
}
int64_t bytes(FileDecl& f) {
    CallArgs a;
    return callFile(kOpBytes, f, a) == 0 ? a.numberResult : 0;
}
std::string name(FileDecl& f) {
    CallArgs a;
    if (callFile(kOpName, f, a) != 0) return f.name();
    return a.textResult;
}
std::string send(FileDecl& f, std::string_view request) {
    CallArgs a;
    a.text[0] = std::string(request);
    callFile(kOpSend, f, a);
    return a.textResult;
}
std::string position(FileDecl& f) {
    CallArgs a;
    callFile(kOpPosition, f, a);
    return a.textResult;
}
std::string position(KeyDecl& k) {
    CallArgs a;
    callKey(kOpPositionOfKey, k, a);
    return a.textResult;
}

const std::vector<OpenFileEntry>& openFiles() { return frame().registry; }

bool transactionActive() { return frame().transaction; }

void forgetFile(FileDecl& file) {
    auto& r = frame().registry;
    for (size_t i = r.size(); i-- > 0;)
        if (r[i].file == &file) r.erase(r.begin() + std::ptrdiff_t(i));
}

namespace {

OpenFileEntry* entryFor(FileDecl& file) {
    int t = ownerThread(file);
    for (OpenFileEntry& e : frame().registry)
        if (e.file == &file && e.thread == t) return &e;
    return nullptr;
}

// Ends the transaction on every marked entry, last first: commit or roll back, then unlock. The
// first failure stays in the error state when the loop is done: the unlocks and the other files'
// commits that follow it would otherwise clear it, and a failed commit would look like success.
void endTransaction(bool commitIt) {
    frame().transaction = false;
    auto& r = frame().registry;
    const FileDecl* failedFile = nullptr;
    for (size_t i = r.size(); i-- > 0;) {
        if (i >= r.size() || !r[i].inTransaction) continue;
        OpenFileEntry e = r[i];
        r[i].inTransaction = false;
        if (commitIt ? e.caps.canCommit : e.caps.canRollback) {
            int32_t rc = simple(commitIt ? kOpCommit : kOpRollback, *e.file);
            if (rc != 0 && !failedFile) {
                failedFile = e.file;
                saveErrorState();
            }
            // A failed commit has undone the file's changes: its transaction is over all the same,
            // and the file must not stay marked as in one (the next logout would be refused).
            if (rc != 0 && e.file->instance()) e.file->instance()->state &= ~kStateInTransaction;
        }
        if (e.caps.unlockAfterTransaction) simple(kOpUnlock, *e.file);
    }
    if (failedFile) {
        restoreErrorState();
        setFileInError(failedFile);
    }
}

}  // namespace

int32_t logout(int seconds, const std::vector<FileDecl*>& files) {
    if (frame().transaction) {
        postError(kErrLogoutActive, 0);
        return kErrLogoutActive;
    }
    bool failed = false;
    for (FileDecl* file : files) {
        if (!file) break;  // an empty entry ends the list
        if (!file->hasSlot(runtime::currentThread()) || !file->instance()) continue;
        OpenFileEntry* e = entryFor(*file);
        if (!e) {
            failed = true;
            break;
        }
        RegistryCaps caps = e->caps;
        if (caps.lockBeforeLogout) {
            int32_t r = withNumbers(kOpLockWait, *file, seconds);
            if (r != 0 && r != kErrUnsupported) {
                failed = true;
                break;
            }
        }
        if (!caps.takesPartInLogout || simple(kOpLogout, *file) != 0) {
            if (caps.unlockAfterTransaction) simple(kOpUnlock, *file);
            failed = true;
            break;
        }
        if ((e = entryFor(*file))) e->inTransaction = true;
    }
    if (failed) {
        endTransaction(false);
        postError(kErrCannotLog, 0);
        return kErrCannotLog;
    }
    frame().transaction = true;
    return 0;
}

int32_t logout(int seconds, std::initializer_list<FileDecl*> files) {
    return logout(seconds, std::vector<FileDecl*>(files));
}

void commit() { endTransaction(true); }
void rollback() { endTransaction(false); }

void closeAllFiles() {
    if (frame().transaction) commit();
    int current = runtime::currentThread();
    while (!frame().registry.empty()) {
        OpenFileEntry e = frame().registry.back();
        if (e.thread) runtime::setCurrentThread(e.thread);
        simple(kOpClose, *e.file);
        // A file whose close failed still leaves the list: its instance has been released.
        if (!frame().registry.empty() && frame().registry.back().file == e.file &&
            frame().registry.back().thread == e.thread)
            frame().registry.pop_back();
        runtime::setCurrentThread(current);
    }
}

void captureError() {
    saveCurrentError();
    if (transactionActive()) rollback();
}

namespace {

void onThreadEnd(int threadNumber) {
    auto& r = frame().registry;
    for (size_t i = r.size(); i-- > 0;) {
        if (i < r.size() && r[i].thread == threadNumber) simple(kOpClose, *r[i].file);
    }
    for (FileDecl* f : FileDecl::all()) {
        if (f->perThread()) {
            if (f->hasSlot(threadNumber) && f->slotOf(threadNumber).instance) releaseInstance(*f);
            f->dropSlot(threadNumber);
        }
    }
}

}  // namespace

}  // namespace sitedex::data
