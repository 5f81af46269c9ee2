// The list box widget: a table view over exactly the rows its procedure supplies, a header laid out
// by the list format, and a scroll bar of its own whose thumb only the procedure moves.
#include "ui/list_box.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "runtime/events.h"
#include "runtime/pictures.h"
#include "ui/list_format.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using namespace runtime;

namespace {

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

Qt::Alignment alignmentOf(char a) {
    switch (a) {
        case 'R':
        case 'D': return Qt::AlignRight | Qt::AlignVCenter;
        case 'C': return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

bool isNumberPicture(const std::string& p) {
    if (p.size() < 2) return false;
    char k = char(std::toupper((unsigned char)p[1]));
    return k == 'N' || k == 'E';
}

// The picture's text without its padding: trailing blanks draw nothing and would only widen the
// text the accessibility layer and the tests read.
std::string formatCell(const std::string& picture, const std::string& value) {
    std::string s = picture.empty()              ? value
                    : isNumberPicture(picture) ? runtime::format(picture, runtime::leadingNumber(value))
                                               : runtime::format(picture, value);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

class ListModel : public QAbstractTableModel {
public:
    std::vector<ListColumn> columns;
    std::vector<std::vector<QString>> cells;  // formatted

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(cells.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(columns.size()); }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || size_t(index.row()) >= cells.size() || size_t(index.column()) >= columns.size())
            return {};
        if (role == Qt::DisplayRole) {
            const auto& row = cells[size_t(index.row())];
            return size_t(index.column()) < row.size() ? row[size_t(index.column())] : QString();
        }
        if (role == Qt::TextAlignmentRole) return QVariant::fromValue(alignmentOf(columns[size_t(index.column())].align));
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || size_t(section) >= columns.size()) return {};
        const ListColumn& c = columns[size_t(section)];
        if (role == Qt::DisplayRole) {
            int indent = c.headerAlign ? c.headerIndent : c.indent;
            return QString(std::max(0, indent / 2), ' ') + qs(c.header);
        }
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(alignmentOf(c.headerAlign ? c.headerAlign : c.align));
        return {};
    }
    void setColumns(std::vector<ListColumn> c) {
        beginResetModel();
        columns = std::move(c);
        endResetModel();
    }
    void reset(std::vector<std::vector<QString>> rows) {
        beginResetModel();
        cells = std::move(rows);
        endResetModel();
    }
};

// Indents and the column lines of the format.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(ListModel* model, QObject* parent) : QStyledItemDelegate(parent), m_model(model) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        const ListColumn* c = size_t(index.column()) < m_model->columns.size() ? &m_model->columns[size_t(index.column())]
                                                                                : nullptr;
        const int indent = c ? dialogUnitsToPixelsX(c->indent) : 0;
        if (c && (c->align == 'L' || c->align == 'C')) o.rect.adjust(indent, 0, 0, 0);
        if (c && (c->align == 'R' || c->align == 'D')) o.rect.adjust(0, 0, -indent, 0);
        // The selection colours fill the whole cell, not only the indented part.
        if (o.state & QStyle::State_Selected) painter->fillRect(option.rect, option.palette.highlight());
        QStyledItemDelegate::paint(painter, o, index);
        if (c && c->rightBorder) {
            painter->save();
            painter->setPen(option.palette.color(QPalette::Mid));
            painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
            painter->restore();
        }
    }

private:
    ListModel* m_model;
};

class ListBoxWidget;

class PageView : public QTableView {
public:
    explicit PageView(ListBoxWidget* owner, QWidget* parent) : QTableView(parent), m_owner(owner) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    ListBoxWidget* m_owner;
};

