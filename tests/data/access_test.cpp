// The access layer's precondition table, error state handling and transaction frame. A probe driver
// that records its calls shows when the driver is (not) reached; the text driver runs the rest on
// real files.
#include "data/access.h"

#include "data/driver_registry.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace sitedex::data {
namespace {

using sitedex::testing::readFile;
using sitedex::testing::TempDir;
using sitedex::testing::writeFile;

// A driver that answers every operation with a chosen code (0 unless told) and records the codes.
struct Probe {
    std::vector<int> calls;
    std::map<int, int32_t> answers;
    std::map<int, std::vector<int32_t>> sequences;  // answered first, one per call
    std::vector<int64_t> numbers;
    int32_t instanceError = 0;
};
Probe g_probe;

int32_t probeEntry(int op, FileDecl&, CallArgs& args) {
    g_probe.calls.push_back(op);
    g_probe.numbers.push_back(args.number[0]);
    if (op == kOpRecords) args.numberResult = 7;
    auto seq = g_probe.sequences.find(op);
    if (seq != g_probe.sequences.end() && !seq->second.empty()) {
        int32_t r = seq->second.front();
        seq->second.erase(seq->second.begin());
        return r;
    }
    auto it = g_probe.answers.find(op);
    return it == g_probe.answers.end() ? 0 : it->second;
}

std::unique_ptr<DriverInstance> probeInstance(FileDecl&, int32_t* error) {
    *error = g_probe.instanceError;
    if (*error) return nullptr;
    return std::make_unique<DriverInstance>();
}

const DriverDescriptor kProbe{"PROBE", "Probe", probeEntry, probeInstance, {}, {}, {true, true, true, true, true}};

// The same probe with the short entry for next, which the access layer calls instead of entry.
int32_t probeNext(FileDecl& file, DriverInstance& in) {
    CallArgs args;
    args.instance = &in;
    return probeEntry(kOpNext, file, args);
}
const DriverDescriptor kProbeShortNext{"PROBENEXT", "Probe", probeEntry, probeInstance, {}, {},
                                       {true, true, true, true, true}, probeNext};

FileSpec probeSpec(std::string_view name) {
    FileSpec s;
    s.driver = "PROBE";
    s.label = "Probe";
    s.prefix = "PRB";
    s.name = {name};
    s.attributes = kAttrCreate | kAttrPerThread;
    s.recordSize = 10;
    s.fields = {{"PRB:NAME", kTypeString, 0, 10}};
    s.keys = {{"PRB:K_NAME", 1, {1}}, {"PRB:I_NAME", kKeyIndex, {1}}};
    return s;
}

class Access : public ::testing::Test {
protected:
    void SetUp() override {
        registerDriver(kProbe);
        g_probe = {};
        clearErrorState();
    }
    void TearDown() override {
        closeAllFiles();
        if (transactionActive()) rollback();
    }
    // Opens the probe file and sets its state bits as a case needs them.
    DriverInstance& openWith(FileDecl& f, uint32_t state) {
        EXPECT_EQ(open(f, kModeShared), 0);
        f.instance()->state = state;
        g_probe.calls.clear();
        return *f.instance();
    }
    bool called(int op) const {
        for (int c : g_probe.calls)
            if (c == op) return true;
        return false;
    }
};

constexpr uint32_t O = kStateOpen, H = kStateHasRecord, W = kStateCanWrite, Ex = kStateExclusive,
                   L = kStateLocked, P = kStatePositioned, T = kStateInTransaction;

TEST_F(Access, PreconditionsRefuseBeforeTheDriver) {
    struct Case {
        const char* what;
        uint32_t state;
        int op;
        int32_t expect;
    } cases[] = {
        {"next without set", O | W | H, kOpNext, 33},
        {"previous without set", O | W, kOpPrevious, 33},
        {"skip without set", O | W, kOpSkip, 33},
        {"put without a record", O | W, kOpPut, 33},
        {"delete without a record", O | W, kOpDelete, 33},
        {"pointer without a record", O, kOpPointer, 33},
        {"position without a record", O, kOpPosition, 33},
        {"add read-only", O, kOpAdd, 5},
        {"append read-only", O, kOpAppend, 5},
        {"put read-only", O | H, kOpPut, 5},
        {"build shared", O | W, kOpBuild, 63},
        {"empty shared", O | W, kOpEmpty, 63},
        {"pack shared", O | W, kOpPack, 63},
        {"empty read-only exclusive", O | Ex, kOpEmpty, 5},
        {"open twice", O | W, kOpOpen, 52},
        {"share twice", O | W, kOpShare, 52},
        {"create open file", O | W, kOpCreate, 52},
        {"copy open file", O | W, kOpCopy, 52},
        {"rename open file", O | W, kOpRename, 52},
        {"remove open file", O | W, kOpRemove, 52},
        {"close in transaction", O | W | T, kOpClose, 56},
        {"build in transaction", O | W | Ex | T, kOpBuild, 56},
        {"empty in transaction", O | W | Ex | T, kOpEmpty, 56},
        {"unlock in transaction", O | W | L | T, kOpUnlock, 56},
        {"logout twice", O | W | T, kOpLogout, 56},
        {"commit outside transaction", O | W, kOpCommit, 0},  // T missing on an open file: skipped
        {"reset blank position", O, kOpReset, 35},
        {"reget blank position", O, kOpReget, 35},
        {"code 0", O, 0, 80},
        {"code 324", O, 324, 80},
    };
    FileDecl f(probeSpec("probe"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        openWith(f, c.state);
        postError(2, 0);  // a skipped operation must leave this in place
        CallArgs args;
        args.text[0] = "    ";
        int32_t r = callFile(c.op, f, args);
        EXPECT_EQ(r, c.expect);
        EXPECT_TRUE(g_probe.calls.empty()) << "driver reached with " << g_probe.calls.front();
        EXPECT_EQ(errorCode(), c.expect ? c.expect : 2);
        if (c.expect) {
            EXPECT_EQ(errorFile(), &f);
        }
        ASSERT_NE(f.instance(), nullptr);  // no refusal here releases the instance
        f.instance()->state = O;
        close(f);
    }
}

TEST_F(Access, ClosedFileRefusesWith37ButLetsTheOthersThrough) {
    FileDecl f(probeSpec("probe"));
    int needOpen[] = {1, 2, 4, 7, 8, 11, 13, 14, 15, 16, 18, 20, 22, 24, 27, 29, 30, 31, 32, 36, 40, 41, 43, 44,
                      49, 50, 51, 52, 53, 54, 56, 58, 59, 61, 63, 65, 66};
    for (int op : needOpen) {
        SCOPED_TRACE(op);
        g_probe.calls.clear();
        CallArgs args;
        args.key = &f.keys()[0];
        args.text[0] = "pos!";
        EXPECT_EQ(callFile(op, f, args), 37);
        EXPECT_TRUE(g_probe.calls.empty());
        EXPECT_EQ(f.instance(), nullptr);  // 37 releases the instance
    }
    int reachDriver[] = {kOpOpen, kOpCreate, kOpCopy, kOpRename, kOpRemove, kOpName, kOpSend, kOpSetProperty,
                         kOpBuild, kOpBuildKey, kOpPack};
    for (int op : reachDriver) {
        SCOPED_TRACE(op);
        g_probe.calls.clear();
        CallArgs args;
        args.key = &f.keys()[0];
        callFile(op, f, args);
        EXPECT_EQ(g_probe.calls, std::vector<int>{op});
        if (op == kOpOpen) close(f);
    }
    g_probe.calls.clear();
    CallArgs args;
    EXPECT_EQ(callFile(kOpNoOperation, f, args), 0);
    EXPECT_TRUE(g_probe.calls.empty());
}

TEST_F(Access, StateBitsFollowTheTable) {
    FileDecl f(probeSpec("probe"));
    ASSERT_EQ(open(f, kModeShared), 0);
    EXPECT_EQ(f.instance()->state, O | W);
    close(f);
    ASSERT_EQ(open(f, 0x22), 0);
    EXPECT_EQ(f.instance()->state, O | W | Ex);
    close(f);
    ASSERT_EQ(open(f, 0x40), 0);  // read-only, deny none
    EXPECT_EQ(f.instance()->state, O);
    close(f);

    ASSERT_EQ(open(f, kModeShared), 0);
    EXPECT_EQ(set(f), 0);
    EXPECT_EQ(f.instance()->state & (P | kStateStartPending), P | kStateStartPending);
    EXPECT_EQ(next(f), 0);
    EXPECT_TRUE(f.instance()->state & H);
    EXPECT_EQ(f.instance()->lastSequentialOp, kOpNext);
    g_probe.answers[kOpNext] = 33;
    EXPECT_EQ(next(f), 33);
    EXPECT_FALSE(f.instance()->state & (H | P | kStateStartPending));
    EXPECT_EQ(put(f), 33);  // the failed read cleared HasRecord
    EXPECT_EQ(lock(f), 0);
    EXPECT_TRUE(f.instance()->state & (L | Ex));
    EXPECT_EQ(build(f), 0);  // locked: exclusive now
    close(f);
    EXPECT_EQ(f.instance(), nullptr);
    EXPECT_TRUE(openFiles().empty());
}

// Next through the driver's entry and through its short entry: the same rules around the driver call.
TEST_F(Access, NextKeepsTheRulesThroughEitherEntry) {
    registerDriver(kProbeShortNext);
    for (const char* driver : {"PROBE", "PROBENEXT"}) {
        SCOPED_TRACE(driver);
        FileSpec probeFile = probeSpec("probe");
        probeFile.driver = driver;
        FileDecl f(std::move(probeFile));
        ASSERT_EQ(open(f, kModeShared), 0);
        g_probe = {};
        EXPECT_EQ(next(f), 33);  // no set: refused before the driver
        EXPECT_TRUE(g_probe.calls.empty());
        EXPECT_EQ(errorFile(), &f);
        ASSERT_EQ(set(f), 0);
        g_probe.calls.clear();
        postError(35, 0);  // what an earlier statement left, with driver detail
        setDriverError("7", "detail");
        EXPECT_EQ(next(f), 0);
        EXPECT_EQ(g_probe.calls, std::vector<int>{kOpNext});
        EXPECT_EQ(errorCode(), 0);
        EXPECT_EQ(errorText(), "");
        EXPECT_EQ(errorFile(), nullptr);
        EXPECT_EQ(driverErrorText(), "");
        DriverInstance& in = *f.instance();
        EXPECT_EQ(in.state & (H | P | kStateStartPending), H | P | kStateStartPending);
        EXPECT_EQ(in.operationFlags, uint32_t(kFlagClearError | kFlagSequential));
        EXPECT_EQ(in.lastSequentialOp, kOpNext);
        EXPECT_EQ(in.lastError, 0);
        g_probe.answers[kOpNext] = 33;
        EXPECT_EQ(next(f), 33);
        EXPECT_EQ(errorCode(), 33);
        EXPECT_EQ(errorFile(), &f);
        EXPECT_EQ(in.lastError, 33);
        EXPECT_EQ(in.state & (H | P | kStateStartPending), 0u);
        EXPECT_EQ(next(f), 33);  // and refused now: the failure cleared Positioned
        EXPECT_EQ(g_probe.calls.size(), 2u);
        close(f);
    }
}

TEST_F(Access, LockTwiceLeavesTheFirstResult) {
    FileDecl f(probeSpec("probe"));
    ASSERT_EQ(open(f, kModeShared), 0);
    EXPECT_EQ(lock(f), 0);
    postError(40, 0);  // a later statement's error
    g_probe.calls.clear();
    EXPECT_EQ(lock(f), 0);
    EXPECT_TRUE(g_probe.calls.empty());
    EXPECT_EQ(errorCode(), 40);
    EXPECT_EQ(stream(f), 0);
    EXPECT_EQ(stream(f), 0);  // second stream skipped
    EXPECT_EQ(g_probe.calls, std::vector<int>{kOpStream});
}

TEST_F(Access, LockAndHoldWaits) {
    FileDecl f(probeSpec("probe"));
    ASSERT_EQ(open(f, kModeShared), 0);
    g_probe.calls.clear();
    g_probe.sequences[kOpLock] = {32, 32, 0};  // without a wait: tried while another program holds it
    EXPECT_EQ(lock(f), 0);
    EXPECT_EQ(g_probe.calls, (std::vector<int>{kOpLock, kOpLock, kOpLock}));
    unlock(f);
    g_probe.calls.clear();
    g_probe.answers[kOpLockWait] = 32;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lock(f, 1), 32);  // with a wait: tried until the seconds have passed
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(990));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_GT(g_probe.calls.size(), 5u);
    EXPECT_FALSE(f.instance()->state & L);
    g_probe.numbers.clear();
    hold(f);
    hold(f, 4);
    EXPECT_EQ(g_probe.numbers, (std::vector<int64_t>{-1, 4}));
}

