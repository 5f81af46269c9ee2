#include "app/maintenance/browse.h"

#include <algorithm>
#include <locale.h>
#include <stdexcept>
#include <wctype.h>

#include "app/maintenance/browse_marks.h"
#include "app/maintenance/integrity.h"
#include "data/access.h"
#include "data/field_binding.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/expressions.h"
#include "runtime/pictures.h"
#include "runtime/procedures.h"

namespace sitedex::app::maintenance {

using namespace runtime;

namespace {
constexpr int32_t kEndOfFile = 33;

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// The upper-case form of a letter of any script (the first-letter locator compares letters so); the
// letter itself when it has none.
char32_t upperLetter(char32_t c) {
    if (c < 128) return char32_t(upperAscii(char(c)));
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return utf8 ? char32_t(towupper_l(wint_t(c), utf8)) : c;
}

std::string utf8Of(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xF0 | (c >> 18));
        s += char(0x80 | ((c >> 12) & 0x3F));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

// The first character of UTF-8 text (a byte that starts no character stands for itself).
char32_t firstCharacter(std::string_view s) {
    if (s.empty()) return 0;
    const unsigned char b = (unsigned char)s[0];
    const int length = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (b < 0x80 || length > int(s.size())) return b;
    char32_t c = length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = (unsigned char)s[size_t(i)];
        if ((next & 0xC0) != 0x80) return b;
        c = (c << 6) | (next & 0x3F);
    }
    return c;
}

std::string upperText(std::string s) {
    for (char& c : s) c = upperAscii(c);
    return s;
}

bool isNumeric(const data::FieldDecl& f) {
    return f.type != data::kTypeString && f.type != data::kTypeCString && f.type != data::kTypePString &&
           f.type != data::kTypeGroup;
}
}  // namespace

// ---- construction -----------------------------------------------------------------------------

BrowseEngine::ResolvedField BrowseEngine::resolve(const std::string& name, size_t memoLimit) const {
    // The browsed file's own names first: another declaration may share its prefix (an import source).
    data::FieldRef ref;
    if (m_desc.file) {
        if (const data::FieldDecl* f = m_desc.file->findField(name)) {
            ref.file = m_desc.file;
            ref.field = f;
        } else if (int memo = m_desc.file->findMemo(name); memo >= 0) {
            ref.file = m_desc.file;
            ref.memo = memo;
        }
    }
    if (!ref) ref = data::findField(name);
    if (!ref) throw std::invalid_argument("browse: unknown field " + name);
    ResolvedField f;
    f.file = ref.file;
    f.field = ref.field;
    f.memo = ref.memo;
    f.memoLimit = memoLimit;
    return f;
}

BrowseEngine::BrowseEngine(BrowseDescription description, ListHost& host, int openingRequest)
    : m_desc(std::move(description)), m_host(host), m_view(*m_desc.file), m_openingRequest(openingRequest),
      m_localResponse(ResponseCancelled) {
    if (!m_desc.file) throw std::invalid_argument("browse: no file");
    if (m_desc.orders.empty()) throw std::invalid_argument("browse: no sort order");
    for (const RowField& r : m_desc.row) m_rowFields.push_back(resolve(r.name, r.memoLimit));
    data::bindFields(*m_desc.file);
    for (const SortOrderDescription& d : m_desc.orders) {
        auto o = std::make_unique<Order>();
        o->desc = d;
        o->key = m_desc.file->findKey(d.key);
        if (!o->key) throw std::invalid_argument("browse: unknown key " + d.key);
        o->saved.resize(d.resetFields.size());
        for (size_t i = 0; i < d.resetFields.size(); ++i) {
            ResolvedField f = resolve(d.resetFields[i].field);
            if (f.file != m_desc.file) data::bindFields(*f.file);
            o->resetFields.push_back(f);
            // The saved copy is what the filter compares with: it is bound under its own name.
            bindVariable(d.resetFields[i].savedName, variableOf(&o->saved[i]));
        }
        if (!d.locator.empty()) o->locator = resolve(d.locator);
        for (const std::string& c : d.locatorClears) o->clears.push_back(resolve(c));
        if (d.distribution != Distribution::kNone) {
            const std::string& name = d.distributionField.empty() ? d.locator : d.distributionField;
            o->distributionField = resolve(name);
            if (!o->distributionField.field) throw std::invalid_argument("browse: distribution on a memo");
        }
        m_orders.push_back(std::move(o));
    }
}

BrowseEngine::~BrowseEngine() = default;

