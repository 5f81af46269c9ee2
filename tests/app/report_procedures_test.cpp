// The report procedures over real data files: the generating job (percent per record, a file that
// grows meanwhile, records the key leaves out), and the procedures in real windows (offscreen):
// generate, preview, print on the printer Print Setup chose (a PDF file here), Cancel, an empty file.

#include <gtest/gtest.h>

#include <QPrinter>
#include <filesystem>

#include "app/reports/print_reports.h"
#include "app/reports/progress_window.h"
#include "app/reports/report_designs.h"
#include "app/reports/report_job.h"
#include "app/reports/report_preview.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "tests/app/browse_fixture.h"
#include "tests/app/report_fixture.h"
#include "ui/message_box.h"
#include "ui/report_output.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"
#include "ui/window_private.h"

namespace sitedex::app::reports {
namespace {

using namespace runtime;
using sitedex::testing::FixtureLocation;

const ReportDesign& design(const char* name) {
    return *findReport(name);
}

class ReportProcedures : public maintenance::testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box.caption + ": " + box.text);
            return box.defaultButton ? box.defaultButton : int(kButtonOk);
        });
        openFile(data::Categories);
        openFile(data::SITEDX);
        registerReportProcedures();
        ui::programPrinter().setOutputFormat(QPrinter::NativeFormat);
    }
    void TearDown() override {
        for (int round = 0; round < 5 && ui::runningThreads() > 0; ++round) {
            for (int t = 2; t <= kThreadSlots; ++t)
                if (ui::threadRunning(t))
                    ui::postEvent(kEventCloseWindow, 0, t);
            ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }, 1000);
        }
        ui::setMessageBoxResponder(nullptr);
        ui::programPrinter().setOutputFormat(QPrinter::NativeFormat);
        setCurrentThread(1);
        DataDirTest::TearDown();
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }
    static void add(const FixtureLocation& l) {
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), l.location);
        data::setString(data::findField("URL:DESCRIPTION"), l.description);
        data::setString(data::findField("URL:CATEGORY"), l.category);
        data::setNumber(data::findField("URL:RATING"), l.rating);
        data::setString(data::findField("URL:KEYWORD"), l.keyword);
        ASSERT_EQ(data::add(data::SITEDX), 0) << l.location;
    }
    static void addMany(int count) {
        for (int i = 0; i < count; ++i) {
            char location[64];
            std::snprintf(location, sizeof location, "http://www.example.org/%05d", i);
            add({location, "Description " + std::to_string(i), "News", "http", i % 11});
        }
    }
    // Starts a procedure by name on a thread of its own; its response lands in m_response.
    void start(const std::string& name) {
        const ProcedureFunction* procedure = findProcedure(name);
        ASSERT_NE(procedure, nullptr) << name;
        data::closeAllFiles();
        m_ended = false;
        m_thread = ui::startProcedure(
            [this, procedure] {
                (*procedure)();
                m_response = CallResponse();
                m_ended = true;
            },
            0, name);
        ASSERT_NE(m_thread, 0);
    }
    std::string windowName() {
        ui::Window* w = ui::currentWindow(m_thread);
        return w ? w->definition().name : std::string();
    }
    bool ended() {
        return ui::pumpEventsUntil([&] { return m_ended; }, 10000);
    }

    std::vector<std::string> m_boxes;
    int m_thread = 0;
    bool m_ended = false;
    long m_response = 0;
};

TEST_F(ReportProcedures, PercentFollowsTheRecordsReadAndStaysAtMostHundredWhenTheFileGrows) {
    for (int i = 0; i < 3; ++i)
        add({"http://a" + std::to_string(i) + ".example.org/", "A " + std::to_string(i), "News", "http", 1});
    ReportJob job(design("description"), {8500, 11000});
    ASSERT_TRUE(job.start());
    std::vector<int> percents{job.percent()};
    while (job.step())
        percents.push_back(job.percent());
    EXPECT_EQ(percents, (std::vector<int>{33, 66, 100}));
    EXPECT_TRUE(job.completed());
    EXPECT_EQ(percentText(0), "  0% Completed");
    EXPECT_EQ(percentText(33), " 33% Completed");
    EXPECT_EQ(percentText(100), "100% Completed");
    // The page footer: "Page" and the number right-aligned in four places.
    EXPECT_EQ(pageNumberText(1), "Page    1");
    EXPECT_EQ(pageNumberText(42), "Page   42");
    EXPECT_EQ(pageNumberText(7143), "Page 7143");

    // Two more records come in while the report runs (another window's thread adds them).
    ReportJob growing(design("location"), {8500, 11000});
    ASSERT_TRUE(growing.start());
    EXPECT_EQ(growing.recordsToProcess(), 3);
    setCurrentThread(5);
    openFile(data::SITEDX);
    add({"http://b1.example.org/", "B 1", "News", "http", 2});
    add({"http://b2.example.org/", "B 2", "News", "http", 2});
    data::close(data::SITEDX);
    setCurrentThread(1);
    while (growing.step())
        EXPECT_LE(growing.percent(), 100);
    EXPECT_EQ(growing.recordsProcessed(), 5);
    EXPECT_EQ(growing.percent(), 100);
    const ui::ReportPages pages = growing.takePages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NE(pages[0].plainText().find("http://b2.example.org/"), std::string::npos);
}

