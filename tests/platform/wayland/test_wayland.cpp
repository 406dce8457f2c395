// Outputs as screens, the connection and its socket; wallpaper and saver windows on a
// headless sway through EGL (llvmpipe) seen in grim's shots; idle time and keys by wtype.

#include "effects/catalog.h"
#include "platform/wayland/wayland_idle.h"
#include "platform/wayland/wayland_outputs.h"
#include "platform/wayland/wayland_saver_window.h"
#include "platform/wayland/wayland_screens.h"
#include "platform/wayland/wayland_seat.h"
#include "platform/wayland/wayland_socket.h"
#include "platform/wayland/wayland_wallpaper_window.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "wayland_fixture.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;

TEST(WaylandScreenRecords, KeepTheOrderAndTakeFramesAndScalesFromTheLogicalGeometry) {
    using L = OutputState::Logical;
    const std::pair<OutputState, ScreenRecord> cases[] = {
        // Logical geometry: the frame as it is, the scale in 120ths of mode per unit.
        {{"DP-1", 0, 0, 3840, 2160, 0, 2, L{0, 0, 1920, 1080}},
         {{}, "DP-1", {0, 0, 1920, 1080}, 2}},
        {{"HDMI-A-1", 0, 0, 2560, 1440, 0, 2, L{1920, -40, 1706, 960}},
         {{}, "HDMI-A-1", {1920, -40, 1706, 960}, 1.5}},
        // Turned a quarter: the mode's sides swap.
        {{"DP-2", 0, 0, 1920, 1080, 1, 1, L{0, 0, 1080, 1920}},
         {{}, "DP-2", {0, 0, 1080, 1920}, 1}},
        // No xdg-output: the position, and the mode over wl_output's whole scale.
        {{"eDP-1", -100, 50, 640, 480, 0, 2, std::nullopt}, {{}, "eDP-1", {-100, 50, 320, 240}, 2}},
    };
    std::vector<OutputState> outputs;
    std::vector<ScreenRecord> expected;
    for (auto [output, record] : cases) {
        outputs.push_back(output);
        record.number = displayNumberForMonitorName(record.name);
        expected.push_back(record);
    }
    EXPECT_EQ(screenRecordsFor(outputs), expected);
}

// Losing the compositor (over a protocol error) exits 1 with a log line after the handler.
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

// The compositor's socket as the name in the runtime folder or a path itself; waited for.
TEST(WaylandSocket, IsFoundAndWaitedForUntilTheCompositorListens) {
    EXPECT_EQ(waylandSocketPath("wayland-1", "/run/user/7"), "/run/user/7/wayland-1");
    EXPECT_EQ(waylandSocketPath("/tmp/compositor", nullptr), "/tmp/compositor");

    test::TempDir run;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, (run / "wayland-1").c_str(), sizeof address.sun_path - 1);
    std::thread compositor([&] {
        std::this_thread::sleep_for(100ms);  // the wait has begun
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd, 1), 0);
    });
    EXPECT_TRUE(waitForSocket(run / "wayland-1", 20s));
    compositor.join();
    close(fd);
}

// A key every 150 ms for 3 s: keys after the client took the new virtual keyboard arrive.
std::vector<std::string> keysForAWhile() {
    std::vector<std::string> command = {"wtype"};
    for (int i = 0; i < 20; ++i)
        for (const char* part : {"-s", "150", "x"}) command.push_back(part);
    return command;
}

// The output's scale is put back at the end, so the other tests see it as it was.
class WaylandWindows : public test::WaylandTest {
protected:
    ~WaylandWindows() override { scale("1"); }
    bool scale(const char* value) {
        return sway.run({"swaymsg", "output", "HEADLESS-1", "scale", value}) == 0;
    }
};