const std::array<std::string, 100>& BrowseEngine::stringMarks(int order) const {
    return m_orders.at(size_t(order - 1))->stringMarks;
}
const std::array<double, 100>& BrowseEngine::numericMarks(int order) const {
    return m_orders.at(size_t(order - 1))->numericMarks;
}

// ---- rows -------------------------------------------------------------------------------------

std::string BrowseEngine::fieldText(const ResolvedField& f) const {
    if (!f.file) return {};
    if (f.field) return data::getString(*f.field, f.file->record());
    return f.file->memo(size_t(f.memo));
}

BrowseEngine::Row BrowseEngine::makeRow() {
    Row row;
    row.values.reserve(m_rowFields.size());
    for (const ResolvedField& f : m_rowFields) {
        if (f.field) {
            row.values.emplace_back(f.file->record() + f.field->offset, f.field->size);
        } else {
            std::string memo = f.file->memo(size_t(f.memo));
            if (f.memoLimit && memo.size() > f.memoLimit) memo = std::string(data::utf8Prefix(memo, f.memoLimit));
            row.values.push_back(std::move(memo));
        }
    }
    row.position = m_view.position();
    return row;
}

void BrowseEngine::loadRow(int row) {
    if (row < 1 || row > rowCount()) return;
    const Row& r = m_rows[size_t(row - 1)];
    for (size_t i = 0; i < m_rowFields.size(); ++i) {
        const ResolvedField& f = m_rowFields[i];
        if (f.field)
            std::copy(r.values[i].begin(), r.values[i].end(), f.file->record() + f.field->offset);
        else
            f.file->memo(size_t(f.memo)) = r.values[i];
    }
}

std::vector<std::string> BrowseEngine::displayValues(const Row& row) const {
    std::vector<std::string> out;
    out.reserve(row.values.size());
    for (size_t i = 0; i < m_rowFields.size(); ++i) {
        const ResolvedField& f = m_rowFields[i];
        if (!f.field) {
            out.push_back(row.values[i]);
            continue;
        }
        data::FieldDecl at = *f.field;
        at.offset = 0;  // the row holds the field's bytes alone
        out.push_back(isNumeric(at) ? numberText(data::getNumber(at, row.values[i].data()))
                                    : data::getString(at, row.values[i].data()));
    }
    return out;
}

void BrowseEngine::emptyQueue() { m_rows.clear(); }

void BrowseEngine::show() {
    std::vector<std::vector<std::string>> shown;
    shown.reserve(m_rows.size());
    for (const Row& r : m_rows) shown.push_back(displayValues(r));
    m_host.showRows(shown, m_currentRow);
}

void BrowseEngine::readError() {
    data::ShowWarning(35, m_desc.file->label());
    m_host.postCloseWindow();
    m_closing = true;
}

// ---- the view ---------------------------------------------------------------------------------

bool BrowseEngine::resetView() {
    Order& o = order();
    m_view.setOrder(o.key);
    if (!o.filterCompiled) {
        o.filterCompiled = true;
        if (!o.desc.filter.empty()) {
            o.filter = compileExpression(o.desc.filter);
            if (!o.filter) data::ShowWarning(36);
        }
    }
    m_view.setFilter(o.filter.get());
    if (m_view.seekToStart() != 0) {
        data::ShowWarning(36);
        return false;
    }
    return true;
}

int32_t BrowseEngine::readView(bool forward) {
    ++m_reads;
    return forward ? m_view.next() : m_view.previous();
}

int BrowseEngine::fill(int count, bool forward) {
    m_rowsToFill = count;
    std::string boundary;
    if (!m_rows.empty()) {
        boundary = forward ? m_rows.back().position : m_rows.front().position;
        m_view.seekToPosition(boundary);
        m_skipFirst = true;
    } else {
        m_skipFirst = false;
    }
    const int page = std::max(1, m_host.visibleRows());
    while (m_rowsToFill != 0 && !m_closing) {
        int32_t e = readView(forward);
        if (e == kEndOfFile) break;
        if (e != 0) {
            readError();
            break;
        }
        if (m_skipFirst) {
            m_skipFirst = false;
            if (m_view.position() == boundary) continue;
        }
        if (m_addToQueue) {
            if (rowCount() >= page) {
                if (forward)
                    m_rows.pop_front();
                else
                    m_rows.pop_back();
            }
            if (forward)
                m_rows.push_back(makeRow());
            else
                m_rows.push_front(makeRow());
        }
        --m_rowsToFill;
    }
    m_addToQueue = true;
    return m_rowsToFill;
}

