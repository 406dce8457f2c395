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

TEST(ScreenRecordsFor, PutsTheFirstPrimaryFirstAndKeepsTheRestInOrder) {
    struct Case {
        std::vector<bool> primary;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {{false, true, false, true}, {"DP-1", "HDMI-1", "DP-2", "DP-3"}},
        {{false, false, false, true}, {"DP-3", "HDMI-1", "DP-1", "DP-2"}},
        {{false, false, false, false}, {"HDMI-1", "DP-1", "DP-2", "DP-3"}},
    };
    for (const Case& c : cases) {
        std::vector<MonitorGeometry> monitors;
        const char* names[] = {"HDMI-1", "DP-1", "DP-2", "DP-3"};
        for (int i = 0; i < 4; ++i) monitors.push_back({names[i], c.primary[i], i * 10, 0, 10, 10});
        EXPECT_EQ(namesOf(screenRecordsFor(monitors, 1.0)), c.order);
    }
}

TEST(ScreenRecordsFor, NumbersComeFromNamesAndFramesAreInPoints) {
    auto screens =
        screenRecordsFor({{"DP-1", true, -3840, 200, 3840, 2160}, {"", false, 0, 0, 8, 6}}, 2.0);
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].number, displayNumberForMonitorName("DP-1"));
    EXPECT_EQ(screens[0].frame, (Rect{-1920, 100, 1920, 1080}));
    EXPECT_EQ(screens[1].number, std::nullopt);
    EXPECT_EQ(screens[1].frame, (Rect{0, 0, 4, 3}));
    // A scale that is no positive number counts as one.
    for (double scale : {0.0, -2.0, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(screenRecordsFor({{"DP-1", true, 0, 0, 100, 50}}, scale)[0].frame,
                  (Rect{0, 0, 100, 50}));
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

TEST_F(RandrScreensTest, ListsTheMonitorsPrimaryFirst) {
    RandrScreens source(*connection, loop);
    auto screens = source.screens();
    // Without monitors of its own, Xvfb's one output "screen" is the one monitor.
    ASSERT_EQ(namesOf(screens), (std::vector<std::string>{"screen"}));
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(screens[0].scale, 1.0);

    // Monitors without outputs leave the output's own monitor in place; one that takes
    // the output replaces it.
    ASSERT_TRUE(addMonitors());
    EXPECT_EQ(namesOf(source.screens()), (std::vector<std::string>{"A", "B", "screen"}));
    ASSERT_EQ(xvfb.run({"xrandr", "--delmonitor", "A"}), 0);
    ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "A", "960/254x1080/286+0+0", "screen"}), 0);
    screens = source.screens();
    ASSERT_EQ(namesOf(screens), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(screens[0].frame, (Rect{960, 0, 960, 1080}));
    EXPECT_EQ(screens[0].number, displayNumberForMonitorName("B"));

    Display* display = connection->display();
    XRRMonitorInfo* monitor = XRRAllocateMonitor(display, 0);
    monitor->name = XInternAtom(display, "P", False);
    monitor->primary = True;
    monitor->x = 300;
    monitor->width = monitor->height = 500;
    monitor->mwidth = monitor->mheight = 100;
    XRRSetMonitor(display, connection->root(), monitor);
    XRRFreeMonitors(monitor);
    screens = source.screens();
    EXPECT_EQ(namesOf(screens), (std::vector<std::string>{"P", "B", "A"}));
    EXPECT_EQ(screens.front().frame, (Rect{300, 0, 500, 500}));
}

TEST_F(RandrScreensTest, EachRealChangeIsReportedOnceAndNothingElse) {
    RandrScreens source(*connection, loop);
    int changes = 0, notifications = 0;
    source.setChangeHandler([&] { ++changes; });
    int counter = connection->addExtensionHandler([&](const XEvent& event) {
        notifications += event.type == ConfigureNotify || event.type == PropertyNotify ||
                         event.type >= LASTEvent;
    });
    auto settle = [&] {
        sync();
        loop.runFor(std::chrono::milliseconds(300));
    };

    // A burst of notifications before the loop runs: one look, one report.
    test::TempDir dir;
    std::ofstream(dir / "other") << "Xcursor.size: 24\n";
    ASSERT_TRUE(addMonitors());
    ASSERT_EQ(xvfb.run({"xrdb", "-nocpp", "-merge", (dir / "other").string()}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; })) << "no report for new monitors";
    settle();
    EXPECT_EQ(changes, 1);
    EXPECT_GE(notifications, 3);
    ASSERT_EQ(xvfb.run({"xrandr", "--delmonitor", "A"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes == 2; })) << "no report for a removal";

    // Resources that leave Xft.dpi alone change nothing; Xft.dpi changes the scale.
    notifications = 0;
    ASSERT_EQ(xvfb.run({"xrdb", "-nocpp", "-merge", (dir / "other").string()}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return notifications > 0; }));
    settle();
    EXPECT_EQ(changes, 2);
    std::ofstream(dir / "resources") << "Xft.dpi: 192\n";
    ASSERT_EQ(xvfb.run({"xrdb", "-nocpp", "-merge", (dir / "resources").string()}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes == 3; })) << "no report for Xft.dpi";
    EXPECT_EQ(source.screens()[0].frame, (Rect{480, 0, 480, 540}));
    ASSERT_EQ(xvfb.run({"xrdb", "-remove"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes == 4; }));
    EXPECT_EQ(source.screens()[0].scale, 1.0);

    // An empty handler removes it.
    source.setChangeHandler({});
    ASSERT_EQ(xvfb.run({"xrandr", "--delmonitor", "B"}), 0);
    settle();
    EXPECT_EQ(changes, 4);
    connection->removeExtensionHandler(counter);
}

}  // namespace
}  // namespace tavel
