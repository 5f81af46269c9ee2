#pragma once
// The report engine: lays printed bands out on pages and keeps each finished page as a compact
// drawing instead of printing it, so that a report can be previewed, printed or written as PDF
// afterwards, at any size.
//
// Units: every length on a report page is thousandths of an inch, measured from the paper's top-left
// corner. A band's items are placed relative to the band's top-left corner.
//
// How a report is built:
//
//     ui::ReportBuilder report(layout);        // the page header, body and footer places and bands
//     for (each record) report.printDetail(band);
//     report.endLastPage();
//     ui::ReportPages pages = report.takePages();
//
// Guarantees: detail bands stack down the body from its top; a band that does not fit in what is
// left of the body starts a new page (a band taller than the whole body is placed at the top of a
// page of its own). Every page gets the page header and the page footer of its number (1-based), and
// a page is only started when a band is printed on it, so a report with no detail has no page. Texts
// are cut to the width they are given (ending in "…") so that nothing runs into its neighbour;
// wrapped texts break at word boundaries (anywhere in a word longer than the line) and make their
// band as tall as they need.
//
// Fonts: the report font is Liberation Sans 10 pt (metric-compatible with Arial; Debian's
// fonts-liberation), with its bold face; the fixed font is Liberation Mono 10 pt. A missing family
// falls back to the desktop's sans-serif or monospace font, measured and drawn alike.
//
// Callers: report procedures and the text viewer's print, on one thread. Needs the toolkit's
// application object (the desktop's, or ensureHeadlessGui() on the command line).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::ui {

struct ReportRect {
    int x = 0, y = 0, width = 0, height = 0;
};

enum class ReportFont : uint8_t { kNormal, kBold, kFixed };

// One thing a band draws.
struct BandItem {
    enum class Kind : uint8_t {
        kText,         // one line, left-aligned at (x, y), cut to width
        kRightText,    // one line, right-aligned in (x, width), cut to width
        kWrappedText,  // lines broken to width, starting at (x, y); at least `height` tall
        kBox,          // a rectangle with a black frame, grey-filled when `filled`
    };
    Kind kind = Kind::kText;
    ReportFont font = ReportFont::kNormal;
    ReportRect at;
    std::string text;
    bool filled = false;
};

struct Band {
    int height = 0;
    std::vector<BandItem> items;

    Band& text(int x, int y, int width, std::string text, ReportFont font = ReportFont::kNormal);
    Band& rightText(int x, int y, int width, std::string text, ReportFont font = ReportFont::kNormal);
    Band& wrappedText(int x, int y, int width, int height, std::string text, ReportFont font = ReportFont::kNormal);
    Band& box(int x, int y, int width, int height, bool filled);
};

// Paper size in thousandths of an inch.
struct PaperSize {
    int width = 8500;
    int height = 11000;
};

// A kept page: the list of what is drawn on it. Drawn into a window, a printer or a PDF page by the
// window layer (ui/report_output.h, ui/page_image.h).
class PageDrawing {
public:
    struct Text {
        int x = 0, baseline = 0;  // where the text starts, on its baseline
        ReportFont font = ReportFont::kNormal;
        std::string_view text;
    };
    struct Box {
        ReportRect at;
        bool filled = false;
    };

    PageDrawing() = default;
    explicit PageDrawing(PaperSize paper) : m_paper(paper) {}

    PaperSize paper() const { return m_paper; }
    // What the page draws, in drawing order.
    std::vector<Text> texts() const;
    std::vector<Box> boxes() const;
    // The texts joined by "\n" (tests, searching).
    std::string plainText() const;
    size_t memoryBytes() const;

    void addText(int x, int baseline, ReportFont font, std::string_view text);
    void addBox(const ReportRect& at, bool filled);

    // Drawing steps for the painters of the window layer.
    struct Op {
        enum Kind : uint8_t { kText, kBox, kFilledBox };
        Kind kind = kText;
        ReportFont font = ReportFont::kNormal;
        int32_t x = 0, y = 0, width = 0, height = 0;  // texts: x and baseline
        uint32_t textStart = 0, textLength = 0;
    };
    const std::vector<Op>& ops() const { return m_ops; }
    std::string_view textOf(const Op& op) const { return std::string_view(m_text).substr(op.textStart, op.textLength); }
    void shrinkToFit();

private:
    PaperSize m_paper;
    std::vector<Op> m_ops;
    std::string m_text;
};

using ReportPages = std::vector<PageDrawing>;

struct ReportLayout {
    PaperSize paper;
    ReportRect header{1000, 1000, 6000, 719};
    ReportRect body{1000, 1720, 6000, 7281};
    ReportRect footer{1000, 9000, 6000, 219};
    Band pageHeader;
    std::function<Band(int page)> pageFooter;  // may be empty
};

// Moves the body's end and the footer up on paper too short for them (landscape), keeping the
// distance from the footer to the paper's bottom edge that the design has on Letter paper, so that
// no row and no footer falls off the page.
ReportLayout fitToPaper(ReportLayout layout);

class ReportBuilder {
public:
    explicit ReportBuilder(ReportLayout layout);
    ~ReportBuilder();
    ReportBuilder(const ReportBuilder&) = delete;
    ReportBuilder& operator=(const ReportBuilder&) = delete;

    // Places one detail band, starting a new page when it does not fit.
    void printDetail(const Band& band);
    // Finishes the page being filled (its footer). Further detail starts a new page.
    void endLastPage();
    int pageCount() const { return int(m_pages.size()); }
    // The pages kept so far (the last one may still be open).
    const ReportPages& pages() const { return m_pages; }
    // Hands the pages over (the report is empty afterwards).
    ReportPages takePages();

private:
    void startPage();
    void finishPage();
    void place(const Band& band, int left, int top, PageDrawing& page);
    int measuredHeight(const Band& band) const;

    ReportLayout m_layout;
    ReportPages m_pages;
    bool m_pageOpen = false;
    int m_y = 0;  // where the next detail band goes on the open page
};

// The height of one line of a report font, and the width of a text in it (thousandths of an inch).
int reportLineHeight(ReportFont font);
int reportTextWidth(ReportFont font, std::string_view text);
// The family actually used for a font (tests and the benchmark report it).
std::string reportFontFamily(ReportFont font);

// Makes sure a toolkit application object exists for the command line: the report engine measures
// text and writes PDF through it. Creates one without a display (offscreen) when there is none;
// harmless when the desktop or a test has made one.
void ensureHeadlessGui();

}  // namespace sitedex::ui