// ---- refreshing the page ----------------------------------------------------------------------

void BrowseEngine::refreshPage(RefreshMode mode) {
    m_host.setWaitCursor(true);
    const int page = std::max(1, m_host.visibleRows());
    if (mode == kOnPosition) {
        m_highlightedPosition = m_view.position();
        m_view.seekToPosition(m_highlightedPosition);
    } else if (!m_rows.empty()) {
        int at = m_currentRow >= 1 && m_currentRow <= rowCount() ? m_currentRow : rowCount();
        m_highlightedPosition = m_rows[size_t(at - 1)].position;
        m_view.seekToPosition(m_rows.front().position);
    } else {
        m_highlightedPosition.clear();
        resetView();
    }
    emptyQueue();
    int missing = fill(page, mode != kAtBottom);
    if (!m_highlightedPosition.empty() && missing > 0 && !m_closing) {
        if (m_rows.empty()) resetView();
        fill(missing, mode == kAtBottom);
    }
    const bool updates = m_desc.hasUpdate;
    if (!m_rows.empty()) {
        m_currentRow = 0;
        if (!m_highlightedPosition.empty()) {
            for (int i = 0; i < rowCount() && !m_currentRow; ++i)
                if (m_rows[size_t(i)].position == m_highlightedPosition) m_currentRow = i + 1;
            if (!m_currentRow) m_currentRow = rowCount();
        } else {
            m_currentRow = mode == kAtBottom ? rowCount() : 1;
        }
        m_host.setSelectedRow(m_currentRow);
        loadRow(m_currentRow);
        if (updates) {
            m_host.enableButton(BrowseButton::kChange, true);
            m_host.enableButton(BrowseButton::kDelete, true);
        }
    } else {
        m_desc.file->clear();
        m_currentRow = 0;
        m_host.setSelectedRow(0);
        if (updates) {
            m_host.enableButton(BrowseButton::kChange, false);
            m_host.enableButton(BrowseButton::kDelete, false);
        }
    }
    show();
    m_host.setWaitCursor(false);
}

void BrowseEngine::locate(LocateMode mode) {
    if (mode == kLocateOnPosition) mode = kLocateOnEdit;
    Order& o = order();
    // The view takes the order and filter as a reset would, then starts at the record or the value.
    resetView();
    int32_t e;
    if (mode == kLocateOnEdit) {
        m_highlightedPosition = data::position(*o.key);
        e = m_view.seekToPosition(m_highlightedPosition);
    } else {
        e = m_view.seekToKeyValue();
    }
    if (e != 0) data::ShowWarning(36);
    emptyQueue();
    m_addToQueue = false;
    int missing = fill(1, true);
    if (m_closing) return;
    refreshPage(missing ? kAtBottom : kOnPosition);
    postNewSelection();
}

void BrowseEngine::locateOnValue() { locate(kLocateOnValue); }

// ---- sort orders and the thumb ----------------------------------------------------------------

bool BrowseEngine::resetFieldsChanged(const Order& o) const {
    for (size_t i = 0; i < o.resetFields.size(); ++i)
        if (compareText(fieldText(o.resetFields[i]), o.saved[i]) != 0) return true;
    return false;
}

void BrowseEngine::saveResetFields(Order& o) {
    for (size_t i = 0; i < o.resetFields.size(); ++i) o.saved[i] = fieldText(o.resetFields[i]);
}

void BrowseEngine::selectSortOrder() {
    m_lastSortOrder = m_sortOrder;
    m_changed = false;
    int chosen = m_desc.chooseOrder ? m_desc.chooseOrder() : 1;
    if (chosen < 1 || chosen > int(m_orders.size())) chosen = 1;
    if (chosen == m_lastSortOrder && resetFieldsChanged(order())) m_changed = true;
    if (chosen == m_lastSortOrder && !m_changed && !m_forceRefresh) {
        loadRow(m_currentRow);
        return;
    }
    // The highlighted record is read through the old order before the view takes the new one.
    getRecord();
    m_sortOrder = chosen;
    saveResetFields(order());
    resetView();
    if (m_lastSortOrder == 0) {
        if (m_openingRequest == RequestSelect) {
            locate(kLocateOnValue);
        } else {
            emptyQueue();
            refreshPage(kFromCurrent);
        }
    } else if (m_changed) {
        emptyQueue();
        refreshPage(kFromCurrent);
    } else {
        locate(kLocateOnValue);
    }
    if (m_closing) return;
    buildDistribution();
    // The distribution's reads pass through the record buffer: put the highlighted record back.
    loadRow(m_currentRow);
}

