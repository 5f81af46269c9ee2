#include "runtime/window_placement.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace sitedex::runtime {
namespace {

namespace fs = std::filesystem;

// A window as the placement procedures see it: a normal geometry plus its state.
struct PlainWindow : PlacementWindow {
    int x = 5, y = 6, w = 300, h = 200;
    bool maximized = false, minimized = false, resizable = true;
    bool isMaximized() const override { return maximized; }
    bool isMinimized() const override { return minimized; }
    bool isResizable() const override { return resizable; }
    void showNormalState() override { maximized = false; }
    void showMaximizedState() override { maximized = true; }
    int placementX() const override { return x; }
    int placementY() const override { return y; }
    int placementWidth() const override { return w; }
    int placementHeight() const override { return h; }
    void setPlacement(int nx, int ny, int nw, int nh) override { x = nx, y = ny, w = nw, h = nh; }
};

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sitedex-placement-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override {
        fs::remove_all(m_dir);
        ::unsetenv("SITEDEX_CONFIG_DIR");
    }
    fs::path m_dir;
};

TEST_F(Placement, SaveWritesTheNormalGeometryAndTheMaximisedState) {
    PlainWindow normal;
    normal.x = 40, normal.y = 50, normal.w = 640, normal.h = 480;
    SaveWindowPlacement(normal, "BrowseSITEDX");
    EXPECT_EQ(readSetting("BrowseSITEDX", "Maximize"), "No");
    EXPECT_EQ(readSetting("BrowseSITEDX", "XPosit"), "40");
    EXPECT_EQ(readSetting("BrowseSITEDX", "YPosit"), "50");
    EXPECT_EQ(readSetting("BrowseSITEDX", "Width"), "640");
    EXPECT_EQ(readSetting("BrowseSITEDX", "Height"), "480");

    PlainWindow maximized;  // reports its normal geometry once brought to the normal state
    maximized.maximized = true;
    SaveWindowPlacement(maximized, "Main");
    EXPECT_EQ(readSetting("Main", "Maximize"), "Yes");
    EXPECT_EQ(readSetting("Main", "Width"), "300");
    EXPECT_EQ(readSetting("Main", "Height"), "200");

    PlainWindow minimized;  // closed while minimised: what was stored stays
    minimized.minimized = true;
    minimized.x = 999;
    SaveWindowPlacement(minimized, "BrowseSITEDX");
    EXPECT_EQ(readSetting("BrowseSITEDX", "XPosit"), "40");
    EXPECT_EQ(readSetting("BrowseSITEDX", "Maximize"), "No");
}

TEST_F(Placement, RestoreFollowsItsStepsOnStoredValues) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> stored;
        bool resizable;
        bool startMaximized;
        int x, y, w, h;  // expected normal geometry
        bool maximized;  // expected state
    } cases[] = {
        {"nothing stored", {}, true, false, 5, 6, 300, 200, false},
        {"full placement", {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", "480"}, {"Maximize", "No"}},
         true, false, 40, 50, 640, 480, false},
        {"XPosit 0 ends at once, Maximize=Yes not applied",
         {{"XPosit", "0"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", "480"}, {"Maximize", "Yes"}}, true, false,
         5, 6, 300, 200, false},
        {"non-numeric XPosit counts as 0", {{"XPosit", "left"}, {"Maximize", "Yes"}}, true, false, 5, 6, 300, 200,
         false},
        {"YPosit 0 skips the move but still maximises",
         {{"XPosit", "40"}, {"YPosit", "0"}, {"Width", "640"}, {"Height", "480"}, {"Maximize", "Yes"}}, true, false, 5,
         6, 300, 200, true},
        {"lower-case yes is not Yes",
         {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", "480"}, {"Maximize", "yes"}}, true, false,
         40, 50, 640, 480, false},
        {"Maximize=Yes with the normal geometry",
         {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", "480"}, {"Maximize", "Yes"}}, true, false,
         40, 50, 640, 480, true},
        {"Width 0 skips the move", {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "0"}, {"Height", "480"}}, true, false,
         5, 6, 300, 200, false},
        {"Height 0 keeps the current size but moves",
         {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", ""}}, true, false, 40, 50, 300, 200, false},
        {"a fixed-size window only moves", {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", "480"}},
         false, false, 40, 50, 300, 200, false},
        {"an already maximised window is not moved and is set normal without Yes",
         {{"XPosit", "40"}, {"YPosit", "50"}, {"Width", "640"}, {"Height", "480"}, {"Maximize", "No"}}, true, true, 5,
         6, 300, 200, false},
        {"negative positions are positions", {{"XPosit", "-20"}, {"YPosit", "-10"}, {"Width", "640"}, {"Height", "480"}},
         true, false, -20, -10, 640, 480, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string section = "Window" + std::to_string(++n);
        for (auto& [key, value] : c.stored) writeSetting(section, key, value);
        PlainWindow win;
        win.resizable = c.resizable;
        win.maximized = c.startMaximized;
        RestoreWindowPlacement(win, section);
        EXPECT_EQ(win.x, c.x) << c.name;
        EXPECT_EQ(win.y, c.y) << c.name;
        EXPECT_EQ(win.w, c.w) << c.name;
        EXPECT_EQ(win.h, c.h) << c.name;
        EXPECT_EQ(win.maximized, c.maximized) << c.name;
    }
}

TEST_F(Placement, SavedPlacementRestoresTheSameWindow) {
    PlainWindow before;
    before.x = 100, before.y = 80, before.w = 500, before.h = 350, before.maximized = true;
    SaveWindowPlacement(before, "UpdateSITEDX");
    PlainWindow after;
    RestoreWindowPlacement(after, "UpdateSITEDX");
    EXPECT_EQ(after.x, 100);
    EXPECT_EQ(after.y, 80);
    EXPECT_EQ(after.w, 500);
    EXPECT_EQ(after.h, 350);
    EXPECT_TRUE(after.maximized);
}

}  // namespace
}  // namespace sitedex::runtime
