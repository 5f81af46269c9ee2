// ReportPreview in a real window (offscreen) over pages made by the report engine: thumbnails and
// their status texts, paging by menu, keys and spins, the jump and display dialogs, every zoom
// state's size, clicking a thumbnail and the zoomed page, Print, Save as PDF and Exit.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>
#include <cmath>
#include <filesystem>

#include "app/reports/preview_layout.h"
#include "app/reports/report_preview.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "tests/app/report_fixture.h"
#include "tests/support/data_fixtures.h"
#include "ui/message_box.h"
#include "ui/page_image.h"
#include "ui/report_engine.h"
#include "ui/report_output.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"
#include "ui/window_chrome.h"
#include "ui/window_private.h"

namespace sitedex::app::reports {
namespace {

using namespace runtime;

// `count` pages, page n showing "page n".
ui::ReportPages makePages(int count) {
    ui::ReportLayout layout;
    layout.pageHeader.height = 719;
    layout.pageHeader.text(0, 40, 6000, "Preview test", ui::ReportFont::kBold);
    layout.pageFooter = [](int page) {
        ui::Band b;
        b.height = 219;
        b.rightText(0, 0, 6000, "Page " + std::to_string(page));
        return b;
    };
    ui::ReportBuilder report(layout);
    for (int p = 1; p <= count; ++p) {
        ui::Band b;
        b.height = 7000;  // one band a page
        b.text(52, 52, 4000, "page " + std::to_string(p));
        report.printDetail(b);
    }
    return report.takePages();
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        ui::ensureApplication();
        ui::installWindowHooks();
        ui::setMessageBoxResponder([this](const ui::MessageBoxInfo& box) {
            m_boxes.push_back(box.caption + ": " + box.text);
            return box.defaultButton ? box.defaultButton : int(kButtonOk);
        });
        ui::setPopupResponder(nullptr);
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
        ui::setPopupResponder(nullptr);
        ui::setPdfFileNameResponder(nullptr);
        ui::programPrinter().setOutputFormat(QPrinter::NativeFormat);
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }

    void open(int pageCount) {
        m_pages = makePages(pageCount);
        m_ended = false;
        m_response = 0;
        m_thread = ui::startProcedure(
            [this] {
                ReportPreview(m_pages, "Preview test");
                m_response = CallResponse();
                m_ended = true;
            },
            0, "PreviewTest");
        ASSERT_NE(m_thread, 0);
        ASSERT_TRUE(ui::pumpEventsUntil([&] { return preview() != nullptr; }));
        ui::pumpEventsFor(50);
    }
    ui::Window* preview() {
        ui::Window* w = ui::currentWindow(m_thread);
        return w && w->definition().name == "REPORTPREVIEW$WINDOW" ? w : nullptr;
    }
    ui::Window* dialog(const char* name) {
        ui::Window* w = ui::currentWindow(m_thread);
        return w && w->definition().name == name ? w : nullptr;
    }
    static const PreviewWindow& pw() { return previewWindow(); }
    void click(int control) {
        preview()->click(control);
        ui::pumpEventsFor(40);
    }
    void enter(int control, const std::string& text) {
        preview()->enterText(control, text);
        ui::pumpEventsFor(40);
    }
    void key(int qtKey) {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
        QApplication::sendEvent(preview()->internals()->client, &press);
        ui::pumpEventsFor(40);
    }
    std::string zone(int z) { return ui::statusZone(*preview(), z); }
    // The page images made at run time: (control, page shown) of those shown.
    std::vector<std::pair<int, int>> shownImages() {
        std::vector<std::pair<int, int>> out;
        ui::Window& w = *preview();
        for (int n = int(pw().def.controls.size()) + 1; n <= int(w.definition().controls.size()); ++n)
            if (w.isShown(n))
                out.push_back({n, ui::shownPage(w, n)});
        return out;
    }
    int zoomedImage() {
        auto images = shownImages();
        return images.size() == 1 && ui::pageSize(*preview(), images[0].first).width > 0 ? images[0].first : 0;
    }
    bool closed() {
        return ui::pumpEventsUntil([&] { return m_ended; }, 3000);
    }

