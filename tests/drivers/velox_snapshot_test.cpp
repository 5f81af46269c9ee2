// SNAPSHOT on a record file: the reads between SNAPSHOT=ON and SNAPSHOT=OFF share one read
// snapshot; OFF (or closing the file) gives it back, so other instances write again. QUICKSCAN,
// which the procedures send around their long passes, changes nothing.

#include <unistd.h>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "tests/app/maintenance_fixture.h"

namespace sitedex::record {
namespace {

using sitedex::testing::onThread;

class VeloxSnapshot : public ::testing::Test {
protected:
    void SetUp() override {
        setVeloxDurability(Durability::kProcessCrash);
        ASSERT_EQ(::getcwd(m_old, sizeof m_old), m_old);
        ASSERT_EQ(::chdir(m_dir.path().c_str()), 0);
        runtime::setCurrentThread(1);
        ASSERT_EQ(data::create(data::SITEDX), 0);
        ASSERT_EQ(data::share(data::SITEDX), 0);
    }
    void TearDown() override {
        runtime::setCurrentThread(1);
        data::closeAllFiles();
        ASSERT_EQ(::chdir(m_old), 0);
    }
    static int32_t addLocation(const std::string& location, const std::string& category) {
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), location);
        data::setString(data::findField("URL:CATEGORY"), category);
        return data::add(data::SITEDX);
    }

    sitedex::testing::TempDir m_dir;
    char m_old[4096];
};

TEST_F(VeloxSnapshot, ScanInOneSnapshotThenOthersWriteAgain) {
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(addLocation("http://s" + std::to_string(100 + i) + ".example/", i % 2 ? "Odd" : "Even"), 0);
    EXPECT_EQ(data::send(data::SITEDX, "QUICKSCAN=on"), "");
    EXPECT_EQ(data::send(data::SITEDX, "SNAPSHOT"), "OFF");
    EXPECT_EQ(data::send(data::SITEDX, "SNAPSHOT=on"), "OFF");
    EXPECT_EQ(data::send(data::SITEDX, "SNAPSHOT"), "ON");
    data::KeyDecl& key = *data::SITEDX.findKey("URL:K_CATEGORYLOCATION");
    ASSERT_EQ(data::set(key), 0);
    std::vector<std::string> read;
    while (data::next(data::SITEDX) == 0)
        read.push_back(data::getString(data::findField("URL:LOCATION")));
    EXPECT_EQ(data::errorCode(), 33);
    ASSERT_EQ(read.size(), 40u);
    EXPECT_EQ(read.front(), "http://s100.example/");  // "Even" first, then by location
    EXPECT_EQ(read.back(), "http://s139.example/");
    EXPECT_EQ(data::send(data::SITEDX, "SNAPSHOT=OFF"), "ON");
    onThread(2, [&] {
        ASSERT_EQ(data::share(data::SITEDX), 0);
        EXPECT_EQ(addLocation("http://after.example/", "Even"), 0);
        data::close(data::SITEDX);
    });

    // Closing the file gives the snapshot back too; the file opens again without one.
    EXPECT_EQ(data::send(data::SITEDX, "SNAPSHOT=ON"), "OFF");
    ASSERT_EQ(data::close(data::SITEDX), 0);
    ASSERT_EQ(data::share(data::SITEDX), 0);
    EXPECT_EQ(data::send(data::SITEDX, "SNAPSHOT"), "OFF");
    onThread(2, [&] {
        ASSERT_EQ(data::share(data::SITEDX), 0);
        EXPECT_EQ(addLocation("http://after2.example/", "Odd"), 0);
        data::close(data::SITEDX);
    });
    EXPECT_EQ(data::records(data::SITEDX), 42);
}

}  // namespace
}  // namespace sitedex::record