class ListBoxWidget : public QWidget {
public:
    ListBoxWidget(WindowPrivate* owner, int number, QWidget* parent)
        : QWidget(parent), m_owner(owner), m_number(number) {
        m_view = new PageView(this, this);
        m_model = new ListModel;
        m_model->setParent(this);
        m_view->setModel(m_model);
        m_view->setItemDelegate(new CellDelegate(m_model, m_view));
        m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_view->setSelectionMode(QAbstractItemView::SingleSelection);
        m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Tab leaves the list; within it only the page's own keys move the highlight.
        m_view->setTabKeyNavigation(false);
        setFocusProxy(m_view);
        m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        m_view->setShowGrid(false);
        m_view->setWordWrap(false);
        m_view->setTextElideMode(Qt::ElideNone);
        m_view->verticalHeader()->hide();
        m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        m_view->verticalHeader()->setDefaultSectionSize(rowHeight());
        m_view->horizontalHeader()->setHighlightSections(false);
        m_view->horizontalHeader()->setStretchLastSection(false);
        m_view->horizontalHeader()->setMinimumSectionSize(2);
        m_bar = new QScrollBar(Qt::Vertical, this);
        m_bar->setRange(0, 100);
        m_bar->setPageStep(10);
        m_bar->hide();
        // The horizontal bar comes and goes with the columns' widths: the vertical one follows it.
        QObject::connect(m_view->horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] { layoutChildren(); });
        if (owner->alertFilter) {
            m_view->installEventFilter(owner->alertFilter);
            m_view->viewport()->installEventFilter(owner->alertFilter);
        }
        QObject::connect(m_bar, &QScrollBar::actionTriggered, this, [this](int action) { barAction(action); });
        QObject::connect(m_bar, &QScrollBar::sliderReleased, this, [this] {
            m_thumb = m_bar->value();
            raise(kEventScrollDrag, 0, 0);
        });
        setFormat(owner->def.controls.at(size_t(number - 1)).text);
    }

    int rowHeight() const { return fontMetrics().height() + 4; }

    // From the widget's own size, not the viewport's: the viewport follows a resize only once the
    // view has laid itself out again, and the procedure asks right after a Sized event.
    int visibleRows() const {
        int height = this->height() - m_view->horizontalHeader()->sizeHint().height() - 2 * m_view->frameWidth();
        int columns = 0;
        for (int i = 0; i < m_model->columnCount(); ++i) columns += m_view->horizontalHeader()->sectionSize(i);
        const int barWidth = m_bar->isHidden() ? 0 : m_bar->sizeHint().width();
        if (columns > width() - barWidth - 2 * m_view->frameWidth())
            height -= m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view);
        return std::max(1, height / rowHeight());
    }

    void setRows(const std::vector<std::vector<std::string>>& rows, int selected) {
        std::vector<std::vector<QString>> cells;
        const size_t shown = std::min(rows.size(), size_t(visibleRows()));
        for (size_t r = 0; r < shown; ++r) {
            std::vector<QString> row;
            for (size_t c = 0; c < rows[r].size() && c < m_model->columns.size(); ++c)
                row.push_back(qs(formatCell(m_model->columns[c].picture, rows[r][c])));
            cells.push_back(std::move(row));
        }
        m_model->reset(std::move(cells));
        setSelectedRow(selected);
    }

    int rowCount() const { return m_model->rowCount(); }
    int selectedRow() const { return m_selected; }
    void setSelectedRow(int row) {
        m_selected = row >= 1 && row <= rowCount() ? row : 0;
        // The view's current row follows the highlight, so that nothing of the view's own (focus
        // coming in by Tab, say) moves it elsewhere.
        QItemSelectionModel* selection = m_view->selectionModel();
        if (m_selected)
            selection->setCurrentIndex(m_model->index(m_selected - 1, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else
            selection->clear();
    }
    std::string cellText(int row, int column) const {
        if (row < 1 || row > rowCount() || column < 1 || column > m_model->columnCount()) return {};
        return m_model->data(m_model->index(row - 1, column - 1), Qt::DisplayRole).toString().toStdString();
    }

    bool scrollBarShown() const { return !m_bar->isHidden(); }
    void showScrollBar(bool shown) {
        m_bar->setVisible(shown);
        layoutChildren();
    }
    int thumb() const { return m_thumb; }
    void setThumb(int position) {
        m_thumb = std::clamp(position, 0, 100);
        QSignalBlocker block(m_bar);
        m_bar->setValue(m_thumb);
    }

    void setFormat(const std::string& format) {
        m_model->setColumns(parseListFormat(format));
        QHeaderView* header = m_view->horizontalHeader();
        for (size_t i = 0; i < m_model->columns.size(); ++i) {
            const ListColumn& c = m_model->columns[i];
            header->setSectionResizeMode(int(i), c.resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
            header->resizeSection(int(i), dialogUnitsToPixelsX(c.width));
        }
    }
    std::string format() const {
        std::vector<ListColumn> columns = m_model->columns;
        const double perUnit = dialogUnitsToPixelsX(1000) / 1000.0;
        for (size_t i = 0; i < columns.size(); ++i)
            columns[i].width = int(std::lround(m_view->horizontalHeader()->sectionSize(int(i)) / perUnit));
        return listFormatText(columns);
    }
    int columnCount() const { return m_model->columnCount(); }
    int columnWidth(int column) const { return m_view->horizontalHeader()->sectionSize(column - 1); }

    // A list event for the procedure, with the key that caused it.
    void raise(int event, int keyCode, int character) {
        if (m_owner) m_owner->push({event, m_number, keyCode, character});
    }

    // Moves the highlight within the page, or raises the edge's event.
    void step(int delta, int edgeEvent, int keyCode) {
        int target = m_selected + delta;
        if (rowCount() == 0 || target < 1 || target > rowCount()) {
            raise(edgeEvent, keyCode, 0);
            return;
        }
        setSelectedRow(target);
        raise(kEventNewSelection, keyCode, 0);
    }
    // A context menu asked for from the keyboard (Menu key, Shift+F10): it opens by the highlighted
    // row, as a right click on it would.
    // The Menu key arrives both as a key and as a context-menu request on some desktops (in either
    // order): one menu for the pair.
    enum class MenuAsk { kKey, kContextEvent };
    void menuAsked(MenuAsk how) {
        const bool pairsWithLast = m_lastAsk.isValid() && m_lastAsk.elapsed() < 500 && m_lastHow != how;
        m_lastHow = how;
        if (pairsWithLast) {
            m_lastAsk.invalidate();
            return;
        }
        m_lastAsk.start();
        keyboardMenu();
    }
    void keyboardMenu() {
        QRect at = m_selected ? m_view->visualRect(m_model->index(m_selected - 1, 0)) : QRect();
        QPoint corner = at.isValid() ? at.bottomLeft() : QPoint(0, 0);
        setNextPopupPosition(m_view->viewport()->mapToGlobal(corner));
        raise(kEventNewSelection, kMouseRight, 0);
    }
    void mouseMenu(QPoint global) { setNextPopupPosition(global); }

    bool handleKey(int code, int character) {
        switch (code) {
            case kUpKey: step(-1, kEventScrollUp, code); return true;
            case kDownKey: step(1, kEventScrollDown, code); return true;
            // Paging slides the page: the highlight keeps its row (the engine moves it only at the
            // ends of the data).
            case kPgUpKey: raise(kEventPageUp, code, 0); return true;
            case kPgDnKey: raise(kEventPageDown, code, 0); return true;
            case kShiftKey | (kF1Key + 9): keyboardMenu(); return true;  // Shift+F10
            case kHomeKey:
            case kCtrlKey | kHomeKey:
            case kCtrlKey | kPgUpKey: raise(kEventScrollTop, code, 0); return true;
            case kEndKey:
            case kCtrlKey | kEndKey:
            case kCtrlKey | kPgDnKey: raise(kEventScrollBottom, code, 0); return true;
            default: break;
        }
        if (character >= 32 && character != 127 && !(code & (kCtrlKey | kAltKey))) {
            raise(kEventAlertKey, code, character);
            return true;
        }
        return false;
    }

    void clickRow(int row, bool right) {
        if (row >= 1 && row <= rowCount()) setSelectedRow(row);
        raise(kEventNewSelection, right ? kMouseRight : kMouseLeft, 0);
    }

    QTableView* view() const { return m_view; }

protected:
    void resizeEvent(QResizeEvent*) override { layoutChildren(); }

private:
    void layoutChildren() {
        const int barWidth = m_bar->isHidden() ? 0 : m_bar->sizeHint().width();
        m_view->setGeometry(0, 0, width() - barWidth, height());
        const int top = m_view->horizontalHeader()->sizeHint().height() + m_view->frameWidth();
        // Beside the rows only: not beside the header, nor beside the horizontal scroll bar.
        int bottom = height() - m_view->frameWidth();
        if (m_view->horizontalScrollBar()->isVisible()) bottom -= m_view->horizontalScrollBar()->height();
        m_bar->setGeometry(width() - barWidth, top, barWidth, std::max(0, bottom - top));
    }

    void barAction(int action) {
        // The thumb shows where the highlighted record lies in the key order: only the procedure
        // moves it, so every action but a drag leaves it where it was.
        int event = 0;
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd: event = kEventScrollDown; break;
            case QAbstractSlider::SliderSingleStepSub: event = kEventScrollUp; break;
            case QAbstractSlider::SliderPageStepAdd: event = kEventPageDown; break;
            case QAbstractSlider::SliderPageStepSub: event = kEventPageUp; break;
            case QAbstractSlider::SliderToMinimum: event = kEventScrollTop; break;
            case QAbstractSlider::SliderToMaximum: event = kEventScrollBottom; break;
            default: return;
        }
        m_bar->setSliderPosition(m_thumb);
        raise(event, 0, 0);
    }

    WindowPrivate* m_owner;
    int m_number;
    PageView* m_view = nullptr;
    ListModel* m_model = nullptr;
    QScrollBar* m_bar = nullptr;
    int m_selected = 0;
    int m_thumb = 0;
    QElapsedTimer m_lastAsk;
    MenuAsk m_lastHow = MenuAsk::kKey;
};

void PageView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Menu && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        m_owner->menuAsked(ListBoxWidget::MenuAsk::kKey);
        return;
    }
    int code = keyCodeOf(event->key(), event->modifiers());
    int character = characterOf(event->text());
    if (!m_owner->handleKey(code, character)) QTableView::keyPressEvent(event);
}