TEST_F(Access, NonClearingOperationsKeepThePreviousCode) {
    FileDecl f(probeSpec("probe"));
    ASSERT_EQ(open(f, kModeShared), 0);
    set(f);
    next(f);
    postError(35, 0);
    EXPECT_EQ(records(f), 7);
    EXPECT_EQ(errorCode(), 35);
    pointer(f);
    EXPECT_EQ(errorCode(), 35);
    name(f);
    EXPECT_EQ(errorCode(), 35);
    atEnd(f);
    atStart(f);
    EXPECT_EQ(errorCode(), 35);
    EXPECT_EQ(bytes(f), 0);  // byte count clears
    EXPECT_EQ(errorCode(), 0);
}

TEST_F(Access, IndexKeysMustBeBuiltFirst) {
    FileDecl f(probeSpec("probe"));
    ASSERT_EQ(open(f, kModeShared), 0);
    KeyDecl& index = f.keys()[1];
    EXPECT_EQ(get(f, f.keys()[0]), 0);  // an ordinary key is always ready
    EXPECT_EQ(get(f, index), 46);
    EXPECT_EQ(set(index), 46);
    EXPECT_EQ(buildIndex(index, "+PRB:NAME"), 0);
    EXPECT_EQ(get(f, index), 0);
    close(f);
    ASSERT_EQ(open(f, kModeShared), 0);
    EXPECT_EQ(get(f, index), 46);  // close forgets the built index
}