    sitedex::testing::TempDir m_dir;
    ui::ReportPages m_pages;
    int m_thread = 0;
    bool m_ended = false;
    long m_response = 0;
    std::vector<std::string> m_boxes;
};

TEST_F(Preview, OnePageDisablesPagingAndExitAnswersCancelled) {
    open(1);
    ui::Window& w = *preview();
    EXPECT_EQ(w.definition().title, "Report Preview");
    EXPECT_EQ(zone(2), "Page 1 of 1");
    EXPECT_EQ(zone(3), "No Zoom");
    for (int c : {pw().pageSpin, pw().acrossSpin, pw().downSpin, pw().viewMenu})
        EXPECT_FALSE(w.isEnabled(c)) << c;
    EXPECT_TRUE(w.isEnabled(pw().printItem));
    ASSERT_EQ(shownImages().size(), 1u);
    EXPECT_EQ(shownImages()[0].second, 1);
    click(pw().exitItem);
    ASSERT_TRUE(closed());
    EXPECT_EQ(m_response, ResponseCancelled);
}

TEST_F(Preview, TenPagesTwoByTwoPageThroughThreeSetsAndStopAtTheLast) {
    open(10);
    enter(pw().acrossSpin, "2");
    enter(pw().downSpin, "2");
    ui::Window& w = *preview();
    struct Step {
        const char* status;
        std::vector<int> pages;
        bool next, previous;
    };
    const Step steps[] = {
        {"Pages 1-4 of 10", {1, 2, 3, 4}, true, false},
        {"Pages 5-8 of 10", {5, 6, 7, 8}, true, true},
        {"Pages 9-10 of 10", {9, 10}, false, true},  // the last two thumbnails hidden
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(steps[i].status);
        EXPECT_EQ(zone(2), steps[i].status);
        std::vector<int> pages;
        for (auto [control, page] : shownImages())
            pages.push_back(page);
        EXPECT_EQ(pages, steps[i].pages);
        EXPECT_EQ(w.isEnabled(pw().nextItem), steps[i].next);
        EXPECT_EQ(w.isEnabled(pw().previousItem), steps[i].previous);
        if (i == 0)
            click(pw().nextItem);
        if (i == 1)
            key(Qt::Key_PageDown);
    }
    key(Qt::Key_PageDown);  // Next is disabled: nothing moves
    EXPECT_EQ(zone(2), "Pages 9-10 of 10");
    key(Qt::Key_PageUp);
    EXPECT_EQ(zone(2), "Pages 5-8 of 10");
    click(pw().previousItem);
    EXPECT_EQ(zone(2), "Pages 1-4 of 10");
    // The thumbnails keep the page's shape and do not overlap.
    auto images = shownImages();
    const ui::Rect a = w.controlGeometry(images[0].first), b = w.controlGeometry(images[1].first);
    EXPECT_NEAR(double(a.height) / a.width, 11.0 / 8.5, 0.03);
    EXPECT_GE(b.x, a.x + a.width);
}

TEST_F(Preview, SpinValuesOutOfRangeTakeTheNearestBound) {
    open(10);
    struct Case {
        int control;
        const char* typed;
        const char* shown;  // what the spin then shows
    };
    const Case cases[] = {
        {pw().pageSpin, "0", "1"},   {pw().pageSpin, "99", "10"},   {pw().pageSpin, "7", "7"},
        {pw().acrossSpin, "0", "1"}, {pw().acrossSpin, "11", "10"}, {pw().downSpin, "-3", "1"},
        {pw().downSpin, "12", "10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed));
        enter(c.control, c.typed);
        EXPECT_EQ(preview()->text(c.control), c.shown);
    }
    // 10 x 10 thumbnails from page 7: pages 7 to 10 shown.
    EXPECT_EQ(zone(2), "Pages 7-10 of 10");
    EXPECT_EQ(shownImages().size(), 4u);

    // Typed key by key and ended with Enter, as the user does.
    struct Typed {
        int control;
        const char* keys;
        const char* shown;
    };
    const Typed typed[] = {{pw().acrossSpin, "1", "1"}, {pw().downSpin, "1", "1"}, {pw().pageSpin, "99", "10"},
                           {pw().pageSpin, "0", "1"},   {pw().pageSpin, "4", "4"}};
    for (const Typed& t : typed) {
        SCOPED_TRACE(std::string(t.keys));
        QWidget* spin = preview()->internals()->widgetOf(t.control);
        spin->setFocus();
        QKeyEvent all(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
        QApplication::sendEvent(spin, &all);
        for (const char* k = t.keys; *k; ++k) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + (*k - '0'), Qt::NoModifier, QString(QChar(*k)));
            QApplication::sendEvent(spin, &press);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(spin, &enter);
        ui::pumpEventsFor(40);
        EXPECT_EQ(preview()->text(t.control), t.shown);
    }
    EXPECT_EQ(zone(2), "Page 4 of 10");
}

TEST_F(Preview, JumpAndDisplayDialogsChangeThePageAndTheThumbnails) {
    open(10);
    click(pw().jumpItem);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return dialog("JUMPTOPAGE$WINDOW") != nullptr; }));
    ui::Window* jump = dialog("JUMPTOPAGE$WINDOW");
    EXPECT_EQ(jump->definition().title, "Jump to a Report Page");
    EXPECT_EQ(jump->text(jumpWindow().pageSpin), "1");
    jump->enterText(jumpWindow().pageSpin, "6");
    jump->click(jumpWindow().ok);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return preview() != nullptr; }));
    ui::pumpEventsFor(40);
    EXPECT_EQ(zone(2), "Page 6 of 10");
    EXPECT_EQ(preview()->text(pw().pageSpin), "6");

    click(pw().jumpItem);  // Cancel keeps the page
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return dialog("JUMPTOPAGE$WINDOW") != nullptr; }));
    dialog("JUMPTOPAGE$WINDOW")->enterText(jumpWindow().pageSpin, "2");
    dialog("JUMPTOPAGE$WINDOW")->click(jumpWindow().cancel);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return preview() != nullptr; }));
    ui::pumpEventsFor(40);
    EXPECT_EQ(zone(2), "Page 6 of 10");

    click(pw().displayItem);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return dialog("CHANGEDISPLAY$WINDOW") != nullptr; }));
    ui::Window* display = dialog("CHANGEDISPLAY$WINDOW");
    EXPECT_EQ(display->definition().title, "Change the Report Display");
    display->enterText(displayWindow().acrossSpin, "3");
    display->enterText(displayWindow().downSpin, "2");
    display->click(displayWindow().ok);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return preview() != nullptr; }));
    ui::pumpEventsFor(40);
    EXPECT_EQ(zone(2), "Pages 6-10 of 10");
    EXPECT_EQ(preview()->text(pw().acrossSpin), "3");
    EXPECT_EQ(preview()->text(pw().downSpin), "2");
    EXPECT_EQ(shownImages().size(), 5u);
}

