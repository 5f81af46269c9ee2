#pragma once
// A browse in a real window: binds the browse engine to a list control and the list's buttons of a
// ui::Window, and hands the window's events to the engine.
//
//     ui::Window w(def);
//     BrowseList browse(w, {kList, kSelect, kInsert, kChange, kDelete}, description, request);
//     while (w.waitForEvent()) {
//         if (browse.handleEvent()) continue;   // the list's and its buttons' events
//         ... the window's other controls ...
//     }
//
// handleEvent passes OpenWindow, GainFocus and Sized to the engine and still answers false for
// them, so a window with two lists (or other work on those events) sees them too. At construction
// the Select button is hidden and disabled unless the window was opened with RequestSelect, and the
// list format of the description is applied.
//
// Callers: list procedures, on their own thread, with the window they opened.

#include "app/maintenance/browse.h"
#include "ui/list_box.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {

struct BrowseControls {
    int list = 0;
    int select = 0;  // 0 for none
    int insert = 0;
    int change = 0;
    int remove = 0;
};

class BrowseList : public ListHost {
public:
    BrowseList(ui::Window& window, BrowseControls controls, BrowseDescription description, int openingRequest = 0);

    BrowseEngine& engine() { return m_engine; }
    ui::ListControl& list() { return m_list; }
    // Handles the current event when it belongs to the browse; true when nothing else should.
    bool handleEvent();

    // ListHost
    int visibleRows() override { return m_list.visibleRows(); }
    int selectedRow() override { return m_list.selectedRow(); }
    void setSelectedRow(int row) override { m_list.setSelectedRow(row); }
    bool scrollBarShown() override { return m_list.scrollBarShown(); }
    void showScrollBar(bool shown) override { m_list.showScrollBar(shown); }
    int thumb() override { return m_list.thumb(); }
    void setThumb(int position) override { m_list.setThumb(position); }
    void showRows(const std::vector<std::vector<std::string>>& rows, int selected) override {
        m_list.setRows(rows, selected);
    }
    void postToList(int event) override;
    void postAccepted(BrowseButton button) override;
    void postCloseWindow() override;
    void enableButton(BrowseButton button, bool enabled) override;
    void focusList() override;
    void setWaitCursor(bool on) override;
    int popupMenu(const std::string& items) override;

private:
    int controlOf(BrowseButton button) const;

    ui::Window& m_window;
    BrowseControls m_controls;
    ui::ListControl m_list;
    BrowseEngine m_engine;
};

}  // namespace sitedex::app::maintenance
