// Outputs as screens: the pure rules, then the real thing against a headless sway whose
// outputs are scaled with swaymsg; and the connection's end when the compositor drops it.

#include "platform/wayland/wayland_outputs.h"
#include "platform/wayland/wayland_screens.h"
#include "wayland_fixture.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tavel {
namespace {

using test::runUntil;

TEST(WaylandScreenRecords, KeepTheOrderAndTakeFramesAndScalesFromTheLogicalGeometry) {
    using L = OutputState::Logical;
    struct Case {
        OutputState output;
        Rect frame;
        double scale;
    };
    const Case cases[] = {
        // Logical geometry: the frame as it is, the scale in 120ths of mode per unit.
        {{"DP-1", 0, 0, 3840, 2160, 0, 2, L{0, 0, 1920, 1080}}, {0, 0, 1920, 1080}, 2.0},
        {{"HDMI-A-1", 0, 0, 2560, 1440, 0, 2, L{1920, -40, 1706, 960}},
         {1920, -40, 1706, 960},
         1.5},
        // Turned a quarter (90 and flipped 270): the mode's sides swap.
        {{"DP-2", 0, 0, 1920, 1080, 1, 1, L{0, 0, 1080, 1920}}, {0, 0, 1080, 1920}, 1.0},
        {{"DP-3", 0, 0, 2160, 3840, 7, 2, L{0, 0, 1920, 1080}}, {0, 0, 1920, 1080}, 2.0},
        // No xdg-output: the position, and the mode over wl_output's whole scale.
        {{"eDP-1", -100, 50, 640, 480, 0, 2, std::nullopt}, {-100, 50, 320, 240}, 2.0},
        {{"", 0, 0, 800, 600, 0, 0, std::nullopt}, {0, 0, 800, 600}, 1.0},
        // No current mode: the logical size at scale 1.
        {{"X", 5, 5, 0, 0, 0, 1, L{5, 5, 100, 80}}, {5, 5, 100, 80}, 1.0},
    };
    std::vector<OutputState> outputs;
    for (const auto& c : cases) outputs.push_back(c.output);
    auto records = screenRecordsFor(outputs);
    ASSERT_EQ(records.size(), std::size(cases));
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(cases[i].output.name);
        EXPECT_EQ(records[i].name, cases[i].output.name);
        EXPECT_EQ(records[i].number, displayNumberForMonitorName(cases[i].output.name));
        EXPECT_EQ(records[i].frame, cases[i].frame);
        EXPECT_EQ(records[i].scale, cases[i].scale);
    }
}

TEST(WaylandConnectionOpen, GivesNothingWithoutADisplayToConnectTo) {
    test::sharedSway();
    AsioScheduler loop;
    std::string saved = std::getenv("WAYLAND_DISPLAY");
    for (const char* name : {static_cast<const char*>(nullptr), "", "no-such-socket"}) {
        if (name)
            setenv("WAYLAND_DISPLAY", name, 1);
        else
            unsetenv("WAYLAND_DISPLAY");
        EXPECT_EQ(WaylandConnection::open(loop.context()), nullptr) << (name ? name : "unset");
    }
    setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
}

// Losing the compositor (here: it ends the connection over a protocol error) ends the
// process with a line in the log, after the lost handler ran.
TEST(WaylandConnectionLost, EndsTheProcessWithALogLine) {
    test::sharedSway();
    GTEST_FLAG_SET(death_test_style, "fast");
    struct StandardError final : LogSink {
        void write(std::string_view line) override {
            std::fprintf(stderr, "%.*s\n", int(line.size()), line.data());
        }
    };
    EXPECT_EXIT(
        {
            AsioScheduler loop;
            StandardError sink;
            auto connection = WaylandConnection::open(loop.context(), sink);
            if (!connection || !connection->hasLayerShell()) std::exit(3);
            connection->setLostHandler([] { std::fprintf(stderr, "lost handler ran\n"); });
            wl_surface* surface = wl_compositor_create_surface(connection->globals().compositor);
            // No such layer: the compositor answers with an error and hangs up.
            zwlr_layer_shell_v1_get_layer_surface(connection->globals().layerShell, surface,
                                                  nullptr, 99, "bad");
            connection->dispatchSoon();
            loop.runFor(std::chrono::seconds(10));
            std::exit(4);
        },
        ::testing::ExitedWithCode(1),
        "lost handler ran\nTavel: lost the Wayland display \\(protocol error 1 on "
        "zwlr_layer_shell_v1\\)");
}

class WaylandScreensTest : public ::testing::Test {
protected:
    ~WaylandScreensTest() override { sway.run({"swaymsg", "output", "HEADLESS-1", "scale", "1"}); }

    bool output(const std::string& what, const std::string& value) {
        return sway.run({"swaymsg", "output", "HEADLESS-1", what, value}) == 0;
    }

    test::SwayServer& sway = test::sharedSway();
    AsioScheduler loop;
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open(loop.context());
};

TEST_F(WaylandScreensTest, ListsTheOutputsAndReportsEachRealChangeOnce) {
    ASSERT_NE(connection, nullptr) << sway.log();
    EXPECT_TRUE(connection->hasLayerShell());
    WaylandScreens source(*connection, loop);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    auto reportsSinceLastLook = [&] {
        bool ran = false;
        EXPECT_TRUE(connection->roundtrip());
        loop.post([&] { ran = true; });
        EXPECT_TRUE(runUntil(loop, [&] { return ran; }));
        return std::exchange(changes, 0);
    };
    auto screens = source.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].name, "HEADLESS-1");
    EXPECT_EQ(screens[0].number, displayNumberForMonitorName("HEADLESS-1"));
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 320, 240}));
    EXPECT_EQ(screens[0].scale, 1.0);

    struct Step {
        const char* what;
        const char* value;
        int reports;
        Rect frame;
        double scale;
    };
    const Step steps[] = {
        {"scale", "2", 1, {0, 0, 160, 120}, 2.0},
        // Fractional: sway tells clients the whole scale 2, xdg-output the logical size.
        {"scale", "1.5", 1, {0, 0, 213, 160}, 1.5},
        {"scale", "1.5", 0, {0, 0, 213, 160}, 1.5},
        {"scale", "1", 1, {0, 0, 320, 240}, 1.0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.what) + " " + step.value);
        ASSERT_TRUE(output(step.what, step.value));
        EXPECT_EQ(reportsSinceLastLook(), step.reports);
        screens = source.screens();
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0].frame, step.frame);
        EXPECT_EQ(screens[0].scale, step.scale);
    }

    // An empty handler removes it.
    source.setChangeHandler({});
    ASSERT_TRUE(output("scale", "2"));
    EXPECT_EQ(reportsSinceLastLook(), 0);
}

}  // namespace
}  // namespace tavel
