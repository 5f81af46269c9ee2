#pragma once
// Page images: controls that show one kept report page (ui/report_engine.h) in a window, made and
// removed while the window is open, so that a preview can show as many pages as it likes.
//
// A page image takes the next free control number of its window; the number is not reused after
// the control is removed. It starts hidden: the procedure places it (Window::setControlGeometry,
// in pixels) and shows it (Window::unhide). Clicking it raises EVENT:Accepted for its number; the
// window's alert keys (Page Up, Page Down, ...) work while it has the focus.
//
//   - A framed image draws the page scaled to the control's whole size, on white (a thumbnail).
//   - A scrolled image draws the page at the size set by setPageSize inside the control, with
//     scroll bars when the page is larger than the control; the horizontal one can be switched off.
//
// Pages are drawn from their kept drawings each time they are painted (never kept as bitmaps), and
// only the visible part of a page is drawn.
//
// Callers: the procedure that owns the window. REQUIRES: the pages outlive the control.

#include "ui/report_engine.h"

namespace sitedex::ui {

class Window;

enum class PageImageKind { kFramed, kScrolled };

int createPageImage(Window& window, const ReportPages& pages, PageImageKind kind);
// Removes a control made at run time (a page image); other numbers are ignored.
void removePageImage(Window& window, int control);

// The page shown (1-based); 0 or a page past the last shows nothing.
void showPage(Window& window, int control, int page);
int shownPage(const Window& window, int control);

// Scrolled images: the drawn size of the page in pixels, whether the horizontal scroll bar may show,
// and the width the page has without one, next to a vertical scroll bar.
void setPageSize(Window& window, int control, int width, int height);
struct PixelSize {
    int width = 0, height = 0;
};
PixelSize pageSize(const Window& window, int control);
void setHorizontalScrollBar(Window& window, int control, bool on);
int widthBesideScrollBar(const Window& window, int control);

// The pixels per inch of the window's screen: a page's natural size is its paper at this density.
double screenPixelsPerInch(const Window& window);

}  // namespace sitedex::ui
