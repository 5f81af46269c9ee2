#include "app/reports/preview_layout.h"

#include <algorithm>

namespace sitedex::app::reports {

namespace {
constexpr int kGap = 3;
constexpr Zoom kZoomOrder[] = {Zoom::kNone, Zoom::kPageWidth, Zoom::k50, Zoom::k75, Zoom::k100, Zoom::k200, Zoom::k300};
constexpr const char* kZoomItems[] = {"No Zoom", "Page Width", "50%", "75%", "100%", "200%", "300%"};
}  // namespace

std::vector<Thumbnail> layOutThumbnails(int width, int height, int toolbar, int across, int down, double aspect) {
    across = std::max(1, across);
    down = std::max(1, down);
    const int horizontalGaps = (across - 1) * kGap + 2;
    const int verticalGaps = (down - 1) * kGap + 2;
    const int cellWidth = std::max(1, (width - horizontalGaps) / across);
    const int cellHeight = std::max(1, (height - toolbar - verticalGaps) / down);
    int thumbWidth = cellWidth, thumbHeight = cellHeight;
    if (aspect <= double(cellHeight) / double(cellWidth))
        thumbHeight = std::max(1, int(cellWidth * aspect));
    else
        thumbWidth = std::max(1, int(cellHeight / aspect));
    std::vector<Thumbnail> cells;
    int y = toolbar + 1;
    for (int row = 0; row < down; ++row) {
        int x = 1;
        for (int column = 0; column < across; ++column) {
            cells.push_back({x, y, thumbWidth, thumbHeight});
            x += thumbWidth + kGap;
        }
        y += thumbHeight + kGap;
    }
    return cells;
}

int PreviewPages::lastShown() const {
    return std::min(total, current + shown() - 1);
}

void PreviewPages::next() {
    if (canGoNext())
        current += shown();
}

void PreviewPages::previous() {
    current = std::max(1, current - shown());
}

std::string pageStatus(const PreviewPages& p) {
    const std::string of = " of " + std::to_string(p.total);
    if (p.shown() > 1 && p.current != p.total)
        return "Pages " + std::to_string(p.current) + "-" + std::to_string(p.lastShown()) + of;
    return "Page " + std::to_string(p.current) + of;
}

std::string zoomStatus(Zoom zoom) {
    switch (zoom) {
        case Zoom::kNone:
            return "No Zoom";
        case Zoom::kPageWidth:
            return "Zoom (Page Width)";
        case Zoom::k50:
            return "Zoom (50%)";
        case Zoom::k75:
            return "Zoom (75%)";
        case Zoom::k100:
            return "Zoom (100%)";
        case Zoom::k200:
            return "Zoom (200%)";
        case Zoom::k300:
            return "Zoom (300%)";
    }
    return {};
}

double zoomFactor(Zoom zoom) {
    switch (zoom) {
        case Zoom::k50:
            return 0.5;
        case Zoom::k75:
            return 0.75;
        case Zoom::k100:
            return 1.0;
        case Zoom::k200:
            return 2.0;
        case Zoom::k300:
            return 3.0;
        default:
            return 0;
    }
}

std::string zoomPopupText(Zoom current) {
    std::string text;
    for (size_t i = 0; i < std::size(kZoomOrder); ++i) {
        if (i > 0)
            text += "|";
        text += (kZoomOrder[i] == current ? "+" : "-");
        text += kZoomItems[i];
        if (i == 0)
            text += "|-";
    }
    return text;
}

Zoom zoomOfItem(int item) {
    return item >= 1 && item <= int(std::size(kZoomOrder)) ? kZoomOrder[item - 1] : Zoom::kNone;
}

int clampToRange(int value, int low, int high) {
    return std::clamp(value, low, std::max(low, high));
}

}  // namespace sitedex::app::reports
