// A full disk under the built program: every change refused says the disk is full (not "Access
// Denied"), nothing of the data is lost, and once there is room again everything works, including
// a file whose making the full disk cut short. The disk is a small tmpfs mounted for the test;
// where the machine does not allow mounting one, the test is skipped (the engine's fault hook tests
// cover the same codes in tests/drivers and tests/app).

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/cli/collection_fixture.h"
#include "tests/cli/command_runner.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::testing {
namespace {

namespace fs = std::filesystem;

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        m_mount = m_dir.file("disk");
        fs::create_directory(m_mount);
        if (::mount("tmpfs", m_mount.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") != 0)
            GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno) << "); run as root to test a full disk";
        m_mounted = true;
        m_data = m_mount + "/data";
        fs::create_directory(m_data);
        makeCollection(m_data, 150);
    }
    void TearDown() override {
        if (m_mounted) ::umount2(m_mount.c_str(), MNT_DETACH);
    }
    // Fills the disk, leaving about `room` bytes free.
    void fill(size_t room) {
        fs::remove(m_mount + "/filler");
        FILE* f = std::fopen((m_mount + "/filler").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::setvbuf(f, nullptr, _IONBF, 0);
        std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
        }
        std::fclose(f);
        if (room) fs::resize_file(m_mount + "/filler", fs::file_size(m_mount + "/filler") - room);
    }
    ProgramRun run(std::vector<std::string> args) {
        args.push_back("--data-dir");
        args.push_back(m_data);
        return runProgram(args);
    }

    TempDir m_dir;
    std::string m_mount, m_data;
    bool m_mounted = false;
};

TEST_F(FullDisk, ChangesAreRefusedAsDiskFullAndNothingIsLost) {
    ProgramRun before = run({"list", "--order", "location"});
    ASSERT_EQ(before.code, 0);
    ProgramRun cats = run({"categories"});
    fill(0);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"add", "http://new.example/", "--category", "News", "--site-info", std::string(900, 'i')}, "Handle Disk Full (339)"},
        {{"rename-category", "News", "Media"}, "Handle Disk Full (339)"},
        {{"remove-category", "Travel"}, "Handle Disk Full (339)"},
        {{"rebuild", "URL_L.VLX"}, "the disk is full"},
        {{"pack", "URL_L.VLX"}, "the disk is full"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        ProgramRun r = run(c.args);
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Access Denied"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Press OK"), std::string::npos) << r.err;
        EXPECT_EQ(run({"list", "--order", "location"}).out, before.out);
        EXPECT_EQ(run({"categories"}).out, cats.out);
    }
    EXPECT_EQ(run({"check"}).code, 0);
    fs::remove(m_mount + "/filler");
    EXPECT_EQ(run({"add", "http://new.example/", "--category", "News"}).code, 0);
    EXPECT_EQ(run({"check"}).code, 0);
}

// With a few KB left, the snippet file that a rename makes may not fit: whatever the rename then
// did, once there is room the files are whole and the rename goes through.
TEST_F(FullDisk, AFileWhoseMakingTheFullDiskCutShortIsUsableOnceThereIsRoom) {
    for (size_t room : {size_t(0), size_t(2048), size_t(4096), size_t(6144)}) {
        SCOPED_TRACE(std::to_string(room) + " bytes left");
        fs::remove(m_data + "/URL_H.VLX");
        fill(room);
        ProgramRun r = run({"rename-category", "News", "Media"});
        if (r.code != 0) {
            EXPECT_NE(r.err.find("Handle Disk Full (339)"), std::string::npos) << r.err;
        }
        fs::remove(m_mount + "/filler");
        ProgramRun check = run({"check"});
        EXPECT_EQ(check.code, 0) << check.out;
        if (r.code == 0) {
            EXPECT_EQ(run({"rename-category", "Media", "News"}).code, 0);
        }
        ProgramRun again = run({"rename-category", "News", "Media"});
        EXPECT_EQ(again.code, 0) << again.err;
        EXPECT_EQ(run({"rename-category", "Media", "News"}).code, 0);
        EXPECT_EQ(run({"check"}).code, 0);
    }
}

}  // namespace
}  // namespace sitedex::testing