TEST_F(Preview, EveryZoomStateHasItsSizeAndClicksSwitchBetweenThumbnailsAndPage) {
    open(3);
    ui::Window& w = *preview();
    const double dpi = ui::screenPixelsPerInch(w);
    const double naturalWidth = 8.5 * dpi, naturalHeight = 11.0 * dpi;
    struct Case {
        int item;       // 1..7 of the Zoom submenu
        double factor;  // 0: page width
        const char* status;
    };
    const Case cases[] = {{3, 0.5, "Zoom (50%)"},  {4, 0.75, "Zoom (75%)"}, {5, 1.0, "Zoom (100%)"},
                          {6, 2.0, "Zoom (200%)"}, {7, 3.0, "Zoom (300%)"}, {2, 0, "Zoom (Page Width)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        click(pw().zoomItems[c.item - 1]);
        EXPECT_EQ(zone(3), c.status);
        EXPECT_EQ(zone(2), "Page 1 of 3");
        EXPECT_TRUE(ui::itemChecked(w, pw().zoomItems[c.item - 1]));
        const int image = zoomedImage();
        ASSERT_NE(image, 0);
        const ui::PixelSize size = ui::pageSize(w, image);
        const double factor = c.factor > 0 ? c.factor : ui::widthBesideScrollBar(w, image) / naturalWidth;
        EXPECT_NEAR(size.width, naturalWidth * factor, 1.0);
        EXPECT_NEAR(size.height, naturalHeight * factor, 1.0);
        if (c.factor == 0) {
            EXPECT_LE(size.width, w.clientWidth());
        }
    }
    // Page Down in a zoom moves one page, shown from its top; clicking the page goes back to the
    // thumbnails.
    auto* area = qobject_cast<QScrollArea*>(w.internals()->widgetOf(zoomedImage()));
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    EXPECT_GT(area->verticalScrollBar()->value(), 0);
    key(Qt::Key_PageDown);
    EXPECT_EQ(zone(2), "Page 2 of 3");
    EXPECT_EQ(area->verticalScrollBar()->value(), 0);
    QWidget* page = qobject_cast<QScrollArea*>(w.internals()->widgetOf(zoomedImage()))->widget();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 20), page->mapToGlobal(QPointF(20, 20)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page, &press);
    ui::pumpEventsFor(40);
    EXPECT_EQ(zone(3), "No Zoom");
    EXPECT_TRUE(ui::itemChecked(w, pw().zoomItems[0]));
    // 3 across: clicking the third thumbnail zooms on its page at page width.
    enter(pw().acrossSpin, "3");
    auto images = shownImages();
    ASSERT_EQ(images.size(), 2u);  // pages 2 and 3 from page 2
    QWidget* third = w.internals()->widgetOf(images[1].first);
    QMouseEvent click3(QEvent::MouseButtonPress, QPointF(5, 5), third->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(third, &click3);
    ui::pumpEventsFor(40);
    EXPECT_EQ(zone(3), "Zoom (Page Width)");
    EXPECT_EQ(zone(2), "Page 3 of 3");
}

TEST_F(Preview, ZoomButtonOffersThePopupWithTheCurrentStateChecked) {
    open(2);
    std::vector<std::string> offered;
    ui::setPopupResponder([&](const std::vector<std::string>& items) {
        offered = items;
        return 4;  // 75%
    });
    click(pw().zoomButton);
    EXPECT_EQ(offered, (std::vector<std::string>{"No Zoom", "Page Width", "50%", "75%", "100%", "200%", "300%"}));
    EXPECT_EQ(zone(3), "Zoom (75%)");
    EXPECT_EQ(zoomPopupText(Zoom::k75), "-No Zoom|-|-Page Width|-50%|+75%|-100%|-200%|-300%");
    EXPECT_EQ(zoomPopupText(Zoom::kNone), "+No Zoom|-|-Page Width|-50%|-75%|-100%|-200%|-300%");
}

TEST_F(Preview, PrintAnswersCompletedOnlyWhenThereIsAPrinter) {
    open(2);
    click(pw().printButton);  // no printer here: the preview says so and stays
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find("Print: No printer is installed"), std::string::npos) << m_boxes[0];
    EXPECT_NE(preview(), nullptr);
    EXPECT_FALSE(m_ended);
    // Print Setup chose a file: Print closes the preview with the answer to print.
    ui::programPrinter().setOutputFormat(QPrinter::PdfFormat);
    ui::programPrinter().setOutputFileName(QString::fromStdString(m_dir.file("printed.pdf")));
    click(pw().printItem);
    ASSERT_TRUE(closed());
    EXPECT_EQ(m_response, ResponseCompleted);
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("printed.pdf"))) << "the preview never prints itself";
}

