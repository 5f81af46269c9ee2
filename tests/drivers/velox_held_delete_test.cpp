// A record held by another instance (another program, or another thread's open file) cannot be
// deleted under it, just as it cannot be changed: the delete answers 5 and the record stays.

#include <unistd.h>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/thread_state.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::data {
namespace {

TEST(VeloxHeldRecord, DeleteOfARecordHeldElsewhereIsRefused) {
    sitedex::testing::TempDir dir;
    char old[4096];
    ASSERT_EQ(::getcwd(old, sizeof old), old);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    record::setVeloxDurability(record::Durability::kProcessCrash);
    runtime::setCurrentThread(1);
    ASSERT_EQ(create(SITEDX), 0);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    for (const char* url : {"http://a/", "http://b/"}) {
        SITEDX.clear();
        setString(findField("URL:LOCATION"), url);
        ASSERT_EQ(add(SITEDX), 0);
    }
    runtime::setCurrentThread(2);
    ASSERT_EQ(share(SITEDX, kModeShared), 0);
    ASSERT_EQ(hold(SITEDX), 0);
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);
    runtime::setCurrentThread(1);
    ASSERT_EQ(getByPointer(SITEDX, 1), 0);
    EXPECT_EQ(deleteRecord(SITEDX), 5);
    EXPECT_EQ(records(SITEDX), 2);
    ASSERT_EQ(getByPointer(SITEDX, 2), 0);  // an unheld record goes
    EXPECT_EQ(deleteRecord(SITEDX), 0);
    // the holder itself may delete what it holds, and the hold ends with the record
    runtime::setCurrentThread(2);
    EXPECT_EQ(deleteRecord(SITEDX), 0);
    close(SITEDX);
    runtime::setCurrentThread(1);
    EXPECT_EQ(records(SITEDX), 0);
    closeAllFiles();
    ASSERT_EQ(::chdir(old), 0);
}

}  // namespace
}  // namespace sitedex::data