// The output's scale; a wallpaper drawing only while seen; a saver fading in; keys seen.
TEST_F(WaylandWindows, WallpaperDrawsOnlyWhileSeenAndTheSaverAboveAllTakesTheKeys) {
    WaylandScreens source(*connection, loop);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    struct Step {
        const char* scale;
        Rect frame;
        double value;
    };
    // Fractional: sway tells clients the whole scale 2, xdg-output the logical size.
    for (const Step& step :
         {Step{"1.5", {0, 0, 213, 160}, 1.5}, Step{"2", {0, 0, 160, 120}, 2.0}}) {
        SCOPED_TRACE(step.scale);
        ASSERT_TRUE(scale(step.scale));
        ASSERT_TRUE(settle());
        EXPECT_EQ(std::exchange(changes, 0), 1);
        EXPECT_EQ(source.screens(),
                  (std::vector<ScreenRecord>{{displayNumberForMonitorName("HEADLESS-1"),
                                              "HEADLESS-1", step.frame, step.value}}));
    }
    const ScreenRecord screen = source.screens().at(0);
    WaylandIdleTime idle(*connection, loop, 200ms);
    WaylandInputMonitor monitor(*connection);
    ASSERT_TRUE(idle.available() && monitor.available());
    auto w = WaylandWallpaperWindowFactory(*services).makeWaylandWindow(screen);
    w->shaderView().setEffect(*shaderEffect("tiles"));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(w->view().isPaused()) << "drawing before it is shown";
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 3));
    EXPECT_EQ((std::vector{w->layer().width(), w->layer().height()}), (std::vector{160, 120}));
    EXPECT_EQ((std::vector{w->view().drawableWidth(), w->view().drawableHeight()}),
              (std::vector{320.0, 240.0}));

    w->orderOut();
    EXPECT_TRUE(w->view().isPaused());
    ASSERT_TRUE(settle());
    EXPECT_LE(test::screenshot(sway, "HEADLESS-1").colours, 2u) << "still shown";
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 2)) << "not drawing when shown again";

    {
        // Sway no longer shows the wallpaper and sends it no frame callbacks.
        auto cover = fullscreenCover();
        ASSERT_TRUE(runUntil(loop, [&] { return w->view().isPaused(); }))
            << "not paused when covered";

        WaylandSaverWindowFactory factory(*services);
        int saverInputs = 0, inputs = 0;
        factory.setInputHandler([&] { ++saverInputs; });
        auto saver = factory.makeWaylandSaverWindow(screen);
        saver->shaderView().setEffect(*shaderEffect("tiles"));
        saver->orderFront();
        ASSERT_TRUE(framesPass(saver->view(), 3));
        EXPECT_EQ((std::vector{saver->layer().width(), saver->layer().height()}),
                  (std::vector{160, 120}));
        EXPECT_EQ(test::screenshot(sway, "HEADLESS-1").lit, 0.0) << "not black at alpha 0";
        saver->setAlpha(1.0);
        ASSERT_TRUE(framesPass(saver->view(), 2));
        auto shot = test::screenshot(sway, "HEADLESS-1");
        EXPECT_GT(shot.lit, 0.2);
        EXPECT_GT(shot.colours, 16u);

        ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() >= 0.2; }))
            << "never idle: is something typing?";
        monitor.start([&] { ++inputs; });
        ASSERT_TRUE(settle());
        EXPECT_EQ(inputs + saverInputs, 0);
        test::ChildProgram typing;
        ASSERT_TRUE(sway.start(typing, keysForAWhile())) << "install wtype";
        EXPECT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() == 0; })) << "still idle";
        EXPECT_TRUE(runUntil(loop, [&] { return inputs > 0; })) << "no input reported";
        EXPECT_TRUE(runUntil(loop, [&] { return saverInputs > 0; })) << "no key on the saver";
        typing.stop();
        saver->orderOut();
        EXPECT_TRUE(saver->view().isPaused());
    }
    EXPECT_TRUE(runUntil(loop, [&] { return !w->view().isPaused(); })) << "not resumed";
    ASSERT_TRUE(framesPass(w->view(), 2));
    EXPECT_TRUE(log.lines().empty());
}

// A nested sway's output closed takes its screen and its window's surface away.
TEST_F(WaylandWindows, AnOutputClosedTakesItsScreenAndItsWindowsSurfaceAway) {
    test::SwayServer nested({"output * mode 160x120"}, &sway);
    ASSERT_NO_FATAL_FAILURE(connectTo(nested));
    WaylandScreens source(*connection, loop);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    ASSERT_EQ(nested.run({"swaymsg", "create_output"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0 && source.screens().size() == 2; }));
    const ScreenRecord second = source.screens()[1];
    EXPECT_EQ(second.name, "WL-2");
    WaylandWallpaperWindowFactory factory(*services);
    auto w = factory.makeWaylandWindow(second);
    w->shaderView().setEffect(*shaderEffect("dome"));
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 2));

    changes = 0;
    ASSERT_EQ(sway.run({"swaymsg", "[title=\"wlroots - WL-2\"]", "kill"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; })) << "no change reported";
    EXPECT_EQ(source.screens().size(), 1u);
    EXPECT_TRUE(w->layer().closed());
    EXPECT_TRUE(w->view().isPaused());
    // A window for a screen that is gone is never shown.
    auto late = factory.makeWaylandWindow(second);
    late->orderFront();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(late->layer().closed());
    EXPECT_TRUE(late->view().isPaused());
}

}  // namespace
}  // namespace tavel
