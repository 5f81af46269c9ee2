// The report engine: where bands land on pages, when a page breaks, what the header and footer of
// each page hold, how texts are cut and wrapped, how the layout fits short paper, and the PDF it
// writes (read back with pdftotext from poppler-utils when it is installed).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "tests/support/data_fixtures.h"
#include "ui/message_box.h"
#include "ui/report_engine.h"
#include "ui/report_output.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window_private.h"

namespace sitedex::ui {
namespace {

using sitedex::testing::readFile;
using sitedex::testing::TempDir;
using sitedex::testing::writeFile;

ReportLayout testLayout() {
    ReportLayout layout;
    layout.pageHeader.height = 719;
    layout.pageHeader.text(0, 40, 6000, "Title", ReportFont::kBold);
    layout.pageHeader.box(0, 260, 6000, 460, true);
    layout.pageFooter = [](int page) {
        Band b;
        b.height = 219;
        b.rightText(0, 0, 6000, "Page " + std::to_string(page));
        return b;
    };
    return layout;
}

Band detail(int record, int height = 510) {
    Band b;
    b.height = height;
    b.text(52, 52, 4396, "record " + std::to_string(record));
    return b;
}

// The detail texts of a page ("record N"), in the order drawn.
std::vector<PageDrawing::Text> recordsOn(const PageDrawing& page) {
    std::vector<PageDrawing::Text> out;
    for (const PageDrawing::Text& t : page.texts())
        if (t.text.rfind("record ", 0) == 0)
            out.push_back(t);
    return out;
}

class ReportEngine : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
};

TEST_F(ReportEngine, DetailBandsFillTheBodyAndBreakToNewPagesWithHeaderAndFooter) {
    // Body 7281 high: 14 bands of 510 fit (7140), the 15th starts a new page.
    struct Case {
        int records;
        std::vector<int> firstOnPage;  // the record each page starts with
    };
    const Case cases[] = {
        {0, {}},
        {1, {1}},
        {14, {1}},
        {15, {1, 15}},
        {28, {1, 15}},
        {29, {1, 15, 29}},
        {100, {1, 15, 29, 43, 57, 71, 85, 99}},
    };
    const int ascent = reportLineHeight(ReportFont::kNormal);  // the baseline lies within a line below the top
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records);
        ReportBuilder report(testLayout());
        for (int r = 1; r <= c.records; ++r)
            report.printDetail(detail(r));
        report.endLastPage();
        const ReportPages pages = report.takePages();
        ASSERT_EQ(pages.size(), c.firstOnPage.size());
        int expected = 1;
        for (size_t p = 0; p < pages.size(); ++p) {
            const auto records = recordsOn(pages[p]);
            ASSERT_FALSE(records.empty());
            EXPECT_EQ(records.front().text, "record " + std::to_string(c.firstOnPage[p]));
            for (size_t i = 0; i < records.size(); ++i, ++expected) {
                EXPECT_EQ(records[i].text, "record " + std::to_string(expected));
                // Band i of the page starts 510 * i below the body's top; its text 52 below that.
                const int top = 1720 + int(i) * 510 + 52;
                EXPECT_GT(records[i].baseline, top);
                EXPECT_LE(records[i].baseline, top + ascent);
                EXPECT_EQ(records[i].x, 1000 + 52);
            }
            const auto texts = pages[p].texts();
            EXPECT_EQ(texts.front().text, "Title") << "the header comes first on every page";
            EXPECT_EQ(texts.front().font, ReportFont::kBold);
            EXPECT_EQ(texts.back().text, "Page " + std::to_string(p + 1)) << "the footer comes last";
            EXPECT_GT(texts.back().baseline, 9000);
            ASSERT_EQ(pages[p].boxes().size(), 1u);
            EXPECT_TRUE(pages[p].boxes()[0].filled);
            EXPECT_EQ(pages[p].boxes()[0].at.y, 1260);
        }
        EXPECT_EQ(expected, c.records + 1) << "every record printed once";
    }
}

