// The report engine: band placement, page breaks, and the text measurement that cuts and wraps texts
// to their widths. Fonts are sized in thousandths of an inch, the unit of the page, so that what is
// measured here is exactly what every painter draws after scaling the page to its device.
#include "ui/report_engine.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ui/report_paint.h"

namespace sitedex::ui {

namespace {

// 10 points are 10/72 of an inch.
constexpr int kFontSize = 139;

struct FontSet {
    QFont fonts[3];
    QFontMetricsF metrics[3];
    FontSet() : metrics{QFontMetricsF(make(0)), QFontMetricsF(make(1)), QFontMetricsF(make(2))} {
        for (int i = 0; i < 3; ++i) {
            fonts[i] = make(i);
            widest[i] = std::max(metrics[i].horizontalAdvance(QLatin1Char('W')),
                                 metrics[i].horizontalAdvance(QLatin1Char('M')));
        }
    }
    double widest[3] = {};
    static QFont make(int which) {
        QFont f;
        if (which == 2) {
            f.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
            f.setStyleHint(QFont::Monospace);
            f.setFixedPitch(true);
        } else {
            f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
            f.setStyleHint(QFont::SansSerif);
        }
        f.setPixelSize(kFontSize);
        f.setBold(which == 1);
        // The same shapes at every size: the page is measured once and drawn on screens and printers.
        f.setHintingPreference(QFont::PreferNoHinting);
        f.setKerning(false);
        return f;
    }
};

FontSet& fontSet() {
    static FontSet set;
    return set;
}

int index(ReportFont f) {
    return int(f);
}

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// True when every byte is ASCII and even the widest letter repeated would fit: no measuring needed.
bool surelyFits(ReportFont font, std::string_view text, int width) {
    const double widest = fontSet().widest[index(font)];
    if (double(text.size()) * widest > width)
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The lines a wrapped text takes: broken at its own line ends, then at word boundaries to the width
// (anywhere inside a word longer than a line).
std::vector<QString> wrappedLines(const BandItem& item) {
    QString all = qs(item.text);
    all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    all.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::vector<QString> lines;
    for (const QString& paragraph : all.split(QLatin1Char('\n'))) {
        QTextLayout text(paragraph, reportQFont(item.font));
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        text.setTextOption(option);
        text.beginLayout();
        bool any = false;
        while (true) {
            QTextLine line = text.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(item.at.width);
            QString piece = paragraph.mid(line.textStart(), line.textLength());
            while (piece.endsWith(QLatin1Char(' ')))
                piece.chop(1);
            lines.push_back(piece);
            any = true;
        }
        text.endLayout();
        if (!any)
            lines.push_back(QString());
    }
    while (!lines.empty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}
}  // namespace

const QFont& reportQFont(ReportFont font) {
    return fontSet().fonts[index(font)];
}

int reportLineHeight(ReportFont font) {
    return int(std::ceil(fontSet().metrics[index(font)].lineSpacing()));
}

int reportTextWidth(ReportFont font, std::string_view text) {
    return int(std::ceil(fontSet().metrics[index(font)].horizontalAdvance(qs(text))));
}

std::string reportFontFamily(ReportFont font) {
    return QFontInfo(reportQFont(font)).family().toStdString();
}

void ensureHeadlessGui() {
    if (QCoreApplication::instance())
        return;
    // A command's standard error carries its own messages only, not the toolkit's notes about its
    // surroundings (a missing runtime folder, say); real failures still get through.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    static int argc = 3;
    static char name[] = "sitedex", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

// ---- bands -----------------------------------------------------------------------------------------

Band& Band::text(int x, int y, int width, std::string t, ReportFont font) {
    items.push_back({BandItem::Kind::kText, font, {x, y, width, 0}, std::move(t), false});
    return *this;
}
Band& Band::rightText(int x, int y, int width, std::string t, ReportFont font) {
    items.push_back({BandItem::Kind::kRightText, font, {x, y, width, 0}, std::move(t), false});
    return *this;
}
Band& Band::wrappedText(int x, int y, int width, int height, std::string t, ReportFont font) {
    items.push_back({BandItem::Kind::kWrappedText, font, {x, y, width, height}, std::move(t), false});
    return *this;
}
Band& Band::box(int x, int y, int width, int height, bool filled) {
    items.push_back({BandItem::Kind::kBox, ReportFont::kNormal, {x, y, width, height}, {}, filled});
    return *this;
}

// ---- kept pages --------------------------------------------------------------------------------------

void PageDrawing::addText(int x, int baseline, ReportFont font, std::string_view text) {
    if (text.empty())
        return;
    Op op;
    op.kind = Op::kText;
    op.font = font;
    op.x = x;
    op.y = baseline;
    op.textStart = uint32_t(m_text.size());
    op.textLength = uint32_t(text.size());
    m_text.append(text);
    m_ops.push_back(op);
}

void PageDrawing::addBox(const ReportRect& at, bool filled) {
    Op op;
    op.kind = filled ? Op::kFilledBox : Op::kBox;
    op.x = at.x;
    op.y = at.y;
    op.width = at.width;
    op.height = at.height;
    m_ops.push_back(op);
}

std::vector<PageDrawing::Text> PageDrawing::texts() const {
    std::vector<Text> out;
    for (const Op& op : m_ops)
        if (op.kind == Op::kText)
            out.push_back({op.x, op.y, op.font, textOf(op)});
    return out;
}

std::vector<PageDrawing::Box> PageDrawing::boxes() const {
    std::vector<Box> out;
    for (const Op& op : m_ops)
        if (op.kind != Op::kText)
            out.push_back({{op.x, op.y, op.width, op.height}, op.kind == Op::kFilledBox});
    return out;
}

std::string PageDrawing::plainText() const {
    std::string s;
    for (const Op& op : m_ops) {
        if (op.kind != Op::kText)
            continue;
        if (!s.empty())
            s += '\n';
        s.append(textOf(op));
    }
    return s;
}

size_t PageDrawing::memoryBytes() const {
    return sizeof(*this) + m_ops.capacity() * sizeof(Op) + m_text.capacity();
}

void PageDrawing::shrinkToFit() {
    m_ops.shrink_to_fit();
    m_text.shrink_to_fit();
}

// ---- layout ------------------------------------------------------------------------------------------

ReportLayout fitToPaper(ReportLayout layout) {
    // On Letter paper the design leaves this much below its footer.
    const int bottomMargin = 11000 - (layout.footer.y + layout.footer.height);
    const int lowestFooter = layout.paper.height - bottomMargin - layout.footer.height;
    if (bottomMargin > 0 && lowestFooter < layout.footer.y && lowestFooter > layout.body.y) {
        const int gap = layout.footer.y - (layout.body.y + layout.body.height);
        layout.footer.y = lowestFooter;
        layout.body.height = std::max(1, lowestFooter - gap - layout.body.y);
    }
    return layout;
}

ReportBuilder::ReportBuilder(ReportLayout layout) : m_layout(std::move(layout)) {}
ReportBuilder::~ReportBuilder() = default;

int ReportBuilder::measuredHeight(const Band& band) const {
    int height = band.height;
    for (const BandItem& item : band.items) {
        if (item.kind != BandItem::Kind::kWrappedText)
            continue;
        const int lines = int(wrappedLines(item).size());
        const int needed = item.at.y + std::max(item.at.height, lines * reportLineHeight(item.font));
        // Text that outgrows its band keeps the space above it below it too.
        if (needed > height)
            height = needed + item.at.y;
    }
    return height;
}

void ReportBuilder::place(const Band& band, int left, int top, PageDrawing& page) {
    for (const BandItem& item : band.items) {
        const int x = left + item.at.x;
        const int y = top + item.at.y;
        const QFontMetricsF& m = fontSet().metrics[index(item.font)];
        const int ascent = int(std::lround(m.ascent()));
        switch (item.kind) {
            case BandItem::Kind::kBox:
                page.addBox({x, y, item.at.width, item.at.height}, item.filled);
                break;
            case BandItem::Kind::kText:
                if (surelyFits(item.font, item.text, item.at.width)) {
                    page.addText(x, y + ascent, item.font, item.text);
                } else {
                    const QString cut = m.elidedText(qs(item.text), Qt::ElideRight, item.at.width);
                    page.addText(x, y + ascent, item.font, cut.toStdString());
                }
                break;
            case BandItem::Kind::kRightText: {
                QString text = qs(item.text);
                double width = m.horizontalAdvance(text);
                if (width > item.at.width) {
                    text = m.elidedText(text, Qt::ElideRight, item.at.width);
                    width = m.horizontalAdvance(text);
                }
                page.addText(x + item.at.width - int(std::ceil(width)), y + ascent, item.font, text.toStdString());
                break;
            }
            case BandItem::Kind::kWrappedText: {
                int n = 0;
                for (const QString& line : wrappedLines(item))
                    page.addText(x, y + ascent + n++ * reportLineHeight(item.font), item.font, line.toStdString());
                break;
            }
        }
    }
}

void ReportBuilder::startPage() {
    m_pages.emplace_back(m_layout.paper);
    m_pageOpen = true;
    place(m_layout.pageHeader, m_layout.header.x, m_layout.header.y, m_pages.back());
    m_y = m_layout.body.y;
}

void ReportBuilder::finishPage() {
    if (!m_pageOpen)
        return;
    if (m_layout.pageFooter)
        place(m_layout.pageFooter(int(m_pages.size())), m_layout.footer.x, m_layout.footer.y, m_pages.back());
    m_pages.back().shrinkToFit();
    m_pageOpen = false;
}

void ReportBuilder::printDetail(const Band& band) {
    const int height = measuredHeight(band);
    const int bottom = m_layout.body.y + m_layout.body.height;
    if (m_pageOpen && m_y + height > bottom && m_y > m_layout.body.y)
        finishPage();
    if (!m_pageOpen)
        startPage();
    place(band, m_layout.body.x, m_y, m_pages.back());
    m_y += height;
}

void ReportBuilder::endLastPage() {
    finishPage();
}

ReportPages ReportBuilder::takePages() {
    finishPage();
    ReportPages pages;
    pages.swap(m_pages);
    return pages;
}

}  // namespace sitedex::ui
