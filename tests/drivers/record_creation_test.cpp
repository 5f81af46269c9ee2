// The making of a data file interrupted at each of its writes in turn, by a power cut or a full
// disk: the next program to open it finds no file, or a file it can use (made anew if its making was
// cut short), adds to it, and the check passes. Never a file that is unusable for good.

#include <unistd.h>

#include <filesystem>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"
#include "tests/drivers/faulty_file.h"
#include "tests/drivers/record_fixture.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::record {
namespace {

using namespace testing;

std::vector<std::string> g_boxes;
int recordBox(std::string_view text, std::string_view, int, int, int def) {
    g_boxes.emplace_back(text);
    return def;
}

TEST(RecordCreation, AnInterruptedMakingLeavesNoFileOrOneTheNextOpenUses) {
    using namespace data;
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    setVeloxDurability(Durability::kPowerCut);  // every flush counts: a power cut drops what came after
    runtime::setCurrentThread(1);
    auto box = runtime::setMessageBoxHook(recordBox);
    auto halt = runtime::setHaltHook(sitedex::testing::throwingHalt);
    for (bool powerCut : {true, false}) {
        for (int failAt = 1;; ++failAt) {
            SCOPED_TRACE((powerCut ? "power cut at write " : "disk full at write ") + std::to_string(failAt));
            TempDir dir;
            ASSERT_EQ(::chdir(dir.path().c_str()), 0);
            Faults faults;
            faults.failAt = failAt;
            faults.powerCut = powerCut;
            g_boxes.clear();
            {
                OpenerGuard guard(faults);
                try {
                    OpenDataFile(Categories);
                    close(Categories);
                } catch (const sitedex::testing::Halted&) {
                    closeAllFiles();
                }
            }
            // (A write that fails after the commit point is the next writer's to finish: no box.)
            if (!powerCut && !g_boxes.empty()) {
                EXPECT_NE(g_boxes[0].find("Handle Disk Full (339)"), std::string::npos) << g_boxes[0];
            }
            // The next program: opens (making the file anew if need be), adds, and the file checks.
            g_boxes.clear();
            try {
                OpenDataFile(Categories);
            } catch (const sitedex::testing::Halted& h) {
                ADD_FAILURE() << "the next open ended the program: " << h.text << " "
                              << (g_boxes.empty() ? "" : g_boxes.back());
                closeAllFiles();
                ASSERT_EQ(::chdir(old), 0);
                break;
            }
            Categories.clear();
            setString(findField("CAT:CATEGORY"), "Extra");
            EXPECT_EQ(add(Categories), 0);
            close(Categories);
            std::unique_ptr<RecordFile> f;
            ASSERT_TRUE(RecordFile::open(dir.file("URL_C.VLX"), "UNNAMED", nullptr, fastOptions(), f).ok());
            RecordFile::CheckReport rep;
            Status s = f->check(rep);
            EXPECT_TRUE(s.ok()) << s.toString();
            EXPECT_EQ(rep.records, 1u);
            ASSERT_EQ(::chdir(old), 0);
            if (faults.writes < failAt) break;  // the making finished before the fault
            ASSERT_LT(failAt, 100);
        }
    }
    runtime::setMessageBoxHook(box);
    runtime::setHaltHook(halt);
}

}  // namespace
}  // namespace sitedex::record