TEST_F(Access, FailedOpenReleasesTheInstanceAndEmptyNameIs45) {
    FileDecl f(probeSpec("probe"));
    g_probe.answers[kOpOpen] = 2;
    EXPECT_EQ(open(f, kModeShared), 2);
    EXPECT_EQ(errorText(), "File Not Found");
    EXPECT_EQ(f.instance(), nullptr);
    EXPECT_TRUE(openFiles().empty());
    FileDecl blank(probeSpec(""));
    g_probe.calls.clear();
    EXPECT_EQ(open(blank, kModeShared), 45);
    EXPECT_TRUE(g_probe.calls.empty());
    g_probe.instanceError = 47;
    EXPECT_EQ(open(f, kModeShared), 47);
    EXPECT_TRUE(g_probe.calls.empty());
}

TEST_F(Access, MissingDriverIs80) {
    FileSpec s = probeSpec("x");
    s.driver = "NOSUCH";
    FileDecl f(std::move(s));
    EXPECT_EQ(open(f, kModeShared), 80);
    EXPECT_EQ(errorText(), "Unsupported File Driver Function");
}

TEST_F(Access, RegistryAndCloseAllFiles) {
    FileDecl a(probeSpec("a")), b(probeSpec("b"));
    ASSERT_EQ(open(a, kModeShared), 0);
    ASSERT_EQ(open(b, kModeShared), 0);
    ASSERT_EQ(openFiles().size(), 2u);
    EXPECT_EQ(openFiles()[0].file, &a);
    EXPECT_EQ(openFiles()[0].thread, 1);
    ASSERT_EQ(logout(1, {&a, &b}), 0);
    g_probe.calls.clear();
    closeAllFiles();  // commits first, then closes the last opened first
    EXPECT_EQ(g_probe.calls, (std::vector<int>{kOpCommit, kOpUnlock, kOpCommit, kOpUnlock, kOpClose, kOpClose}));
    EXPECT_TRUE(openFiles().empty());
    EXPECT_FALSE(transactionActive());
}