TEST_F(ReportProcedures, EveryRecordIsPrintedAlsoWhenItsKeyValueIsBlank) {
    for (const FixtureLocation& l : sitedex::testing::fixtureLocations())
        add(l);
    const auto all = sitedex::testing::fixtureLocations();
    for (const char* report : {"description", "location", "category", "rating", "keyword"}) {
        SCOPED_TRACE(report);
        ReportJob job(design(report), {8500, 11000});
        ASSERT_TRUE(job.start());
        while (job.step()) {
        }
        EXPECT_EQ(job.recordsProcessed(), int64_t(all.size()));
        EXPECT_EQ(job.percent(), 100);
        std::string text;
        for (const ui::PageDrawing& page : job.takePages())
            text += page.plainText() + "\n";
        // Each location once, in the key's order.
        size_t previous = 0;
        for (const FixtureLocation& l : sitedex::testing::inKeyOrder(all, report)) {
            const size_t at = text.find(l.location + "\n");
            ASSERT_NE(at, std::string::npos) << l.location;
            EXPECT_EQ(text.find(l.location + "\n", at + 1), std::string::npos) << l.location;
            EXPECT_GE(at, previous) << l.location;
            previous = at;
        }
    }
}

TEST_F(ReportProcedures, AFileThatCannotBeReadGivesTheViewAndRecordWarnings) {
    add({"http://a.example.org/", "A", "News", "http", 1});
    data::close(data::SITEDX);  // the view then cannot be opened, nor a record read
    maintenance::testing::shownBoxes().clear();
    runtime::setMessageBoxHook(maintenance::testing::recordBox);
    ReportJob job(design("keyword"), {8500, 11000});
    EXPECT_FALSE(job.start());
    EXPECT_EQ(job.pageCount(), 0);
    const auto& boxes = maintenance::testing::shownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].rfind("View Open Error: Error: (File Not Open (37)) attempting to open the current VIEW.", 0),
              0u)
        << boxes[0];
    EXPECT_EQ(boxes[1].rfind("Record Retrieval Error: Error: (", 0), 0u) << boxes[1];
    EXPECT_NE(boxes[1].find(") attempting to access a record from the SITEDX file."), std::string::npos) << boxes[1];
}

TEST_F(ReportProcedures, ReportIsPreviewedThenPrintedOnThePrinterChosenInPrintSetup) {
    for (const FixtureLocation& l : sitedex::testing::fixtureLocations())
        add(l);
    const std::string printed = m_dir.file("printed.pdf");
    ui::programPrinter().setOutputFormat(QPrinter::PdfFormat);
    ui::programPrinter().setOutputFileName(QString::fromStdString(printed));
    start("PrintURL:K_Rating");
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return windowName() == "REPORTPREVIEW$WINDOW"; }, 10000));
    ui::pumpEventsFor(50);
    ui::Window* preview = ui::currentWindow(m_thread);
    preview->click(previewWindow().printItem);
    ASSERT_TRUE(ended());
    EXPECT_EQ(m_response, ResponseCompleted);
    EXPECT_TRUE(m_boxes.empty()) << m_boxes.front();
    ASSERT_TRUE(std::filesystem::exists(printed));
    if (!sitedex::testing::havePdfToText())
        return;
    const std::string text = sitedex::testing::pdfLayoutText(printed);
    EXPECT_NE(text.find("URLs by Rating"), std::string::npos);
    for (const FixtureLocation& l : sitedex::testing::fixtureLocations())
        EXPECT_NE(text.find(l.location), std::string::npos) << l.location;
}

TEST_F(ReportProcedures, ExitFromThePreviewPrintsNothingAndTheReportStillCompletes) {
    for (const auto& c : sitedex::testing::fixtureCategories())
        addCategory(c.name, c.description);
    const std::string printed = m_dir.file("printed.pdf");
    ui::programPrinter().setOutputFormat(QPrinter::PdfFormat);
    ui::programPrinter().setOutputFileName(QString::fromStdString(printed));
    start("PrintCAT:K_Category");
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return windowName() == "REPORTPREVIEW$WINDOW"; }, 10000));
    ui::currentWindow(m_thread)->click(previewWindow().exitButton);
    ASSERT_TRUE(ended());
    EXPECT_EQ(m_response, ResponseCompleted);
    EXPECT_FALSE(std::filesystem::exists(printed));
}

TEST_F(ReportProcedures, CancelWhileGeneratingDiscardsEverything) {
    addMany(4000);
    start("PrintURL:K_Description");
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return windowName() == "PROGRESS$WINDOW"; }, 10000));
    ui::Window* progress = ui::currentWindow(m_thread);
    EXPECT_EQ(progress->definition().title, "Generating Report");
    ui::postEvent(kEventAccepted, progressWindow().cancel, m_thread);
    ASSERT_TRUE(ended());
    EXPECT_EQ(m_response, ResponseCancelled);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(ReportProcedures, EmptyFileGivesNoPreview) {
    bool previewed = false;
    start("PrintURL:K_Location");
    ASSERT_TRUE(ui::pumpEventsUntil(
        [&] {
            previewed = previewed || windowName() == "REPORTPREVIEW$WINDOW";
            return m_ended;
        },
        10000));
    EXPECT_FALSE(previewed);
    EXPECT_EQ(m_response, ResponseCancelled);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], "URLs by Location: There are no locations to print.");
}

}  // namespace
}  // namespace sitedex::app::reports