void PageView::contextMenuEvent(QContextMenuEvent* event) {
    // A right click has asked already, on the press; the keyboard asks here on some desktops.
    if (event->reason() == QContextMenuEvent::Keyboard) m_owner->menuAsked(ListBoxWidget::MenuAsk::kContextEvent);
    event->accept();
}

void PageView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QModelIndex at = indexAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) m_owner->mouseMenu(event->globalPosition().toPoint());
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        m_owner->clickRow(at.isValid() ? at.row() + 1 : 0, event->button() == Qt::RightButton);
}

void PageView::mouseDoubleClickEvent(QMouseEvent* event) {
    // Unless the window alerts it (its filter takes it first), a double-click is a click.
    mousePressEvent(event);
}

void PageView::wheelEvent(QWheelEvent* event) {
    int notches = event->angleDelta().y() / 120;
    for (int i = 0; i < std::abs(notches); ++i)
        m_owner->step(notches > 0 ? -1 : 1, notches > 0 ? kEventScrollUp : kEventScrollDown, 0);
    event->accept();
}

ListBoxWidget* listOf(Window* window, int control) {
    if (!window) return nullptr;
    return dynamic_cast<ListBoxWidget*>(window->internals()->widgetOf(control));
}

}  // namespace

QWidget* makeListBox(WindowPrivate* owner, int number, QWidget* parent) { return new ListBoxWidget(owner, number, parent); }

