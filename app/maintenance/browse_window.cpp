#include "app/maintenance/browse_window.h"

#include "runtime/events.h"
#include "runtime/procedures.h"
#include "ui/message_box.h"

namespace sitedex::app::maintenance {

using namespace runtime;

BrowseList::BrowseList(ui::Window& window, BrowseControls controls, BrowseDescription description, int openingRequest)
    : m_window(window), m_controls(controls), m_list(window, controls.list),
      m_engine(std::move(description), *this, openingRequest) {
    // A right click left over from the window that opened this one must not pop up our menu.
    if (keyCode() == kMouseRight) setKeyCode(0);
    if (!m_engine.description().format.empty()) m_list.setFormat(m_engine.description().format);
    if (m_controls.select && openingRequest != RequestSelect) {
        m_window.hide(m_controls.select);
        m_window.disable(m_controls.select);
    }
}

int BrowseList::controlOf(BrowseButton button) const {
    switch (button) {
        case BrowseButton::kSelect: return m_controls.select;
        case BrowseButton::kInsert: return m_controls.insert;
        case BrowseButton::kChange: return m_controls.change;
        case BrowseButton::kDelete: return m_controls.remove;
    }
    return 0;
}

bool BrowseList::handleEvent() {
    const int event = currentEvent();
    switch (event) {
        case kEventOpenWindow: m_engine.openWindow(); return false;
        case kEventGainFocus: m_engine.gainFocus(); return false;
        case kEventSized: m_engine.sized(); return false;
        default: break;
    }
    const int control = eventControl();
    if (control == 0) return false;
    if (control == m_controls.list) {
        m_engine.listEvent(event);
        return true;
    }
    if (event != kEventAccepted) return false;
    if (control == m_controls.select) m_engine.select();
    else if (control == m_controls.insert) m_engine.insert();
    else if (control == m_controls.change) m_engine.change();
    else if (control == m_controls.remove) m_engine.remove();
    else return false;
    return true;
}

void BrowseList::postToList(int event) { m_window.post(event, m_controls.list); }

void BrowseList::postAccepted(BrowseButton button) {
    if (int c = controlOf(button)) m_window.post(kEventAccepted, c);
}

void BrowseList::postCloseWindow() { m_window.post(kEventCloseWindow); }

void BrowseList::enableButton(BrowseButton button, bool enabled) {
    int c = controlOf(button);
    if (!c) return;
    if (enabled)
        m_window.enable(c);
    else
        m_window.disable(c);
}

void BrowseList::focusList() { m_window.focus(m_controls.list); }

void BrowseList::setWaitCursor(bool on) {
    if (on)
        m_window.setWaitCursor();
    else
        m_window.restoreCursor();
}

int BrowseList::popupMenu(const std::string& items) { return ui::popupMenu(items); }

}  // namespace sitedex::app::maintenance