TEST_F(ReportEngine, TextsAreCutToTheirWidthAndRightTextsEndAtTheRightEdge) {
    ReportBuilder report(testLayout());
    Band b;
    b.height = 510;
    const std::string longText(200, 'W');
    b.text(0, 0, 2000, longText);
    b.text(0, 200, 2000, "short");
    b.rightText(3000, 0, 271, "10");
    b.text(0, 300, 1000, "Zürich – Ünïcödé façade très longue phrase qui ne tient pas");
    report.printDetail(b);
    const ReportPages pages = report.takePages();
    ASSERT_EQ(pages.size(), 1u);
    const auto texts = pages[0].texts();
    // texts: title, the four detail texts, footer
    ASSERT_EQ(texts.size(), 6u);
    const std::string cut(texts[1].text);
    EXPECT_LT(cut.size(), longText.size());
    EXPECT_EQ(cut.substr(cut.size() - 3), "\xE2\x80\xA6") << "a cut text ends in an ellipsis";
    EXPECT_LE(reportTextWidth(ReportFont::kNormal, cut), 2000);
    EXPECT_EQ(texts[2].text, "short");
    const int right = texts[3].x + reportTextWidth(ReportFont::kNormal, texts[3].text);
    EXPECT_NEAR(right, 1000 + 3000 + 271, 2);
    const std::string utf8(texts[4].text);
    EXPECT_LE(reportTextWidth(ReportFont::kNormal, utf8), 1000);
    EXPECT_EQ(utf8.rfind("Zürich", 0), 0u) << "cut at whole characters";
}

TEST_F(ReportEngine, WrappedTextsGrowTheirBandAndMoveToTheNextPageWhole) {
    const std::string words =
        "Every word of this description is kept: the lines break between words, and the band grows "
        "so that the next record starts below the last line instead of on top of it.\nA line of its "
        "own.\nAveryveryveryveryveryveryveryveryveryveryveryveryveryveryveryveryverylongwordwithoutblanks";
    ReportBuilder report(testLayout());
    const int line = reportLineHeight(ReportFont::kNormal);
    for (int r = 1; r <= 12; ++r) {
        Band b;
        b.height = 280;
        b.text(52, 52, 2260, "record " + std::to_string(r));
        b.wrappedText(2427, 31, 3510, 208, words);
        report.printDetail(b);
    }
    const ReportPages pages = report.takePages();
    ASSERT_GE(pages.size(), 2u);
    std::vector<std::string> firstBand;
    for (const auto& t : pages[0].texts())
        if (t.x == 1000 + 2427 && t.baseline < 1720 + 1000)
            firstBand.emplace_back(t.text);
    ASSERT_GE(firstBand.size(), 4u);
    std::string joined;
    for (const auto& l : firstBand) {
        EXPECT_LE(reportTextWidth(ReportFont::kNormal, l), 3510) << l;
        joined += l + " ";
    }
    EXPECT_NE(joined.find("A line of its own."), std::string::npos);
    EXPECT_NE(joined.find("Averyvery"), std::string::npos);
    // Records follow each other with no overlap, and never below the body.
    for (const PageDrawing& page : pages) {
        std::vector<PageDrawing::Text> records;  // the first column's texts
        for (const auto& t : page.texts())
            if (t.x == 1000 + 52)
                records.push_back(t);
        for (size_t i = 1; i < records.size(); ++i)
            EXPECT_GE(records[i].baseline - records[i - 1].baseline, int(firstBand.size()) * line);
        for (const auto& t : page.texts())
            if (t.x == 1000 + 2427) {
                EXPECT_LE(t.baseline, 1720 + 7281);
            }
    }
}

