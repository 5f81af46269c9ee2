// A file that another program holds for a change of its own (a transaction) when a program opens
// it: the command line waits what --wait allows, says the file is in use and exits 1; the windows'
// OpenDataFile waits briefly, then offers Retry and Cancel.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "data/access.h"
#include "data/dictionary.h"
#include "drivers/record/velox_driver.h"
#include "tests/app/maintenance_fixture.h"
#include "tests/cli/collection_fixture.h"
#include "tests/cli/command_runner.h"

namespace sitedex::testing {
namespace {

// Another program with the locations file open and a transaction begun on it, until destroyed.
std::unique_ptr<SecondProgram> holdInTransaction(const std::string& dir) {
    char old[4096];
    EXPECT_EQ(::getcwd(old, sizeof old), old);
    EXPECT_EQ(::chdir(dir.c_str()), 0);
    auto other = std::make_unique<SecondProgram>([] {
        return data::share(data::SITEDX, data::kModeShared) == 0 && data::logout(2, {&data::SITEDX}) == 0;
    });
    EXPECT_EQ(::chdir(old), 0);
    EXPECT_TRUE(other->ready());
    return other;
}

TEST(FileInUse, ACommandSaysTheFileIsInUseAfterItsWaitAndExits1) {
    TempDir dir;
    makeCollection(dir.path(), 20);
    auto other = holdInTransaction(dir.path());
    struct Case {
        std::vector<std::string> args;
    } cases[] = {
        {{"list", "--wait", "1"}},
        {{"add", "http://new.example/", "--category", "News", "--wait", "1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        args.push_back("--data-dir");
        args.push_back(dir.path());
        ProgramRun r = runProgram(args, 30);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_LT(r.seconds, 10.0);
        EXPECT_NE(r.err.find("URL_L is in use: another program is changing it"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--wait SECONDS"), std::string::npos) << r.err;
    }
    other.reset();  // the other program's transaction ends
    ProgramRun list = runProgram({"list", "--wait", "1", "--data-dir", dir.path()});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 20);
}

std::unique_ptr<SecondProgram> g_other;
std::vector<std::string> g_captions;
// Retry while the other program holds the file; the second time, it lets go first.
int retryThenLetGo(std::string_view, std::string_view caption, int, int, int) {
    g_captions.emplace_back(caption);
    if (g_captions.size() == 2) g_other.reset();
    return runtime::kButtonRetry;
}

TEST(FileInUse, OpenDataFileOffersRetryWhileAnotherProgramChangesTheFile) {
    TempDir dir;
    makeCollection(dir.path(), 5);
    g_other = holdInTransaction(dir.path());
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    runtime::setCurrentThread(1);
    record::setVeloxWaits(300, 30000);
    auto box = runtime::setMessageBoxHook(retryThenLetGo);
    g_captions.clear();
    data::OpenDataFile(data::SITEDX);
    EXPECT_EQ(g_captions, (std::vector<std::string>{"File In Use", "File In Use"}));
    EXPECT_EQ(data::records(data::SITEDX), 5);
    data::closeAllFiles();
    runtime::setMessageBoxHook(box);
    record::setVeloxWaits(2000, 30000);
    ASSERT_EQ(::chdir(old), 0);
}

}  // namespace
}  // namespace sitedex::testing
