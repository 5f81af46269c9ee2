// Data files made by commands as several programs and interruptions meet them: two programs that
// make the same file at once both keep their add; a program killed at any instant while it makes a
// file or carries a category change to its locations and snippets leaves files that check whole
// and hold all of the change or none of it; a refused request makes no file.
//
// The programs are forked copies of this test running a command (the same code as the built
// program, started in no time, so that the two of a race start together). Rounds: a few by default;
// SITEDEX_CREATION_ROUNDS sets more (the ctest label "long" runs 300).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/cli/collection_fixture.h"
#include "tests/cli/command_runner.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::testing {
namespace {

namespace fs = std::filesystem;

int rounds(int byDefault) {
    const char* n = std::getenv("SITEDEX_CREATION_ROUNDS");
    return n && std::atoi(n) > 0 ? std::atoi(n) : byDefault;
}

// A command run by a forked copy of this program once the gate opens (the parent closes its end).
pid_t startCommand(std::vector<std::string> args, const int* gate) {
    pid_t pid = ::fork();
    if (pid == 0) {
        char c;
        if (gate) {
            ::close(gate[1]);
            (void)!::read(gate[0], &c, 1);
        }
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        args.insert(args.begin(), "sitedex");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        ::_exit(cli::run(int(argv.size()), argv.data()));
    }
    return pid;
}

int exitCode(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) out.push_back(text.substr(start, nl - start));
    return out;
}

ProgramRun in(const TempDir& dir, std::vector<std::string> args) {
    args.push_back("--data-dir");
    args.push_back(dir.path());
    return runInProcess(std::move(args));
}

// Two programs add a location at the same moment to a folder without a locations file: both make
// the file, and the one that finds it made keeps what the other has added.
TEST(FileCreation, TwoProgramsMakingTheFileAtOnceKeepBothAdds) {
    const int n = rounds(25);
    for (int round = 0; round < n; ++round) {
        TempDir dir;
        makeCollection(dir.path(), 0, false);
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        pid_t one = startCommand({"add", "http://one.example/", "--category", "News", "--data-dir", dir.path()}, gate);
        pid_t two = startCommand({"add", "http://two.example/", "--category", "News", "--data-dir", dir.path()}, gate);
        ::close(gate[0]);
        ::close(gate[1]);  // both go
        EXPECT_EQ(exitCode(one), 0) << "round " << round;
        EXPECT_EQ(exitCode(two), 0) << "round " << round;
        ProgramRun list = in(dir, {"list", "--order", "location"});
        ASSERT_EQ(lines(list.out).size(), 2u) << "round " << round << ": " << list.out << list.err;
        ASSERT_EQ(in(dir, {"check"}).code, 0) << "round " << round;
    }
}

// What a folder holds, to compare before and after an interrupted command.
struct Holding {
    std::string categories, locations;
    bool operator==(const Holding&) const = default;
};

Holding holding(const TempDir& dir) {
    return {in(dir, {"categories"}).out, in(dir, {"list", "--order", "location"}).out};
}

// A program killed at an instant chosen at random while it makes a data file or carries a category
// change to the other files: check passes, the folder holds all of the change or none of it, and the
// files take the next change. The instants range over how long the command takes uninterrupted.
TEST(FileCreation, AProgramKilledWhileMakingFilesOrCarryingAChangeLeavesAllOrNothing) {
    struct Scenario {
        const char* what;
        bool locations;                   // the folder starts with locations (and categories)
        std::vector<std::string> command;  // what is killed
        std::vector<std::string> next;     // the change the files must take afterwards
    } scenarios[] = {
        {"first category in an empty folder", false, {"add-category", "Extra"}, {"add-category", "Later"}},
        {"rename making the snippet file", true, {"rename-category", "News", "Media"}, {"add-category", "Later"}},
        {"delete making the snippet file", true, {"remove-category", "News"}, {"add-category", "Later"}},
        {"first location", true, {"add", "http://first.example/", "--category", "Work"}, {"add-category", "Later"}},
    };
    const int n = rounds(12);
    std::mt19937 rng(19);
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        auto fresh = [&](TempDir& dir) {
            if (s.command[0] == "add-category") return;  // an empty folder
            makeCollection(dir.path(), s.command[0] == "add" ? 0 : 60, s.locations && s.command[0] != "add");
        };
        // The states allowed afterwards: as before, or as after the whole command.
        TempDir model;
        fresh(model);
        Holding before = holding(model);
        std::vector<std::string> args = s.command;
        args.push_back("--data-dir");
        args.push_back(model.path());
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(exitCode(startCommand(args, nullptr)), 0);
        auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        Holding after = holding(model);
        ASSERT_NE(after, before);
        for (int round = 0; round < n; ++round) {
            TempDir dir;
            fresh(dir);
            args = s.command;
            args.push_back("--data-dir");
            args.push_back(dir.path());
            pid_t pid = startCommand(args, nullptr);
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % uint64_t(took.count() + 1)));
            ::kill(pid, SIGKILL);
            exitCode(pid);
            ProgramRun check = in(dir, {"check"});
            ASSERT_EQ(check.code, 0) << "round " << round << ": " << check.out << check.err;
            Holding now = holding(dir);
            ASSERT_TRUE(now == before || now == after)
                << "round " << round << ":\n" << now.categories << now.locations;
            ProgramRun next = in(dir, s.next);
            ASSERT_EQ(next.code, 0) << "round " << round << ": " << next.err;
            ASSERT_EQ(in(dir, {"check"}).code, 0) << "round " << round;
        }
    }
}

// A refused request changes no file: a rename to a name another category has opens no snippet or
// locations file, so none is made.
TEST(FileCreation, ARefusedRenameMakesNoFile) {
    TempDir dir;
    makeCollection(dir.path(), 0, false);
    ProgramRun r = in(dir, {"rename-category", "Misc", "news"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Creates Duplicate Key (40)"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("URL_H.VLX")));
    EXPECT_FALSE(fs::exists(dir.file("URL_L.VLX")));
    // a change of letter case only is the same category: allowed
    EXPECT_EQ(in(dir, {"rename-category", "Misc", "MISC"}).code, 0);
    EXPECT_NE(in(dir, {"categories"}).out.find("MISC\t"), std::string::npos);
}

}  // namespace
}  // namespace sitedex::testing