TEST_F(ReportEngine, ShortPaperMovesTheFooterUpSoNothingFallsOffThePage) {
    struct Case {
        PaperSize paper;
        int footerY, bodyBottom;
    };
    const Case cases[] = {
        {{8500, 11000}, 9000, 9001},  // Letter: the design
        {{8268, 11693}, 9000, 9001},  // A4 is taller: unchanged
        {{11000, 8500}, 6500, 6501},  // Letter landscape
    };
    for (const Case& c : cases) {
        ReportLayout layout = testLayout();
        layout.paper = c.paper;
        layout = fitToPaper(layout);
        EXPECT_EQ(layout.footer.y, c.footerY);
        EXPECT_EQ(layout.body.y + layout.body.height, c.bodyBottom);
        ReportBuilder report(layout);
        for (int r = 1; r <= 40; ++r)
            report.printDetail(detail(r));
        for (const PageDrawing& page : report.takePages())
            for (const auto& t : page.texts())
                EXPECT_LT(t.baseline, c.paper.height - 1000) << t.text;
    }
}

// ---- PDF output ------------------------------------------------------------------------------------

bool havePdfToText() {
    return std::system("command -v pdftotext >/dev/null 2>&1") == 0;
}

std::string pdfText(const std::string& pdf) {
    const std::string txt = pdf + ".txt";
    std::string cmd = "pdftotext -layout '" + pdf + "' '" + txt + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return readFile(txt);
}

ReportPages threePages() {
    ReportBuilder report(testLayout());
    for (int r = 1; r <= 40; ++r)
        report.printDetail(detail(r));
    return report.takePages();
}

