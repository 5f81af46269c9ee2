// The upgrade as the program runs it at start-up (Main on thread 1, offscreen): the message, the
// progress windows one after the other, the version recorded only once everything is upgraded, and
// a cancelled upgrade offered again at the next start.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/shell/main_frame.h"
#include "app/upgrade/progress_window.h"
#include "runtime/settings_file.h"
#include "tests/app/transfer_fixture.h"
#include "ui/desktop.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::upgrade {
namespace {

using namespace sitedex::testing;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

class UpgradeAtStart : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& b) {
            m_boxes.push_back(b.caption + ": " + b.text);
            return b.defaultButton;
        });
    }
    void TearDown() override {
        if (ui::threadRunning(1))
            closeFrame();
        ui::setMessageBoxResponder(nullptr);
        TransferTest::TearDown();
    }
    void writeOldLocations(int count) {
        writeRecords(m_data.path(), data::OldLocations, count, [](int i) {
            setText("OL:LOCATION", "http://old" + std::to_string(i) + ".example/");
            setText("OL:CATEGORY", "Old");
        });
    }
    // Starts Main and handles events until its frame is open. `onWindow` sees each window thread 1
    // shows before that.
    void startMain(const std::function<void(ui::Window&)>& onWindow = nullptr) {
        m_windows.clear();
        ASSERT_TRUE(ui::startFrameProcedure(shell::Main));
        const ui::Window* last = nullptr;
        ASSERT_TRUE(ui::pumpEventsUntil(
            [&] {
                ui::Window* w = ui::currentWindow(1);
                if (w && w != last && w != ui::frameWindow()) {
                    last = w;
                    m_windows.push_back(w->definition().name);
                    if (onWindow)
                        onWindow(*w);
                }
                return ui::frameWindow() != nullptr;
            },
            60000));
    }
    void closeFrame() {
        ui::requestCloseDown();
        ASSERT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));
    }
    bool shown(const std::string& start) const {
        for (const std::string& b : m_boxes)
            if (b.rfind(start, 0) == 0)
                return true;
        return false;
    }

    std::vector<std::string> m_boxes;
    std::vector<std::string> m_windows;
};

TEST_F(UpgradeAtStart, TheFirstStartUpgradesInItsWindowsAndRecordsTheVersion) {
    writeOldLocations(40);
    writeRecords(m_data.path(), data::OldCategories, 1, [](int) { setText("OC:CATEGORY", "Old"); });
    startMain();
    EXPECT_EQ(m_boxes,
              Rows{"New version detected!: To allow you to take full advantage of all the new features in "
                   "this version of Sitedex, your files must be updated.  Press OK to begin upgrading files."});
    // (A window that opens and closes between two looks of the test may go unseen.)
    ASSERT_FALSE(m_windows.empty());
    EXPECT_EQ(m_windows.front(), "UPGRADESITEDX$PROGRESSWINDOW");
    EXPECT_EQ(runtime::readSetting("System", "Version"), "1.5");
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}).size(), 40u);
    EXPECT_EQ(recordsIn(m_data.path(), data::Categories, {"CAT:CATEGORY"}), Rows{"Old"});
}

TEST_F(UpgradeAtStart, ACancelledUpgradeIsOfferedAgainAtTheNextStart) {
    const int kCount = 20000;
    writeOldLocations(kCount);
    runtime::writeSetting("System", "Version", "1.2");
    startMain([](ui::Window& w) {
        if (w.definition().name == "UPGRADESITEDX$PROGRESSWINDOW") {
            EXPECT_EQ(w.text(progressWindow(w.definition().name).line), "Upgrading Location File");
            w.click(progressWindow(w.definition().name).cancel);
        }
    });
    EXPECT_TRUE(shown("Upgrade: The upgrade of SITEDX.VLX was cancelled after ")) << m_boxes.back();
    EXPECT_EQ(runtime::readSetting("System", "Version"), "1.2");
    const size_t partial = recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}).size();
    EXPECT_LT(partial, size_t(kCount));
    closeFrame();

    m_boxes.clear();
    startMain();
    EXPECT_TRUE(shown("New version detected!"));
    EXPECT_TRUE(shown("Upgrade: The URL_L.VLX that was already in the data folder was kept as URL_L.VLX.bak."));
    EXPECT_EQ(runtime::readSetting("System", "Version"), "1.5");
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}).size(), size_t(kCount));
    data::NameAscii = here("URL_L.VLX.bak");
    EXPECT_EQ(recordsIn(m_data.path(), data::ImportSource, {"ILOC:LOCATION"}).size(), partial);
}

TEST_F(UpgradeAtStart, AtVersion12WithOnlyCategoriesThereIsNoMessage) {
    writeRecords(m_data.path(), data::OldCategories, 2, [](int i) { setText("OC:CATEGORY", i ? "B" : "A"); });
    runtime::writeSetting("System", "Version", "1.2");
    startMain();
    EXPECT_EQ(m_boxes, Rows{});
    EXPECT_EQ(m_windows, Rows{"UPGRADECATEGORIES$PROGRESSWINDOW"});
    EXPECT_EQ(runtime::readSetting("Export", "Type", "none"), "none");
    EXPECT_EQ(runtime::readSetting("System", "Version"), "1.5");
    EXPECT_EQ(recordsIn(m_data.path(), data::Categories, {"CAT:CATEGORY"}), (Rows{"A", "B"}));
}

TEST_F(UpgradeAtStart, AtVersion15OldFilesAreLeftAlone) {
    writeOldLocations(3);
    runtime::writeSetting("System", "Version", "1.5");
    startMain();
    EXPECT_EQ(m_windows, Rows{});
    EXPECT_FALSE(fs::exists(here("URL_L.VLX")));
}

}  // namespace
}  // namespace sitedex::app::upgrade
