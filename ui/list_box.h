#pragma once
// The list box of a window (a control added with WindowDef::addList): it shows the rows its
// procedure hands it, no more than fit, in columns laid out by the list format (ui/list_format.h),
// with a vertical scroll bar whose thumb the procedure sets (0..100).
//
// The list never scrolls by itself. Moving the highlight inside the page (arrow keys, clicks, the
// wheel) raises EVENT:NewSelection; the same movements at the page's edges raise the list events
// instead: Up on the first row EVENT:ScrollUp, Down on the last EVENT:ScrollDown; PgUp and PgDn
// always raise EVENT:PageUp and EVENT:PageDown (the page slides), Home EVENT:ScrollTop, End
// EVENT:ScrollBottom, and the scroll bar's arrows, page areas and ends likewise; releasing a dragged
// thumb raises EVENT:ScrollDrag (thumb() tells where). A right click highlights the row under the
// mouse and raises EVENT:NewSelection with the key code of the right button; the Menu key and
// Shift+F10 do the same for the highlighted row (the procedure's pop-up menu then opens by it). A
// typed character (of any script) raises EVENT:AlertKey with its key code and character (the
// first-letter locator), as do the window's alert keys (double-click, Insert, ...). The keyboard
// focus given to the list goes to its rows; Tab leaves the list without moving the highlight.
//
// Callers: the procedure that owns the window, through a ListControl naming its control.

#include <string>
#include <vector>

namespace sitedex::ui {

class Window;

class ListControl {
public:
    ListControl(Window& window, int control) : m_window(&window), m_control(control) {}

    // Whole rows that fit in the list's current size (at least 1).
    int visibleRows() const;
    // The rows shown, each with its column values as text (formatted by the columns' pictures);
    // rows beyond visibleRows() are not shown. `selected` is 1-based, 0 for none.
    void setRows(const std::vector<std::vector<std::string>>& rows, int selected);
    int rowCount() const;
    int selectedRow() const;
    void setSelectedRow(int row);
    // The text shown in a cell (1-based), after the picture.
    std::string cellText(int row, int column) const;

    bool scrollBarShown() const;
    void showScrollBar(bool shown);
    int thumb() const;
    void setThumb(int position);  // clamped to 0..100

    // The list format with the columns' present widths (the user may have resized them), and a new
    // one (columns and widths; rows are shown again).
    std::string format() const;
    void setFormat(const std::string& format);
    int columnCount() const;
    int columnWidthPixels(int column) const;

    // Tests: the list events as the user raises them (a key code of the program, or a row click).
    void pressKey(int keyCode, int character = 0);
    void clickRow(int row, bool right = false);
    void dragThumb(int position);

private:
    Window* m_window;
    int m_control;
};

}  // namespace sitedex::ui