TEST_F(ReportEngine, PdfHoldsEveryPageAndReplacesAnOldFileOnlyWhenComplete) {
    TempDir dir;
    const ReportPages pages = threePages();
    ASSERT_EQ(pages.size(), 3u);
    const std::string path = dir.file("out.pdf");
    writeFile(path, "the old file");

    // Cancelled half-way: the old file stays as it was, no temporary file is left.
    {
        auto job = PageOutputJob::toPdf(pages, path, "Test");
        ASSERT_TRUE(job->error().empty());
        EXPECT_TRUE(job->step());
        job->cancel();
        while (job->step()) {
        }
        EXPECT_TRUE(job->cancelled());
        EXPECT_FALSE(job->succeeded());
    }
    EXPECT_EQ(readFile(path), "the old file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    auto job = PageOutputJob::toPdf(pages, path, "Test");
    int steps = 0;
    while (job->step())
        ++steps;
    EXPECT_TRUE(job->succeeded()) << job->error();
    EXPECT_EQ(job->pagesDone(), 3);
    EXPECT_EQ(job->percent(), 100);
    EXPECT_EQ(readFile(path).substr(0, 5), "%PDF-");
    if (!havePdfToText())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const std::string text = pdfText(path);
    for (int r = 1; r <= 40; ++r)
        EXPECT_NE(text.find("record " + std::to_string(r) + "\n"), std::string::npos) << r;
    EXPECT_NE(text.find("Page 3"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3) << "three pages";
}

TEST_F(ReportEngine, PdfThatCannotBeWrittenSaysWhyAndWritesNothing) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    const ReportPages pages = threePages();
    const std::string paths[] = {
        dir.file("missing/out.pdf"),  // a folder that does not exist
        dir.file("plain/out.pdf"),    // a "folder" that is a file
        "/proc/sitedex-report.pdf",   // a folder nobody may write to, not even root
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        auto job = PageOutputJob::toPdf(pages, path, "Test");
        EXPECT_FALSE(job->error().empty());
        EXPECT_NE(job->error().find(path), std::string::npos) << job->error();
        EXPECT_FALSE(job->step());
        EXPECT_FALSE(job->succeeded());
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST_F(ReportEngine, PrintingWithoutAPrinterSaysSoInsteadOfFailingSilently) {
    std::string why;
    if (canPrint(&why))
        GTEST_SKIP() << "a printer is installed here";
    EXPECT_NE(why.find("No printer is installed"), std::string::npos);
    const ReportPages pages = threePages();
    auto job = PageOutputJob::toPrinter(pages, "Test");
    EXPECT_FALSE(job->step());
    EXPECT_FALSE(job->succeeded());
    EXPECT_NE(job->error().find("No printer is installed"), std::string::npos);
}

TEST_F(ReportEngine, PrintoutFollowsTheRangeOrderAndCopiesOfThePrinterDialog) {
    if (!havePdfToText())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TempDir dir;
    const ReportPages pages = threePages();  // "record 1" on page 1, "record 15" on 2, "record 29" on 3
    QPrinter& printer = programPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);  // Print Setup's "Print to File"
    struct Case {
        int from, to, copies;
        bool collate, reverse;
        std::vector<int> pages;
    };
    const Case cases[] = {
        {0, 0, 1, true, false, {1, 2, 3}},     {2, 3, 1, true, false, {2, 3}},   {2, 3, 2, true, false, {2, 3, 2, 3}},
        {2, 3, 2, false, false, {2, 2, 3, 3}}, {1, 3, 1, true, true, {3, 2, 1}}, {3, 9, 1, true, false, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + "-" + std::to_string(c.to) + " x" + std::to_string(c.copies));
        const std::string path = dir.file("printed.pdf");
        printer.setOutputFileName(QString::fromStdString(path));
        printer.setPrintRange(c.from ? QPrinter::PageRange : QPrinter::AllPages);
        printer.setFromTo(c.from, c.to);
        printer.setCopyCount(c.copies);
        printer.setCollateCopies(c.collate);
        printer.setPageOrder(c.reverse ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);
        std::string why;
        ASSERT_TRUE(canPrint(&why)) << why;
        auto job = PageOutputJob::toPrinter(pages, "Test");
        while (job->step()) {
        }
        ASSERT_TRUE(job->succeeded()) << job->error();
        std::vector<int> printed;
        const std::string text = pdfText(path);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\f', start);
            if (end == std::string::npos)
                break;
            const std::string page = text.substr(start, end - start);
            printed.push_back(page.find("record 1\n") != std::string::npos    ? 1
                              : page.find("record 15\n") != std::string::npos ? 2
                                                                              : 3);
            start = end + 1;
        }
        EXPECT_EQ(printed, c.pages);
    }
    printer.setPrintRange(QPrinter::AllPages);
    printer.setCopyCount(1);
    printer.setPageOrder(QPrinter::FirstPageFirst);
    printer.setOutputFormat(QPrinter::NativeFormat);
}

TEST_F(ReportEngine, PrintSetupSaysOkAndIsRememberedForTheRun) {
    TempDir dir;
    QPrinter& printer = programPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("setup.pdf")));
    printer.setPageOrientation(QPageLayout::Landscape);
    bool confirmed = false, ended = false;
    const int thread = startProcedure([&] {
        confirmed = printerSetup();
        ended = true;
    });
    ASSERT_NE(thread, 0);
    QPrintDialog* dialog = nullptr;
    ASSERT_TRUE(pumpEventsUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QPrintDialog*>(w); d && d->isVisible())
                dialog = d;
        return dialog != nullptr;
    }));
    EXPECT_EQ(dialog->windowTitle(), "Print Setup");
    int buttons = 0;
    for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>()) {
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) {
            ++buttons;
            EXPECT_EQ(ok->text(), "OK") << "setting up prints nothing";
        }
    }
    EXPECT_EQ(buttons, 1);
    dialog->accept();
    ASSERT_TRUE(pumpEventsUntil([&] { return ended; }));
    EXPECT_TRUE(confirmed);
    // What was set up stays for the rest of the run: reports are laid out on it.
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    const PaperSize paper = printerPaper();
    EXPECT_GT(paper.width, paper.height);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setOutputFormat(QPrinter::NativeFormat);
}

}  // namespace
}  // namespace sitedex::ui