void BrowseEngine::buildDistribution() {
    Order& o = order();
    if (o.desc.distribution == Distribution::kNone || m_closing) return;
    const ResolvedField& f = o.distributionField;
    resetView();
    int32_t e = readView(false);
    if (e == kEndOfFile) return;
    if (e != 0) return readError();
    std::string highText = fieldText(f);
    double high = data::getNumber(*f.field, f.file->record());
    resetView();
    e = readView(true);
    if (e == kEndOfFile) return;
    if (e != 0) return readError();
    std::string lowText = fieldText(f);
    double low = data::getNumber(*f.field, f.file->record());
    if (o.desc.distribution == Distribution::kString) {
        StringMarks marks;
        int length = o.desc.distributionLength > 0 ? o.desc.distributionLength : int(f.field->size);
        marks.setup(lowText, highText, length, kMarkLetters, 1);
        for (int i = 0; i < 100; ++i) o.stringMarks[size_t(i)] = marks.next();
        o.markLength = marks.significant();
    } else {
        for (int i = 0; i < 100; ++i) o.numericMarks[size_t(i)] = numericMark(low, high, i + 1);
    }
}

void BrowseEngine::refresh() {
    if (m_validatingAll || m_closing) return;
    selectSortOrder();
    if (m_closing) return;
    m_host.setThumb(std::min(m_thumb, 100));
    show();
    m_forceRefresh = false;
}

int32_t BrowseEngine::getRecord() {
    if (m_rows.empty()) return 0;
    int at = m_host.selectedRow();
    if (at < 1 || at > rowCount()) at = m_currentRow >= 1 && m_currentRow <= rowCount() ? m_currentRow : rowCount();
    m_view.watch();
    ++m_reads;
    return m_view.reget(m_rows[size_t(at - 1)].position);
}

bool BrowseEngine::readHighlighted() {
    if (m_rows.empty() || m_closing) return false;
    const int32_t e = getRecord();
    if (e == 0) return true;
    if (!recordGone(e)) {
        readError();
        return false;
    }
    ShowRecordGone();
    const int row = m_host.selectedRow();
    refreshPage(kInPlace);
    if (m_closing) return false;
    // The record that took the gone one's place is highlighted, not the last of the page.
    if (row >= 1 && !m_rows.empty()) {
        m_currentRow = std::min(row, rowCount());
        m_host.setSelectedRow(m_currentRow);
        show();
    }
    buildDistribution();
    loadRow(m_currentRow);
    postNewSelection();
    return false;
}

// ---- list events ------------------------------------------------------------------------------

void BrowseEngine::postNewSelection() {
    if (m_newSelectionPosted) return;
    m_newSelectionPosted = true;
    m_host.postToList(kEventNewSelection);
}

void BrowseEngine::listEvent(int event) {
    if (m_closing) return;
    switch (event) {
        case kEventNewSelection: newSelection(); break;
        case kEventScrollUp:
        case kEventScrollDown:
        case kEventPageUp:
        case kEventPageDown:
        case kEventScrollTop:
        case kEventScrollBottom: scroll(event); break;
        case kEventScrollDrag: thumbDrag(); break;
        case kEventAlertKey: alertKey(); break;
        default: break;
    }
}

void BrowseEngine::scroll(int event) {
    if (m_rows.empty()) return;
    const int page = std::max(1, m_host.visibleRows());
    switch (event) {
        case kEventScrollUp:
            if (m_currentRow > 1)
                --m_currentRow;
            else
                fill(1, false);
            break;
        case kEventScrollDown:
            if (m_currentRow < rowCount())
                ++m_currentRow;
            else
                fill(1, true);
            break;
        case kEventPageUp: {
            int missing = fill(page, false);
            if (missing) m_currentRow = std::max(1, m_currentRow - missing);
            break;
        }
        case kEventPageDown: {
            int missing = fill(page, true);
            if (missing) m_currentRow = std::min(rowCount(), m_currentRow + missing);
            break;
        }
        case kEventScrollTop:
        case kEventScrollBottom:
            emptyQueue();
            resetView();
            fill(page, event == kEventScrollTop);
            m_currentRow = event == kEventScrollTop ? 1 : rowCount();
            break;
    }
    m_currentRow = std::min(std::max(m_currentRow, m_rows.empty() ? 0 : 1), rowCount());
    m_host.setSelectedRow(m_currentRow);
    show();
    postNewSelection();
}