TEST_F(Preview, EscapeAndTheCloseBoxLeaveWithoutPrinting) {
    for (bool escape : {true, false}) {
        open(2);
        if (escape)
            key(Qt::Key_Escape);
        else
            ui::postEvent(kEventCloseWindow, 0, m_thread);
        ASSERT_TRUE(closed());
        EXPECT_EQ(m_response, ResponseCancelled);
    }
}

TEST_F(Preview, SaveAsPdfWritesEveryPageAndKeepsThePreviewOpen) {
    open(3);
    const std::string path = m_dir.file("saved.pdf");
    std::string suggested;
    ui::setPdfFileNameResponder([&](const std::string& s) {
        suggested = s;
        return path;
    });
    click(pw().pdfItem);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return std::filesystem::exists(path) && preview() != nullptr; }, 5000));
    ui::pumpEventsFor(50);
    EXPECT_EQ(suggested, "Preview test.pdf");
    EXPECT_FALSE(m_ended);
    if (sitedex::testing::havePdfToText()) {
        const std::string text = sitedex::testing::pdfLayoutText(path);
        for (int p = 1; p <= 3; ++p)
            EXPECT_NE(text.find("page " + std::to_string(p)), std::string::npos);
    }
    // A folder that is not there: the user is told, nothing is written.
    ui::setPdfFileNameResponder([&](const std::string&) { return m_dir.file("missing/saved.pdf"); });
    click(pw().pdfItem);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return !m_boxes.empty(); }));
    EXPECT_NE(m_boxes.back().find("Save as PDF: The report was not saved.  cannot write"), std::string::npos)
        << m_boxes.back();
    ui::pumpEventsFor(100);  // the box goes away before the preview takes clicks again
    click(pw().exitButton);
    ASSERT_TRUE(closed());
    EXPECT_EQ(m_response, ResponseCancelled);
}

TEST(PreviewLayout, ThumbnailsKeepTheAspectInsideTheirCells) {
    struct Case {
        int width, height, across, down;
        double aspect;
        Thumbnail first, last;
    };
    const Case cases[] = {
        // One tall page in a wide window: the height decides (cell 798 x 580 after the gaps).
        {800, 600, 1, 1, 11.0 / 8.5, {1, 19, 448, 580}, {1, 19, 448, 580}},
        // Two by two: cells (800-5)/2 = 397 wide, (600-18-5)/2 = 288 high.
        {800, 600, 2, 2, 11.0 / 8.5, {1, 19, 222, 288}, {226, 310, 222, 288}},
        // A landscape page in a tall window: the width decides.
        {300, 900, 1, 1, 8.5 / 11.0, {1, 19, 298, 230}, {1, 19, 298, 230}},
    };
    for (const Case& c : cases) {
        const auto cells = layOutThumbnails(c.width, c.height, 18, c.across, c.down, c.aspect);
        ASSERT_EQ(cells.size(), size_t(c.across * c.down));
        EXPECT_EQ(cells.front().x, c.first.x);
        EXPECT_EQ(cells.front().y, c.first.y);
        EXPECT_EQ(cells.front().width, c.first.width);
        EXPECT_EQ(cells.front().height, c.first.height);
        EXPECT_EQ(cells.back().x, c.last.x);
        EXPECT_EQ(cells.back().y, c.last.y);
    }
}

}  // namespace
}  // namespace sitedex::app::reports
