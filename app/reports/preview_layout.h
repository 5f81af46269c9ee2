#pragma once
// The arithmetic of the report preview, apart from its window: where thumbnails go, what the
// status zones say, which page the paging commands move to, and the zoom popup's text.
//
// Thumbnails (window units are pixels here): with A across and D down, the horizontal gaps are
// (A - 1) x 3 + 2 and the vertical ones (D - 1) x 3 + 2; a cell is (width - horizontal gaps) / A
// wide and (height - toolbar - vertical gaps) / D high (whole numbers); a page keeps its aspect
// (height / width) inside the cell: when the aspect is not greater than the cell's, the thumbnail
// takes the cell's width, else its height. Thumbnails stand row by row from (1, toolbar + 1), each
// followed by 3 units of gap.
//
// Callers: ReportPreview and its tests.

#include <string>
#include <vector>

namespace sitedex::app::reports {

enum class Zoom { kNone, kPageWidth, k50, k75, k100, k200, k300 };

struct Thumbnail {
    int x = 0, y = 0, width = 0, height = 0;
};

std::vector<Thumbnail> layOutThumbnails(int width, int height, int toolbar, int across, int down, double aspect);

struct PreviewPages {
    int total = 1;
    int current = 1;
    int across = 1;
    int down = 1;
    Zoom zoom = Zoom::kNone;

    // Pages one screen shows: across x down thumbnails, one page when zoomed.
    int shown() const { return zoom == Zoom::kNone ? across * down : 1; }
    int lastShown() const;
    bool canGoNext() const { return current + shown() <= total; }
    bool canGoPrevious() const { return current > 1; }
    void next();
    void previous();
};

// Status zone 2 ("Page 3 of 10", "Pages 1-4 of 10") and zone 3 ("No Zoom", "Zoom (50%)").
std::string pageStatus(const PreviewPages& p);
std::string zoomStatus(Zoom zoom);
// The factor of a fixed zoom (0 for No Zoom and Page Width).
double zoomFactor(Zoom zoom);

// The zoom button's popup, the current state checked; and the state of the item chosen (1..7).
std::string zoomPopupText(Zoom current);
Zoom zoomOfItem(int item);

// A value typed into a spin box brought into its range.
int clampToRange(int value, int low, int high);

}  // namespace sitedex::app::reports