void BrowseEngine::newSelection() {
    m_newSelectionPosted = false;
    if (keyCode() == kMouseRight) {
        // The menu answers this click once; later selections are not right clicks any more.
        setKeyCode(0);
        // The row clicked is the highlighted one from now on: what the menu starts acts on it, and
        // a page rebuilt afterwards keeps it.
        const int selected = m_host.selectedRow();
        if (selected >= 1 && selected <= rowCount()) {
            m_currentRow = selected;
            loadRow(m_currentRow);
        }
        contextMenu();
        return;
    }
    if (m_rows.empty()) {
        refresh();
        return;
    }
    int selected = m_host.selectedRow();
    m_currentRow = selected >= 1 && selected <= rowCount() ? selected : std::min(std::max(m_currentRow, 1), rowCount());
    loadRow(m_currentRow);
    const int page = std::max(1, m_host.visibleRows());
    if (rowCount() >= page) {
        if (!m_host.scrollBarShown()) m_host.showScrollBar(true);
        Order& o = order();
        const ResolvedField& f = o.distributionField;
        if (o.desc.distribution == Distribution::kString) {
            // Only the characters the marks carry count: a longer first key would otherwise sort
            // after mark 1 and never give the thumb its top position.
            std::string key = upperText(fieldText(f)).substr(0, o.markLength);
            int i = 1;
            while (i <= 100 && compareText(o.stringMarks[size_t(i - 1)], key) < 0) ++i;
            m_thumb = i <= 1 ? 0 : i;
        } else if (o.desc.distribution == Distribution::kNumeric) {
            double value = data::getNumber(*f.field, f.file->record());
            int i = 100;
            while (i >= 1 && o.numericMarks[size_t(i - 1)] < value) --i;
            m_thumb = i <= 1 ? 0 : i;
        }
    } else if (m_host.scrollBarShown()) {
        m_host.showScrollBar(false);
    }
    refresh();
}

void BrowseEngine::thumbDrag() {
    int at = m_host.thumb();
    if (at <= 1) {
        m_host.postToList(kEventScrollTop);
        return;
    }
    if (at >= 100) {
        m_host.postToList(kEventScrollBottom);
        return;
    }
    Order& o = order();
    if (o.desc.distribution == Distribution::kNone) return;
    const ResolvedField& f = o.distributionField;
    for (const ResolvedField& c : o.clears)
        if (c.field) data::setString(*c.field, c.file->record(), "");
    if (o.desc.primeLocate) o.desc.primeLocate();
    if (o.desc.distribution == Distribution::kString)
        data::setString(*f.field, f.file->record(), o.stringMarks[size_t(at - 1)]);
    else
        data::setNumber(*f.field, f.file->record(), o.numericMarks[size_t(at - 1)]);
    locate(kLocateOnValue);
}

void BrowseEngine::alertKey() {
    const int code = keyCode();
    const bool selecting = m_openingRequest == RequestSelect && m_desc.hasSelect;
    if (code == kMouseLeft2) {
        if (selecting)
            m_host.postAccepted(BrowseButton::kSelect);
        else if (m_desc.hasUpdate && !m_rows.empty())
            m_host.postAccepted(BrowseButton::kChange);
        else
            postNewSelection();
        return;
    }
    if (code == kInsertKey) {
        if (m_desc.hasUpdate) m_host.postAccepted(BrowseButton::kInsert);
        return;
    }
    if (code == kDeleteKey) {
        if (m_desc.hasUpdate && !m_rows.empty()) m_host.postAccepted(BrowseButton::kDelete);
        return;
    }
    if (code == kCtrlEnter) {
        if (m_desc.hasUpdate && !m_rows.empty()) m_host.postAccepted(BrowseButton::kChange);
        return;
    }
    locator();
}

