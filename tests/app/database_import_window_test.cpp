// The "Import from Sitedex Database" dialog in real windows (offscreen): a name that cannot be a
// database, Browse through the file dialog, the merge's progress window and the message that tells
// what it did.
#include <gtest/gtest.h>

#include "app/import/database_import.h"
#include "runtime/events.h"
#include "runtime/settings_file.h"
#include "tests/app/transfer_fixture.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::importing {
namespace {

using namespace sitedex::testing;
using Rows = std::vector<std::string>;

class ImportDialog : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& b) {
            m_boxes.push_back(b.caption + ": " + b.text);
            return b.defaultButton;
        });
        writeRecords(m_other.path(), data::SITEDX, 2, [](int i) {
            setText("URL:LOCATION", i ? "http://b.example/" : "http://a.example/");
            setText("URL:CATEGORY", "Elsewhere");
        });
    }
    void TearDown() override {
        ui::setFileDialogResponder(nullptr);
        if (m_thread && ui::threadRunning(m_thread))
            ui::postEvent(runtime::kEventCloseWindow, 0, m_thread);
        EXPECT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));
        ui::setMessageBoxResponder(nullptr);
        TransferTest::TearDown();
    }
    ui::Window* dialog() { return ui::currentWindow(m_thread); }
    static const ImportDatabaseWindow& iw() { return importDatabaseWindow(); }
    // Presses OK and waits for the dialog to be back in front with a new message.
    void pressOk() {
        const size_t before = m_boxes.size();
        dialog()->click(iw().ok);
        ASSERT_TRUE(ui::pumpEventsUntil([&] {
            return m_boxes.size() > before && ui::openMessageBoxes().empty() && dialog() &&
                   dialog()->definition().name == "IMPORTSITEDX$WINDOW" && dialog()->isEnabled(iw().ok);
        }));
    }

    TempDir m_other;
    int m_thread = 0;
    std::vector<std::string> m_boxes;
};

TEST_F(ImportDialog, OtherNamesAreRefusedAndBrowseFindsTheDatabase) {
    m_thread = ui::startProcedure(ImportSITEDX, 25000, "ImportSITEDX");
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return dialog() != nullptr; }));
    EXPECT_EQ(dialog()->definition().title, "Import from Sitedex Database");
    EXPECT_EQ(dialog()->text(iw().source), "URL_L.VLX");

    dialog()->setText(iw().source, m_other.file("bookmarks.htm"));  // typed, not yet taken in
    pressOk();
    EXPECT_EQ(m_boxes.back(),
              "Cannot Import: You can only import from databases created by Sitedex version 1.5 and above.");

    std::vector<ui::FileDialogInfo> asked;
    ui::setFileDialogResponder([&](const ui::FileDialogInfo& info) {
        asked.push_back(info);
        return m_other.file("URL_L.VLX");
    });
    dialog()->click(iw().browse);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return dialog()->text(iw().source) == m_other.file("URL_L.VLX"); }));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Choose a File");
    EXPECT_EQ(asked[0].filter, "Sitedex Database|URL_L.VLX");
    EXPECT_EQ(asked[0].directory, m_other.path());

    pressOk();
    EXPECT_EQ(m_boxes.back(), "Import from Sitedex Database: 2 locations added, 0 already present.");
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION", "URL:CATEGORY"}),
              (Rows{"http://a.example/|Elsewhere", "http://b.example/|Elsewhere"}));
    // The dialog stays for another merge; the same one again adds nothing.
    pressOk();
    EXPECT_EQ(m_boxes.back(), "Import from Sitedex Database: 0 locations added, 2 already present.");

    dialog()->click(iw().cancel);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !ui::threadRunning(m_thread); }));
    EXPECT_NE(runtime::readSetting("ImportSITEDX", "Width", "none"), "none");
}

}  // namespace
}  // namespace sitedex::app::importing
