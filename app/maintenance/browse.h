#pragma once
// The browse list engine: one page of records of one data file in a list box, read through a view in
// the order of the current sort order's key, narrowed by its filter.
//
// The engine holds only the rows the list box can show (its visible-row count, read every time a
// page is filled); scrolling reads the next or previous records and slides the page. Each row keeps
// the record's position, so the highlighted record is re-read directly. The highlight follows a
// record across inserts, changes, deletes and changes of order; the vertical thumb maps onto 100 key
// marks computed from the first and last key of the view (two reads), so dragging it needs no
// counting of records.
//
// The engine talks to its list box and window through ListHost, so its logic runs (and is tested)
// without windows; app/maintenance/browse_window.h binds it to a real window. It posts events to
// the list and the buttons through the host, and the window procedure hands them back to the
// matching members below.
//
// Failures: a read error other than the end of the view shows standard warning 35 naming the file
// and posts CloseWindow (closing() turns true); a view that cannot be positioned or a filter that
// does not compile shows warning 36 and the list goes on without the filter.
//
// Callers: one window procedure, on its own thread; one engine per list.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/maintenance/browse_description.h"
#include "data/views.h"

namespace sitedex::runtime {
class Expression;
}

namespace sitedex::app::maintenance {

enum class BrowseButton { kSelect, kInsert, kChange, kDelete };

// What the engine needs of its list box and window.
class ListHost {
public:
    virtual ~ListHost() = default;
    virtual int visibleRows() = 0;
    virtual int selectedRow() = 0;  // 1-based, 0 for none
    virtual void setSelectedRow(int row) = 0;
    virtual bool scrollBarShown() = 0;
    virtual void showScrollBar(bool shown) = 0;
    virtual int thumb() = 0;  // 0..100
    virtual void setThumb(int position) = 0;
    // Shows the page (each row's column values) and the selection.
    virtual void showRows(const std::vector<std::vector<std::string>>& rows, int selected) = 0;
    virtual void postToList(int event) = 0;
    virtual void postAccepted(BrowseButton button) = 0;
    virtual void postCloseWindow() = 0;
    virtual void enableButton(BrowseButton button, bool enabled) = 0;
    virtual void focusList() = 0;
    virtual void setWaitCursor(bool on) = 0;
    // Pop-up menu: returns the item chosen (1-based), 0 for none.
    virtual int popupMenu(const std::string& items) = 0;
};

class BrowseEngine {
public:
    enum RefreshMode { kIdle = 0, kOnPosition = 1, kInPlace = 2, kFromCurrent = 3, kAtBottom = 4, kFromTop = 5 };
    enum LocateMode { kLocateNone = 0, kLocateOnPosition = 1, kLocateOnValue = 2, kLocateOnEdit = 3 };

    struct Row {
        std::vector<std::string> values;  // raw field bytes or memo text, by the row layout
        std::string position;
    };

    // REQUIRES: every name of the description exists; throws std::invalid_argument otherwise.
    // `openingRequest` is the request the window was opened with (taken from CallRequest).
    BrowseEngine(BrowseDescription description, ListHost& host, int openingRequest = 0);
    ~BrowseEngine();
    BrowseEngine(const BrowseEngine&) = delete;
    BrowseEngine& operator=(const BrowseEngine&) = delete;

    // ---- events handed in by the window procedure ----------------------------------------------
    void openWindow();  // EVENT:OpenWindow: the first refresh builds the first page
    void gainFocus();   // EVENT:GainFocus and EVENT:Sized: rebuild around the highlighted record
    void sized() { gainFocus(); }
    // A field event of the list: NewSelection, the scroll events, ScrollDrag, AlertKey.
    void listEvent(int event);
    // The buttons' EVENT:Accepted.
    void select();
    void insert();
    void change();
    void remove();
    // Tab changes and the like: select the sort order, set the thumb, redraw.
    void refresh();
    // Locate on the key value in the record buffer (a window that positions the list itself).
    void locateOnValue();
    // Re-reads the highlighted record into the record buffer with change watch armed. Returns 0, or
    // the read's error (33 or 35 when another window or program deleted the record meanwhile).
    int32_t getRecord();
    // Re-reads the highlighted record before the window acts on it (select, change, delete, the
    // clipboard, a list of its own). False when there is nothing to act on: an empty list; a record
    // deleted meanwhile by another window or program, which the user is told of while the page is
    // rebuilt from what is on file (acting on the buffer then would write over another record); a
    // read error (warning 35, and the window closes).
    bool readHighlighted();

