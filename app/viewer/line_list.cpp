#include "app/viewer/line_list.h"

#include <algorithm>

#include "runtime/events.h"
#include "ui/list_box.h"
#include "ui/window.h"

namespace sitedex::app::viewer {

using namespace runtime;

LineList::LineList(ui::Window& window, int control, const std::vector<std::string>& lines)
    : m_window(window), m_control(control), m_lines(lines) {}

int LineList::visible() const {
    return ui::ListControl(m_window, m_control).visibleRows();
}

void LineList::scrollTo(int top) {
    const int count = int(m_lines.size());
    m_top = std::clamp(top, 1, std::max(1, count - visible() + 1));
}

void LineList::refresh() {
    const int count = int(m_lines.size());
    if (m_current > count)
        m_current = count;
    if (m_current == 0 && count > 0)
        m_current = 1;
    scrollTo(m_top);
    if (m_current > 0 && m_current < m_top)
        m_top = m_current;
    if (m_current >= m_top + visible())
        scrollTo(m_current - visible() + 1);
    std::vector<std::vector<std::string>> rows;
    for (int i = m_top; i <= count && i < m_top + visible(); ++i)
        rows.push_back({m_lines[size_t(i - 1)]});
    ui::ListControl list(m_window, m_control);
    list.setRows(rows, m_current > 0 ? m_current - m_top + 1 : 0);
    const bool more = count > visible();
    list.showScrollBar(more);
    const int range = std::max(1, count - visible());
    list.setThumb(more ? (m_top - 1) * 100 / range : 0);
}

void LineList::select(int line) {
    if (line < 1 || line > int(m_lines.size()))
        return;
    m_current = line;
    if (line < m_top || line >= m_top + visible())
        scrollTo(line - visible() / 2);
    refresh();
}

bool LineList::handleEvent() {
    if (eventControl() != m_control)
        return false;
    const int count = int(m_lines.size());
    const int page = std::max(1, visible() - 1);
    ui::ListControl list(m_window, m_control);
    switch (currentEvent()) {
        case kEventNewSelection:
            if (list.selectedRow() > 0)
                m_current = m_top + list.selectedRow() - 1;
            return true;
        case kEventScrollUp:
            m_current = std::max(1, m_current - 1);
            break;
        case kEventScrollDown:
            m_current = std::min(count, m_current + 1);
            break;
        case kEventPageUp:
            scrollTo(m_top - page);
            m_current = std::max(1, m_current - page);
            break;
        case kEventPageDown:
            scrollTo(m_top + page);
            m_current = std::min(count, m_current + page);
            break;
        case kEventScrollTop:
            m_current = 1;
            m_top = 1;
            break;
        case kEventScrollBottom:
            m_current = count;
            scrollTo(count);
            break;
        case kEventScrollDrag: {
            const int range = std::max(0, count - visible());
            scrollTo(1 + range * list.thumb() / 100);
            m_current = std::clamp(m_current, m_top, std::min(count, m_top + visible() - 1));
            break;
        }
        default:
            return false;
    }
    refresh();
    return true;
}

}  // namespace sitedex::app::viewer
