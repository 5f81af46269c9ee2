// A transaction over three record files (URL_C, URL_H, URL_L) through the access layer commits all
// or nothing: a writer process killed at random moments and at every step of the two-phase commit
// leaves the three files checked and agreeing, and a write the disk refuses during the commit is
// reported as an error with none of the files changed.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <set>
#include <thread>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"
#include "tests/support/refused_writes.h"

namespace sitedex::data {
namespace {

using Names = std::set<std::string>;

void setText(const char* field, const std::string& v) { setString(findField(field), v); }

// One transaction: category n, a snippet of it and a location in it.
int32_t addGroup(int n) {
    std::string cat = "cat" + std::to_string(n);
    if (int32_t r = logout(2, {&Categories, &CatHTML, &SITEDX})) return r;
    Categories.clear();
    setText("CAT:CATEGORY", cat);
    CatHTML.clear();
    setText("HTM:CATEGORY", cat);
    setText("HTM:TYPEOFHTML", "Before Category");
    SITEDX.clear();
    setText("URL:LOCATION", "http://" + cat + ".example/");
    setText("URL:CATEGORY", cat);
    if (add(Categories) || add(CatHTML) || add(SITEDX)) {
        int32_t r = errorCode();
        rollback();
        return r ? r : 5;
    }
    commit();
    return errorCode();
}

Names column(FileDecl& f, const char* field) {
    Names got;
    EXPECT_EQ(set(f), 0);
    while (next(f) == 0) got.insert(getString(findField(field)));
    return got;
}

int openAll() {
    for (FileDecl* f : {&Categories, &CatHTML, &SITEDX})
        if (int32_t r = share(*f, kModeShared)) return r;
    return 0;
}

class GroupCommit : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        for (FileDecl* f : {&Categories, &CatHTML, &SITEDX}) ASSERT_EQ(create(*f), 0);
    }
    void TearDown() override {
        closeAllFiles();
        ASSERT_EQ(::chdir(m_old), 0);
    }
    // The category names each file holds (URL_C, URL_H, URL_L), read after the writer is gone.
    std::vector<Names> contents() {
        EXPECT_EQ(openAll(), 0) << errorText();
        std::vector<Names> c{column(Categories, "CAT:CATEGORY"), column(CatHTML, "HTM:CATEGORY"),
                             column(SITEDX, "URL:CATEGORY")};
        closeAllFiles();
        return c;
    }
    // `sitedex check` over the data folder: exit code 0 when every file passes.
    int checkTool() {
        std::string cmd = std::string(SITEDEX_BINARY) + " check --data-dir " + m_dir.path() + " >/dev/null 2>&1";
        int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    sitedex::testing::TempDir m_dir;
    char m_old[4096];
};

// Rounds of a writer process committing three-file transactions, killed by SIGKILL at a random
// moment or (every other round) by the driver's own fault point at one step of the group commit.
// After every kill the files pass the check and hold the same categories; the transactions the
// writer saw committed are there; a kill before the control-file record loses the transaction in
// flight in all three files, a kill after it keeps it in all three. The long run sets
// SITEDEX_GROUP_CRASH_ROUNDS.
TEST_F(GroupCommit, KilledWriterLeavesAllThreeFilesOrNone) {
    int rounds = 50;
    if (const char* env = std::getenv("SITEDEX_GROUP_CRASH_ROUNDS")) rounds = std::max(1, std::atoi(env));
    struct Step {
        const char* name;
        bool kept;
    };
    const Step steps[] = {{"prepared-one", false}, {"prepared-all", false}, {"tcf-written", true},
                          {"finished-one", true},  {"finished-all", true}};
    std::mt19937 rng(2026);
    int next = 0;
    Names acked;
    for (int round = 0; round < rounds; ++round) {
        int acks[2];
        ASSERT_EQ(::pipe(acks), 0);
        const Step* step = round % 2 ? &steps[(round / 2) % 5] : nullptr;
        int before = int(rng() % 3);  // transactions committed before the fault point is armed
        int first = next;
        pid_t w = ::fork();
        if (w == 0) {
            ::close(acks[0]);
            if (openAll() != 0) _exit(1);
            for (int i = first;; ++i) {
                if (step && i == first + before) ::setenv("SITEDEX_VELOX_FAULT", step->name, 1);
                if (addGroup(i) != 0) _exit(2);
                if (::write(acks[1], &i, sizeof i) != sizeof i) _exit(3);
            }
        }
        ::close(acks[1]);
        if (!step) {
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 60000));
            ::kill(w, SIGKILL);
        }
        // A writer armed with a fault point must die at it; one still running after 10 s never
        // reached the step and is stopped (the checks below then fail).
        int st = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::waitpid(w, &st, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(w, SIGKILL);
                ::waitpid(w, &st, 0);
                ADD_FAILURE() << "round " << round << ": the writer never reached " << (step ? step->name : "its end");
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        int ack;
        int last = first - 1;
        while (::read(acks[0], &ack, sizeof ack) == sizeof ack) {
            acked.insert("cat" + std::to_string(ack));
            last = ack;
        }
        ::close(acks[0]);
        ASSERT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGKILL) << "round " << round << " status " << st;
        next = last + 2;  // the transaction in flight may have landed; never reuse its name
        ASSERT_EQ(checkTool(), 0) << "round " << round;
        std::vector<Names> c = contents();
        ASSERT_EQ(c[0], c[1]) << "round " << round << (step ? step->name : " random");
        ASSERT_EQ(c[0], c[2]) << "round " << round << (step ? step->name : " random");
        for (const std::string& a : acked) ASSERT_EQ(c[0].count(a), 1u) << "round " << round << " lost " << a;
        if (step) {
            ASSERT_EQ(last, first + before - 1) << step->name;
            EXPECT_EQ(c[0].count("cat" + std::to_string(last + 1)), step->kept ? 1u : 0u) << step->name;
        }
    }
    // A later group commit clears the records of the groups whose files are all settled.
    ASSERT_EQ(openAll(), 0);
    ASSERT_EQ(addGroup(next), 0) << errorText();
    closeAllFiles();
    EXPECT_EQ(sitedex::testing::readFile(m_dir.file("VELOX.TCF")), "");
}

