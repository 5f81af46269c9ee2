// Page images of windows, and the painter of kept pages that they share with printing and PDF.
#include "ui/page_image.h"

#include <QFont>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "runtime/events.h"
#include "ui/report_paint.h"
#include "ui/window_chrome_private.h"
#include "ui/window_private.h"

namespace sitedex::ui {

// ---- painting a kept page -------------------------------------------------------------------------

namespace {
const QColor kHeadingGrey(210, 210, 210);
// Below this many device pixels a line of text cannot be read: it is drawn as a grey bar instead,
// which keeps a screen full of small thumbnails quick to draw.
constexpr double kSmallestReadableText = 4.0;
// The width of an average character of the report font, for those bars.
constexpr int kAverageCharWidth = 70;
}  // namespace

void paintPage(QPainter& painter, const PageDrawing& page, const QRectF& target, const QRectF& visible) {
    const PaperSize paper = page.paper();
    if (paper.width <= 0 || paper.height <= 0 || target.isEmpty())
        return;
    painter.save();
    painter.fillRect(target, Qt::white);
    const double sx = target.width() / paper.width;
    const double sy = target.height() / paper.height;
    painter.translate(target.topLeft());
    painter.scale(sx, sy);
    // What is visible, in thousandths of an inch, with a line's height to spare for texts.
    double top = 0, bottom = paper.height;
    if (!visible.isEmpty()) {
        top = (visible.top() - target.top()) / sy - 300;
        bottom = (visible.bottom() - target.top()) / sy + 300;
    }
    QPen pen(Qt::black, 10);
    if (10 * std::min(sx, sy) < 1)
        pen = QPen(Qt::black, 0);  // a hair line where 0.01 inch is no pixel
    painter.setPen(pen);
    const bool greek = reportQFont(ReportFont::kNormal).pixelSize() * sy < kSmallestReadableText;
    int currentFont = -1;
    for (const PageDrawing::Op& op : page.ops()) {
        if (op.kind == PageDrawing::Op::kText) {
            if (op.y < top || op.y > bottom)
                continue;
            const std::string_view text = page.textOf(op);
            if (greek) {
                painter.fillRect(QRectF(op.x, op.y - 90, double(text.size()) * kAverageCharWidth, 80), Qt::gray);
                continue;
            }
            if (int(op.font) != currentFont) {
                painter.setFont(reportQFont(op.font));
                currentFont = int(op.font);
            }
            painter.drawText(QPointF(op.x, op.y), QString::fromUtf8(text.data(), qsizetype(text.size())));
        } else {
            if (op.y > bottom || op.y + op.height < top)
                continue;
            const QRectF r(op.x, op.y, op.width, op.height);
            if (op.kind == PageDrawing::Op::kFilledBox)
                painter.fillRect(r, kHeadingGrey);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(r);
        }
    }
    painter.restore();
}

// ---- page image controls --------------------------------------------------------------------------

namespace {

class PageWidget : public QWidget {
public:
    PageWidget(QWidget* parent, const ReportPages& pages, bool framed)
        : QWidget(parent), m_pages(pages), m_framed(framed) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    int page = 0;
    WindowPrivate* owner = nullptr;
    int number = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        const QRectF all(rect());
        if (page < 1 || size_t(page) > m_pages.size()) {
            p.fillRect(all, palette().window());
            return;
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        paintPage(p, m_pages[size_t(page - 1)], all, QRectF(event->rect()));
        if (m_framed) {
            p.setPen(palette().color(QPalette::Dark));
            p.drawRect(all.adjusted(0, 0, -1, -1));
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && owner && owner->open)
            owner->push({runtime::kEventAccepted, number, 0, 0});
        QWidget::mousePressEvent(event);
    }

private:
    const ReportPages& m_pages;
    bool m_framed;
};

class PageScrollArea : public QScrollArea {
public:
    PageScrollArea(QWidget* parent, PageWidget* page) : QScrollArea(parent), m_page(page) {
        setWidget(page);
        setWidgetResizable(false);
        setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        setBackgroundRole(QPalette::Dark);
    }
    PageWidget* page() const { return m_page; }

private:
    PageWidget* m_page;
};

PageWidget* pageWidgetOf(const Window& window, int control) {
    QWidget* w = window.internals()->widgetOf(control);
    if (auto* area = dynamic_cast<PageScrollArea*>(w))
        return area->page();
    return dynamic_cast<PageWidget*>(w);
}

PageScrollArea* scrollAreaOf(const Window& window, int control) {
    return dynamic_cast<PageScrollArea*>(window.internals()->widgetOf(control));
}

}  // namespace

int createPageImage(Window& window, const ReportPages& pages, PageImageKind kind) {
    WindowPrivate* d = window.internals();
    if (!d->client)
        return 0;
    const int number = int(d->controls.size()) + 1;
    auto* page = new PageWidget(nullptr, pages, kind == PageImageKind::kFramed);
    page->owner = d;
    page->number = number;
    QWidget* control = page;
    if (kind == PageImageKind::kScrolled) {
        auto* area = new PageScrollArea(d->client, page);
        area->viewport()->installEventFilter(d->alertFilter);
        control = area;
    } else {
        page->setParent(d->client);
    }
    page->installEventFilter(d->alertFilter);
    control->installEventFilter(d->alertFilter);
    control->setFocusPolicy(Qt::ClickFocus);
    control->hide();
    ControlDef def;
    def.kind = ControlKind::kImage;
    def.hidden = true;
    d->def.controls.push_back(def);
    d->controls.emplace_back(control);
    d->entryEdited.push_back(false);
    d->hiddenByProcedure.push_back(true);
    return number;
}

void removePageImage(Window& window, int control) {
    WindowPrivate* d = window.internals();
    if (!pageWidgetOf(window, control))
        return;
    QWidget* w = d->widgetOf(control);
    d->controls[size_t(control - 1)] = nullptr;
    w->hide();
    w->deleteLater();
}

void showPage(Window& window, int control, int page) {
    if (PageWidget* w = pageWidgetOf(window, control)) {
        if (w->page == page)
            return;
        w->page = page;
        w->update();
        // Another page is read from its top.
        if (PageScrollArea* area = scrollAreaOf(window, control)) {
            area->verticalScrollBar()->setValue(0);
            area->horizontalScrollBar()->setValue(0);
        }
    }
}

int shownPage(const Window& window, int control) {
    PageWidget* w = pageWidgetOf(window, control);
    return w ? w->page : 0;
}

void setPageSize(Window& window, int control, int width, int height) {
    if (PageScrollArea* area = scrollAreaOf(window, control))
        area->page()->resize(std::max(1, width), std::max(1, height));
}

PixelSize pageSize(const Window& window, int control) {
    PageWidget* w = pageWidgetOf(window, control);
    return w ? PixelSize{w->width(), w->height()} : PixelSize{};
}

void setHorizontalScrollBar(Window& window, int control, bool on) {
    if (PageScrollArea* area = scrollAreaOf(window, control))
        area->setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

int widthBesideScrollBar(const Window& window, int control) {
    PageScrollArea* area = scrollAreaOf(window, control);
    if (!area)
        return 0;
    return std::max(1, area->width() - 2 * area->frameWidth() - area->verticalScrollBar()->sizeHint().width());
}

double screenPixelsPerInch(const Window& window) {
    const WindowPrivate* d = window.internals();
    const QWidget* w = d->client ? static_cast<QWidget*>(d->client) : static_cast<QWidget*>(d->frame);
    return w ? double(w->logicalDpiX()) : 96.0;
}

}  // namespace sitedex::ui