TEST_F(Access, LogoutCommitAndRollback) {
    FileDecl a(probeSpec("a")), b(probeSpec("b")), unused(probeSpec("c"));
    ASSERT_EQ(open(a, kModeShared), 0);
    ASSERT_EQ(open(b, kModeShared), 0);
    g_probe.calls.clear();
    ASSERT_EQ(logout(2, {&a, &unused, &b}), 0);  // the never-used file is passed over
    EXPECT_EQ(g_probe.calls, (std::vector<int>{kOpLockWait, kOpLogout, kOpLockWait, kOpLogout}));
    EXPECT_TRUE(transactionActive());
    EXPECT_EQ(logout(2, {&a}), 56);
    EXPECT_EQ(errorText(), "LOGOUT Already Active");
    EXPECT_EQ(close(a), 56);
    g_probe.calls.clear();
    rollback();
    EXPECT_EQ(g_probe.calls, (std::vector<int>{kOpRollback, kOpUnlock, kOpRollback, kOpUnlock}));
    EXPECT_FALSE(transactionActive());
    EXPECT_FALSE(a.instance()->state & T);
    EXPECT_EQ(close(a), 0);
}

TEST_F(Access, LogoutOverATextFileFailsWith48AndRollsBack) {
    TempDir dir;
    std::string path = dir.file("out.txt");
    writeFile(path, "");
    FileSpec ts;
    ts.driver = "ASCII";
    ts.prefix = "T";
    ts.name = {path};
    ts.attributes = kAttrCreate;
    ts.recordSize = 20;
    ts.fields = {{"T:LINE", kTypeString, 0, 20}};
    FileDecl text(std::move(ts));
    FileDecl data(probeSpec("data"));
    ASSERT_EQ(open(data, kModeShared), 0);
    ASSERT_EQ(open(text, kModeShared), 0);
    g_probe.calls.clear();
    EXPECT_EQ(logout(1, {&data, &text}), 48);
    EXPECT_EQ(errorText(), "Unable To Log Transaction");
    EXPECT_FALSE(transactionActive());
    EXPECT_EQ(g_probe.calls, (std::vector<int>{kOpLockWait, kOpLogout, kOpRollback, kOpUnlock}));
    // The text file was locked for the logout and unlocked again: it can be locked now.
    EXPECT_FALSE(text.instance()->state & L);
    EXPECT_EQ(lock(text), 0);
}

