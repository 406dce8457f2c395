// Screens from RandR monitors: the pure rules, then Xvfb with `xrandr --setmonitor` and xrdb.

#include "x11_loop_fixture.h"  // first: gtest before any X11 header

#include "platform/x11/randr_screens.h"
#include "support/temp_dir.h"

#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tavel {
namespace {

std::vector<std::string> namesOf(const std::vector<ScreenRecord>& screens) {
    std::vector<std::string> names;
    for (const auto& screen : screens) names.push_back(screen.name);
    return names;
}

TEST(ScreenRecordsFor, PutsTheFirstPrimaryFirstAndGivesFramesInPoints) {
    // Of several primaries only the first moves (the server may flag more than one).
    std::vector<MonitorGeometry> monitors = {{"HDMI-1", false, 0, 0, 10, 10},
                                             {"DP-1", true, 10, 0, 10, 10},
                                             {"DP-2", false, 20, 0, 10, 10},
                                             {"DP-3", true, 30, 0, 10, 10}};
    EXPECT_EQ(namesOf(screenRecordsFor(monitors, 1.0)),
              (std::vector<std::string>{"DP-1", "HDMI-1", "DP-2", "DP-3"}));

    EXPECT_EQ(
        screenRecordsFor({{"DP-1", true, -3840, 200, 3840, 2160}, {"", false, 0, 0, 8, 6}}, 2.0),
        (std::vector<ScreenRecord>{
            {displayNumberForMonitorName("DP-1"), "DP-1", {-1920, 100, 1920, 1080}, 2.0},
            {std::nullopt, "", {0, 0, 4, 3}, 2.0}}));
}

TEST(ScaleFromResources, IsXftDpiOver96OrOne) {
    const std::pair<const char*, double> cases[] = {
        {"Xft.dpi:\t192\n", 2.0},    {"Xcursor.size: 24\nXft.dpi: 144\nXft.antialias: 1\n", 1.5},
        {"Xft.dpi: 120.0\n", 1.25},  {"", 1.0},
        {"Xcursor.size: 24\n", 1.0}, {"Xft.dpi: 0\n", 1.0},
        {"Xft.dpi: -96\n", 1.0},     {"Xft.dpi: big\n", 1.0},
        {"Xft.dpi: 96dpi\n", 1.0},   {"Xft.dpi: inf\n", 1.0},
    };
    for (auto [text, scale] : cases) EXPECT_EQ(scaleFromResources(text), scale) << text;
}

// What a test sets is removed at the end: the other tests see the screen as it was.
class RandrScreensTest : public test::X11LoopTest {
protected:
    ~RandrScreensTest() override {
        for (const char* name : {"A", "B", "P"}) xvfb.run({"xrandr", "--delmonitor", name});
        XDeleteProperty(display(), root(), XA_RESOURCE_MANAGER);
        sync();
    }

    // A 960x1080 monitor at x ("*" before the name for the primary), on an output or "none".
    bool setMonitor(const char* name, int x, const char* output) {
        std::string geometry = "960/254x1080/286+" + std::to_string(x) + "+0";
        return xvfb.run({"xrandr", "--setmonitor", name, geometry, output}) == 0;
    }
};

TEST_F(RandrScreensTest, ListsTheMonitorsPrimaryFirstAndReportsEachRealChangeOnce) {
    using Names = std::vector<std::string>;
    RandrScreens source(*connection, loop);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    auto reportsSinceLastLook = [&] {
        EXPECT_TRUE(settle());
        return std::exchange(changes, 0);
    };
    test::TempDir dir;
    auto merge = [&](const char* name, const char* text) {
        std::ofstream(dir / name) << text;
        return xvfb.run({"xrdb", "-nocpp", "-merge", (dir / name).string()}) == 0;
    };
    // Without monitors of its own, Xvfb's one output "screen" is the one monitor.
    auto screens = source.screens();
    ASSERT_EQ(namesOf(screens), Names{"screen"});
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(screens[0].scale, 1.0);

    // A burst of notifications: one report. Monitors without outputs leave "screen" in place.
    ASSERT_TRUE(setMonitor("A", 0, "none") && setMonitor("B", 960, "none") &&
                merge("a", "Xcursor.size: 24\n"));
    EXPECT_EQ(reportsSinceLastLook(), 1);
    EXPECT_EQ(namesOf(source.screens()), (Names{"A", "B", "screen"}));
    // One that takes the output replaces its monitor.
    ASSERT_EQ(xvfb.run({"xrandr", "--delmonitor", "A"}), 0);
    ASSERT_TRUE(setMonitor("A", 0, "screen"));
    EXPECT_EQ(reportsSinceLastLook(), 1);
    screens = source.screens();
    ASSERT_EQ(namesOf(screens), (Names{"B", "A"}));
    EXPECT_EQ(screens[0].frame, (Rect{960, 0, 960, 1080}));
    EXPECT_EQ(screens[0].number, displayNumberForMonitorName("B"));
    ASSERT_TRUE(setMonitor("*P", 300, "none"));
    EXPECT_EQ(reportsSinceLastLook(), 1);
    EXPECT_EQ(namesOf(source.screens()), (Names{"P", "B", "A"}));

    // Resources that leave Xft.dpi alone change nothing; Xft.dpi changes the scale.
    ASSERT_TRUE(merge("b", "Xcursor.size: 32\n"));
    EXPECT_EQ(reportsSinceLastLook(), 0);
    ASSERT_TRUE(merge("c", "Xft.dpi: 192\n"));
    EXPECT_EQ(reportsSinceLastLook(), 1);
    EXPECT_EQ(source.screens()[0].scale, 2.0);
    ASSERT_EQ(xvfb.run({"xrdb", "-remove"}), 0);
    EXPECT_EQ(reportsSinceLastLook(), 1);
    EXPECT_EQ(source.screens()[0].scale, 1.0);

    // An empty handler removes it.
    source.setChangeHandler({});
    ASSERT_EQ(xvfb.run({"xrandr", "--delmonitor", "P"}), 0);
    EXPECT_EQ(reportsSinceLastLook(), 0);
}

}  // namespace
}  // namespace tavel
