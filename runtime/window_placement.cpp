#include "runtime/window_placement.h"

#include <algorithm>
#include <string>

namespace sitedex::runtime {

namespace {
// A number from the settings file, kept within what a window's coordinates can be (an edited file may
// say anything; the window layer keeps the window on the screens).
long wholeNumber(const std::string& text) {
    const double n = settingNumber(text);
    constexpr double kLimit = 1 << 24;
    return n != n ? 0 : long(std::clamp(n, -kLimit, kLimit));
}
}  // namespace

void SaveWindowPlacement(PlacementWindow& window, std::string_view windowName, std::string_view fileName) {
    const char* maximize = window.isMaximized() ? "Yes" : "No";
    window.showNormalState();
    if (window.isMinimized()) return;  // an iconised window's geometry says nothing worth keeping
    writeSetting(windowName, "Maximize", maximize, fileName);
    writeSetting(windowName, "XPosit", settingText(window.placementX()), fileName);
    writeSetting(windowName, "YPosit", settingText(window.placementY()), fileName);
    writeSetting(windowName, "Width", settingText(window.placementWidth()), fileName);
    writeSetting(windowName, "Height", settingText(window.placementHeight()), fileName);
}

void RestoreWindowPlacement(PlacementWindow& window, std::string_view windowName, std::string_view fileName) {
    if (wholeNumber(readSetting(windowName, "XPosit", {}, fileName)) == 0) return;  // step 1: never saved
    if (!window.isMaximized()) {
        long x = wholeNumber(readSetting(windowName, "XPosit", {}, fileName));
        long y = wholeNumber(readSetting(windowName, "YPosit", {}, fileName));
        if (x != 0 && y != 0) {
            long width = window.placementWidth();
            long height = window.placementHeight();
            bool place = true;
            if (window.isResizable()) {
                long storedWidth = wholeNumber(readSetting(windowName, "Width", {}, fileName));
                long storedHeight = wholeNumber(readSetting(windowName, "Height", {}, fileName));
                if (storedWidth == 0) {
                    place = false;
                } else if (storedHeight != 0) {
                    width = storedWidth;
                    height = storedHeight;
                }
            }
            if (place) window.setPlacement(int(x), int(y), int(width), int(height));
        }
    }
    if (readSetting(windowName, "Maximize", {}, fileName) == "Yes")
        window.showMaximizedState();
    else
        window.showNormalState();
}

}  // namespace sitedex::runtime
