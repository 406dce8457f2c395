// Screens from RandR monitors: the pure ordering and scale rules, then the real thing
// against Xvfb with monitors made by `xrandr --setmonitor` and a scale set with xrdb.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/x11/randr_screens.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"
#include "x11_loop_fixture.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

std::vector<std::string> namesOf(const std::vector<ScreenRecord>& screens) {
    std::vector<std::string> names;
    for (const auto& screen : screens) names.push_back(screen.name);
    return names;
}

const ScreenRecord* find(const std::vector<ScreenRecord>& screens, const std::string& name) {
    for (const auto& screen : screens)
        if (screen.name == name) return &screen;
    return nullptr;
}

TEST(ScreenRecordsFor, PutsTheFirstPrimaryFirstAndKeepsTheRestInOrder) {
    std::vector<MonitorGeometry> monitors = {{"HDMI-1", false, 0, 0, 10, 10},
                                             {"DP-1", true, 10, 0, 10, 10},
                                             {"DP-2", false, 20, 0, 10, 10},
                                             {"DP-3", true, 30, 0, 10, 10}};
    EXPECT_EQ(namesOf(screenRecordsFor(monitors, 1.0)),
              (std::vector<std::string>{"DP-1", "HDMI-1", "DP-2", "DP-3"}));
    monitors[1].primary = false;
    EXPECT_EQ(namesOf(screenRecordsFor(monitors, 1.0)),
              (std::vector<std::string>{"DP-3", "HDMI-1", "DP-1", "DP-2"}));
    monitors[3].primary = false;
    EXPECT_EQ(namesOf(screenRecordsFor(monitors, 1.0)),
              (std::vector<std::string>{"HDMI-1", "DP-1", "DP-2", "DP-3"}));
}

TEST(ScreenRecordsFor, NumbersComeFromNamesAndFramesAreInPoints) {
    auto screens =
        screenRecordsFor({{"DP-1", true, -3840, 200, 3840, 2160}, {"", false, 0, 0, 8, 6}}, 2.0);
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].number, displayNumberForMonitorName("DP-1"));
    EXPECT_EQ(screens[0].frame, (Rect{-1920, 100, 1920, 1080}));
    EXPECT_EQ(screens[0].scale, 2.0);
    EXPECT_EQ(screens[1].number, std::nullopt);
    EXPECT_EQ(screens[1].name, "");
    EXPECT_EQ(screens[1].frame, (Rect{0, 0, 4, 3}));
}

TEST(ScreenRecordsFor, AnUnusableScaleCountsAsOne) {
    std::vector<MonitorGeometry> monitors = {{"DP-1", true, 0, 0, 100, 50}};
    for (double scale : {0.0, -2.0, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
        auto screens = screenRecordsFor(monitors, scale);
        EXPECT_EQ(screens[0].frame, (Rect{0, 0, 100, 50})) << scale;
        EXPECT_EQ(screens[0].scale, 1.0) << scale;
    }
}

TEST(ScaleFromResources, IsXftDpiOver96) {
    EXPECT_EQ(scaleFromResources("Xft.dpi:\t192\n"), 2.0);
    EXPECT_EQ(scaleFromResources("Xcursor.size: 24\nXft.dpi: 144\nXft.antialias: 1\n"), 1.5);
    EXPECT_EQ(scaleFromResources("Xft.dpi: 120.0\n"), 1.25);
}

TEST(ScaleFromResources, IsOneWithoutAUsableXftDpi) {
    EXPECT_EQ(scaleFromResources(""), 1.0);
    EXPECT_EQ(scaleFromResources("Xcursor.size: 24\n"), 1.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi: 0\n"), 1.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi: -96\n"), 1.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi: big\n"), 1.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi: 96dpi\n"), 1.0);
    EXPECT_EQ(scaleFromResources("Xft.dpi: inf\n"), 1.0);
}

// The monitors and resources a test sets are removed again at the end, so the other
// tests of the program see the screen as it was.
class RandrScreensTest : public test::X11LoopTest {
protected:
    ~RandrScreensTest() override {
        Display* display = connection->display();
        int count = 0;
        XRRMonitorInfo* monitors = XRRGetMonitors(display, connection->root(), False, &count);
        for (int i = 0; i < count; ++i) {
            if (monitors[i].automatic || monitors[i].name == None) continue;
            char* name = XGetAtomName(display, monitors[i].name);
            xvfb.run({"xrandr", "--delmonitor", name});
            XFree(name);
        }
        if (monitors) XRRFreeMonitors(monitors);
        XDeleteProperty(connection->display(), connection->root(), XA_RESOURCE_MANAGER);
        XSync(connection->display(), False);
    }

