#pragma once
// A list box that pages through lines held in memory: the viewer's list of the file's lines. The
// list box shows only the rows that fit; this keeps which line stands at the top and which one is
// highlighted, and answers the list's scroll events (arrows, pages, Home, End, the thumb) so that
// the whole text can be read.
//
// Callers: the text viewers, on their thread.

#include <string>
#include <vector>

namespace sitedex::ui {
class Window;
}

namespace sitedex::app::viewer {

class LineList {
public:
    // REQUIRES: the lines outlive the list.
    LineList(ui::Window& window, int control, const std::vector<std::string>& lines);

    // Fills the rows again (after the lines changed or the list was sized).
    void refresh();
    // Handles the current event if it is one of the list's; true when it was.
    bool handleEvent();
    // The highlighted line (1-based), 0 when there is none.
    int current() const { return m_current; }
    int top() const { return m_top; }
    // Highlights the line and scrolls it into view.
    void select(int line);

private:
    int visible() const;
    void scrollTo(int top);

    ui::Window& m_window;
    int m_control;
    const std::vector<std::string>& m_lines;
    int m_top = 1;
    int m_current = 0;
};

}  // namespace sitedex::app::viewer