    // ---- state ----------------------------------------------------------------------------------
    int rowCount() const { return int(m_rows.size()); }
    int currentRow() const { return m_currentRow; }
    const std::deque<Row>& rows() const { return m_rows; }
    int thumbPosition() const { return m_thumb; }
    int sortOrder() const { return m_sortOrder; }
    int localResponse() const { return m_localResponse; }
    void setLocalResponse(int r) { m_localResponse = r; }
    int openingRequest() const { return m_openingRequest; }
    bool closing() const { return m_closing; }
    // The marks of a sort order (1-based); empty strings / zeros before a distribution was built.
    const std::array<std::string, 100>& stringMarks(int order) const;
    const std::array<double, 100>& numericMarks(int order) const;
    // The values a row shows, as text (numbers in plain decimal), for the list box.
    std::vector<std::string> displayValues(const Row& row) const;
    void setForceRefresh() { m_forceRefresh = true; }
    // Records read through the view so far (next, previous and re-gets): the cost of the actions.
    int64_t reads() const { return m_reads; }
    void setValidatingAll(bool on) { m_validatingAll = on; }
    data::View& view() { return m_view; }
    const BrowseDescription& description() const { return m_desc; }

private:
    struct ResolvedField {
        data::FileDecl* file = nullptr;
        const data::FieldDecl* field = nullptr;
        int memo = -1;
        size_t memoLimit = 0;
    };
    struct Order {
        SortOrderDescription desc;
        data::KeyDecl* key = nullptr;
        std::unique_ptr<runtime::Expression> filter;
        bool filterCompiled = false;
        std::vector<ResolvedField> resetFields;
        std::vector<std::string> saved;  // the reset fields' saved copies (bound for the filter)
        ResolvedField locator;
        std::vector<ResolvedField> clears;
        ResolvedField distributionField;
        std::array<std::string, 100> stringMarks;
        size_t markLength = 0;  // leading key characters the string marks carry
        std::array<double, 100> numericMarks{};
    };

    ResolvedField resolve(const std::string& name, size_t memoLimit = 0) const;
    std::string fieldText(const ResolvedField& f) const;
    Order& order() { return *m_orders[size_t(m_sortOrder < 1 ? 0 : m_sortOrder - 1)]; }

    int32_t readView(bool forward);
    int fill(int count, bool forward);
    bool resetView();
    void locate(LocateMode mode);
    void refreshPage(RefreshMode mode);
    void selectSortOrder();
    void buildDistribution();
    void scroll(int event);
    void newSelection();
    void postNewSelection();
    void thumbDrag();
    void locator();
    void alertKey();
    void contextMenu();
    void afterUpdate(int request, int response);
    int callUpdate(int request);
    Row makeRow();
    void loadRow(int row);
    void emptyQueue();
    void show();
    void readError();
    bool resetFieldsChanged(const Order& o) const;
    void saveResetFields(Order& o);

    BrowseDescription m_desc;
    ListHost& m_host;
    data::View m_view;
    std::vector<std::unique_ptr<Order>> m_orders;
    std::vector<ResolvedField> m_rowFields;

    std::deque<Row> m_rows;
    int m_currentRow = 0;
    int m_rowsToFill = 0;
    bool m_addToQueue = true;
    bool m_skipFirst = false;
    int m_sortOrder = 0;
    int m_lastSortOrder = 0;
    bool m_changed = false;
    bool m_forceRefresh = false;
    std::string m_highlightedPosition;
    int m_thumb = 0;
    bool m_newSelectionPosted = false;
    int m_openingRequest = 0;
    int m_localResponse = 0;
    bool m_closing = false;
    bool m_validatingAll = false;
    bool m_opened = false;
    int64_t m_reads = 0;
};

}  // namespace sitedex::app::maintenance