// ---- ListControl ------------------------------------------------------------------------------

int ListControl::visibleRows() const {
    auto* l = listOf(m_window, m_control);
    return l ? l->visibleRows() : 1;
}
void ListControl::setRows(const std::vector<std::vector<std::string>>& rows, int selected) {
    if (auto* l = listOf(m_window, m_control)) l->setRows(rows, selected);
}
int ListControl::rowCount() const {
    auto* l = listOf(m_window, m_control);
    return l ? l->rowCount() : 0;
}
int ListControl::selectedRow() const {
    auto* l = listOf(m_window, m_control);
    return l ? l->selectedRow() : 0;
}
void ListControl::setSelectedRow(int row) {
    if (auto* l = listOf(m_window, m_control)) l->setSelectedRow(row);
}
std::string ListControl::cellText(int row, int column) const {
    auto* l = listOf(m_window, m_control);
    return l ? l->cellText(row, column) : std::string();
}
bool ListControl::scrollBarShown() const {
    auto* l = listOf(m_window, m_control);
    return l && l->scrollBarShown();
}
void ListControl::showScrollBar(bool shown) {
    if (auto* l = listOf(m_window, m_control)) l->showScrollBar(shown);
}
int ListControl::thumb() const {
    auto* l = listOf(m_window, m_control);
    return l ? l->thumb() : 0;
}
void ListControl::setThumb(int position) {
    if (auto* l = listOf(m_window, m_control)) l->setThumb(position);
}
std::string ListControl::format() const {
    auto* l = listOf(m_window, m_control);
    return l ? l->format() : std::string();
}
void ListControl::setFormat(const std::string& format) {
    if (auto* l = listOf(m_window, m_control)) l->setFormat(format);
}
int ListControl::columnCount() const {
    auto* l = listOf(m_window, m_control);
    return l ? l->columnCount() : 0;
}
int ListControl::columnWidthPixels(int column) const {
    auto* l = listOf(m_window, m_control);
    return l ? l->columnWidth(column) : 0;
}

void ListControl::pressKey(int keyCode, int character) {
    auto* l = listOf(m_window, m_control);
    if (!l) return;
    // As the user would: the window's alert keys first, then the list's own handling.
    const auto& alerts = m_window->definition().alertKeys;
    if (std::find(alerts.begin(), alerts.end(), keyCode) != alerts.end()) {
        l->raise(kEventAlertKey, keyCode, character);
        return;
    }
    l->handleKey(keyCode, character);
}
void ListControl::clickRow(int row, bool right) {
    if (auto* l = listOf(m_window, m_control)) l->clickRow(row, right);
}
void ListControl::dragThumb(int position) {
    auto* l = listOf(m_window, m_control);
    if (!l) return;
    l->setThumb(position);
    l->raise(kEventScrollDrag, 0, 0);
}

}  // namespace sitedex::ui