void BrowseEngine::locator() {
    const int c = keyChar();
    if (c <= 0 || c > 0x10FFFF || m_rows.empty()) return;
    Order& o = order();
    const ResolvedField& f = o.locator;
    if (!f.file || !f.field) return;
    // Letters of every script, compared without regard to case ("в" finds "Википедия").
    const char32_t typed = upperLetter(char32_t(c));
    auto firstMatches = [&] {
        std::string text = fieldText(f);
        return !text.empty() && upperLetter(firstCharacter(text)) == typed;
    };
    loadRow(m_currentRow);
    if (firstMatches()) {
        const int before = m_currentRow;
        const int rowsBefore = rowCount();
        const std::string lastBefore = m_rows.back().position;
        if (m_currentRow < rowCount()) {
            ++m_currentRow;
        } else {
            fill(1, true);
        }
        loadRow(m_currentRow);
        const bool moved = m_currentRow != before || rowCount() != rowsBefore || m_rows.back().position != lastBefore;
        if (moved && firstMatches()) {
            m_host.setSelectedRow(m_currentRow);
            show();
            postNewSelection();
            return;
        }
    }
    auto locateOn = [&](const std::string& text) {
        for (const ResolvedField& clear : o.clears)
            if (clear.field) data::setString(*clear.field, clear.file->record(), "");
        if (o.desc.primeLocate) o.desc.primeLocate();
        if (isNumeric(*f.field))
            data::setNumber(*f.field, f.file->record(), leadingNumber(text));
        else
            data::setString(*f.field, f.file->record(), text);
        locate(kLocateOnValue);
    };
    // The keys fold ASCII letters only: other scripts' capitals sort apart from their small
    // letters, so the capital is looked for first and, when no record starts with it, the letter as
    // typed.
    const std::string upper = utf8Of(typed), asTyped = utf8Of(char32_t(c));
    locateOn(upper);
    if (!m_closing && upper != asTyped && !isNumeric(*f.field) && !firstMatches()) locateOn(asTyped);
}

void BrowseEngine::contextMenu() {
    const bool rows = !m_rows.empty();
    if (m_desc.hasUpdate) {
        int item = m_host.popupMenu(rows ? "&Insert|&Change|&Delete" : "&Insert|~&Change|~&Delete");
        if (item == 1) m_host.postAccepted(BrowseButton::kInsert);
        if (item == 2 && rows) m_host.postAccepted(BrowseButton::kChange);
        if (item == 3 && rows) m_host.postAccepted(BrowseButton::kDelete);
    } else if (m_desc.hasSelect) {
        const bool can = rows && m_openingRequest == RequestSelect;
        int item = m_host.popupMenu(can ? "&Select" : "~&Select");
        if (item == 1 && can) m_host.postAccepted(BrowseButton::kSelect);
    }
}

// ---- window events and buttons ----------------------------------------------------------------

void BrowseEngine::openWindow() {
    if (!m_opened) {
        m_opened = true;
        refresh();
        // The first page gets its scroll bar and thumb like any later selection.
        postNewSelection();
    }
    m_host.focusList();
}

void BrowseEngine::gainFocus() {
    m_forceRefresh = true;
    refresh();
}

void BrowseEngine::select() {
    if (!readHighlighted()) return;
    m_localResponse = ResponseCompleted;
    m_host.postCloseWindow();
}

int BrowseEngine::callUpdate(int request) {
    CallRequest() = request;
    CallResponse() = 0;
    if (m_desc.update) m_desc.update();
    int response = CallResponse();
    CallResponse() = 0;
    return response == ResponseCompleted ? ResponseCompleted : ResponseCancelled;
}

void BrowseEngine::insert() {
    if (!m_desc.hasUpdate || m_closing) return;
    m_desc.file->clear();
    if (m_desc.primeInsert) m_desc.primeInsert();
    afterUpdate(RequestInsert, callUpdate(RequestInsert));
}

void BrowseEngine::change() {
    if (!m_desc.hasUpdate) return;
    // The form edits what is on file now, with the watch armed against other windows' changes.
    if (!readHighlighted()) return;
    afterUpdate(RequestChange, callUpdate(RequestChange));
}

void BrowseEngine::remove() {
    if (!m_desc.hasUpdate || !readHighlighted()) return;
    int response = callUpdate(RequestDelete);
    if (response == ResponseCompleted) {
        int at = m_currentRow >= 1 && m_currentRow <= rowCount() ? m_currentRow : rowCount();
        m_rows.erase(m_rows.begin() + (at - 1));
    }
    afterUpdate(RequestDelete, response);
}

void BrowseEngine::afterUpdate(int request, int response) {
    resetView();
    if ((request == RequestInsert || request == RequestChange) && response == ResponseCompleted)
        locate(kLocateOnEdit);
    else
        refreshPage(kInPlace);
    if (m_closing) return;
    buildDistribution();
    loadRow(m_currentRow);
    postNewSelection();
    m_host.focusList();
    m_localResponse = ResponseCancelled;
    refresh();
}

}  // namespace sitedex::app::maintenance