    bool addMonitors() {
        return xvfb.run({"xrandr", "--setmonitor", "A", "960/254x1080/286+0+0", "none"}) == 0 &&
               xvfb.run({"xrandr", "--setmonitor", "B", "960/254x1080/286+960+0", "none"}) == 0;
    }

    test::XvfbServer& xvfb = test::sharedXvfb();
};

TEST_F(RandrScreensTest, WithoutMonitorsOfItsOwnTheScreenIsOneMonitor) {
    RandrScreens source(*connection);
    auto screens = source.screens();
    ASSERT_EQ(screens.size(), 1u);
    // Xvfb's one output is named "screen".
    EXPECT_EQ(screens[0].name, "screen");
    EXPECT_EQ(screens[0].number, displayNumberForMonitorName("screen"));
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(screens[0].scale, 1.0);
}

TEST_F(RandrScreensTest, ListsMonitorsSetByAClientPrimaryFirst) {
    RandrScreens source(*connection);
    ASSERT_TRUE(addMonitors());
    auto screens = source.screens();
    // Monitors without outputs leave the output's own monitor in place. None is
    // primary, so the server's order stands.
    ASSERT_EQ(namesOf(screens), (std::vector<std::string>{"A", "B", "screen"}));
    const ScreenRecord* a = find(screens, "A");
    const ScreenRecord* b = find(screens, "B");
    EXPECT_EQ(a->number, displayNumberForMonitorName("A"));
    EXPECT_EQ(b->number, displayNumberForMonitorName("B"));
    EXPECT_NE(a->number, b->number);
    EXPECT_EQ(a->frame, (Rect{0, 0, 960, 1080}));
    EXPECT_EQ(b->frame, (Rect{960, 0, 960, 1080}));
}

TEST_F(RandrScreensTest, MonitorsThatTakeTheOutputReplaceItsOwnMonitor) {
    RandrScreens source(*connection);
    ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "A", "960/254x1080/286+0+0", "screen"}), 0);
    ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "B", "960/254x1080/286+960+0", "none"}), 0);
    auto screens = source.screens();
    ASSERT_EQ(namesOf(screens), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(screens[1].frame, (Rect{960, 0, 960, 1080}));
}

TEST_F(RandrScreensTest, AMonitorMarkedPrimaryComesFirst) {
    RandrScreens source(*connection);
    ASSERT_TRUE(addMonitors());
    Display* display = connection->display();
    XRRMonitorInfo* monitor = XRRAllocateMonitor(display, 0);
    monitor->name = XInternAtom(display, "P", False);
    monitor->primary = True;
    monitor->x = 300;
    monitor->width = 500;
    monitor->height = 500;
    monitor->mwidth = 100;
    monitor->mheight = 100;
    XRRSetMonitor(display, connection->root(), monitor);
    XRRFreeMonitors(monitor);
    auto screens = source.screens();
    ASSERT_EQ(screens.size(), 4u);
    EXPECT_EQ(screens.front().name, "P");
    EXPECT_EQ(screens.front().frame, (Rect{300, 0, 500, 500}));
}

TEST_F(RandrScreensTest, TheChangeHandlerRunsWhenMonitorsComeAndGo) {
    RandrScreens source(*connection);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });

    ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "A", "960/254x1080/286+0+0", "none"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; })) << "no notification for a new monitor";
    EXPECT_NE(find(source.screens(), "A"), nullptr);

    changes = 0;
    ASSERT_EQ(xvfb.run({"xrandr", "--delmonitor", "A"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; }))
        << "no notification for a removed monitor";
    EXPECT_EQ(find(source.screens(), "A"), nullptr);

    // An empty handler removes it.
    source.setChangeHandler({});
    int before = changes;
    ASSERT_TRUE(addMonitors());
    XSync(connection->display(), False);
    connection->dispatchPending();
    EXPECT_EQ(changes, before);
}

TEST_F(RandrScreensTest, TheScaleComesFromXftDpiAndItsChangeIsAnnounced) {
    RandrScreens source(*connection);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    test::TempDir dir;
    std::ofstream(dir / "resources") << "Xft.dpi: 192\n";

    ASSERT_EQ(xvfb.run({"xrdb", "-nocpp", "-merge", (dir / "resources").string()}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; })) << "no notification for Xft.dpi";
    EXPECT_EQ(source.scale(), 2.0);
    auto screens = source.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].scale, 2.0);
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 960, 540}));

    changes = 0;
    ASSERT_EQ(xvfb.run({"xrdb", "-remove"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; }));
    EXPECT_EQ(source.screens()[0].scale, 1.0);
}

}  // namespace
}  // namespace tavel