TEST_F(Access, CaptureErrorRollsBack) {
    FileDecl a(probeSpec("a"));
    ASSERT_EQ(open(a, kModeShared), 0);
    ASSERT_EQ(logout(1, {&a}), 0);
    postError(40, 0);
    captureError();
    EXPECT_FALSE(transactionActive());
    EXPECT_EQ(savedError().code, 40);
    EXPECT_EQ(savedError().text, "Creates Duplicate Key");
}

TEST_F(Access, PerThreadFilesHaveTheirOwnSlots) {
    FileDecl f(probeSpec("probe"));
    const FieldDecl& name = *f.findField("prb:name");
    ASSERT_EQ(open(f, kModeShared), 0);
    setString(name, f.record(), "one");
    runtime::setCurrentThread(2);
    EXPECT_EQ(f.instance(), nullptr);
    EXPECT_EQ(getString(name, f.record()), "");  // cleared by the layout
    ASSERT_EQ(open(f, kModeShared), 0);
    setString(name, f.record(), "two");
    EXPECT_EQ(openFiles().size(), 2u);
    runtime::runThreadEndHooks(2);  // the thread ends: its files close, its slots go
    EXPECT_EQ(openFiles().size(), 1u);
    EXPECT_FALSE(f.hasSlot(2));
    runtime::setCurrentThread(1);
    EXPECT_EQ(getString(name, f.record()), "one");
}

}  // namespace
}  // namespace sitedex::data
