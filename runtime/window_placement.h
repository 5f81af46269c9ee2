#pragma once
// Saving and restoring a window's last position, size and maximised state in the settings file,
// one section per window named after its procedure (keys XPosit, YPosit, Width, Height, Maximize).
//
// The two procedures follow the program's fixed steps: a stored position of 0 counts as "none" (the
// window keeps its designed place and a stored maximised state is not applied either), "Maximize"
// must read exactly "Yes", and a window closed while minimised leaves its stored placement alone.
// Positions and sizes are whole numbers in the window layer's pixels.
//
// Callers: every window procedure, right after opening its window (restore) and as it closes it
// (save). The window layer's Window implements PlacementWindow; tests may use a plain one.

#include <string_view>

#include "runtime/settings_file.h"

namespace sitedex::runtime {

// What the placement procedures need of a window.
class PlacementWindow {
public:
    virtual ~PlacementWindow() = default;
    virtual bool isMaximized() const = 0;
    virtual bool isMinimized() const = 0;
    virtual bool isResizable() const = 0;
    // Leaves the maximised state; position and size then report the normal ones.
    virtual void showNormalState() = 0;
    virtual void showMaximizedState() = 0;
    virtual int placementX() const = 0;
    virtual int placementY() const = 0;
    virtual int placementWidth() const = 0;
    virtual int placementHeight() const = 0;
    virtual void setPlacement(int x, int y, int width, int height) = 0;
};

void SaveWindowPlacement(PlacementWindow& window, std::string_view windowName,
                         std::string_view fileName = kSettingsFileName);
void RestoreWindowPlacement(PlacementWindow& window, std::string_view windowName,
                            std::string_view fileName = kSettingsFileName);

}  // namespace sitedex::runtime