constexpr int32_t kDiskFull = kErrSystemBase + 39;

// A write refused during the commit (a full disk), in any of the three files or in the control file,
// fails the whole transaction: the code (339 "Handle Disk Full") stays in the error state after the
// files are unlocked, none of the files holds the change, and the next transaction commits normally.
TEST_F(GroupCommit, ARefusedWriteFailsTheCommitInAllFiles) {
    for (const char* target : {"URL_C.VLX", "URL_H.VLX", "URL_L.VLX", "VELOX.TCF"}) {
        SCOPED_TRACE(target);
        sitedex::testing::RefusedWrites refuse;
        ASSERT_EQ(openAll(), 0);
        ASSERT_EQ(addGroup(1), 0) << errorText();
        refuse.target = target;
        EXPECT_EQ(addGroup(2), kDiskFull);
        EXPECT_EQ(errorText(), "Handle Disk Full");
        EXPECT_FALSE(transactionActive());
        refuse.target.clear();
        ASSERT_EQ(addGroup(3), 0) << errorText();
        closeAllFiles();
        std::vector<Names> c = contents();
        for (const Names& n : c) EXPECT_EQ(n, (Names{"cat1", "cat3"}));
        ASSERT_EQ(checkTool(), 0);
        for (FileDecl* f : {&Categories, &CatHTML, &SITEDX}) ASSERT_EQ(create(*f), 0);
    }
}

// A "TCF=" request names the control file of the process (the old default name means "beside the
// data" again); a one-file transaction needs none.
TEST_F(GroupCommit, TheNamedControlFileIsUsedAndOneFileCommitsAlone) {
    sitedex::testing::RefusedWrites refuse;
    refuse.target = "OTHER.TCF";
    ASSERT_EQ(openAll(), 0);
    ASSERT_EQ(logout(2, {&SITEDX}), 0);
    SITEDX.clear();
    setText("URL:LOCATION", "http://alone.example/");
    ASSERT_EQ(add(SITEDX), 0);
    commit();
    EXPECT_EQ(errorCode(), 0);
    ASSERT_EQ(send(SITEDX, "TCF=" + m_dir.file("OTHER.TCF")), "");
    EXPECT_EQ(addGroup(1), kDiskFull);  // the named file refuses the record
    ASSERT_EQ(send(SITEDX, "TCF=c:\\velox.tcf"), "");
    closeAllFiles();
    std::vector<Names> c = contents();
    EXPECT_EQ(c[0], Names{});
    EXPECT_EQ(c[2].size(), 1u);
}

}  // namespace
}  // namespace sitedex::data
