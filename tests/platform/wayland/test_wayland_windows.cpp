// Wallpaper and saver windows on a headless sway through EGL (llvmpipe), seen in grim's
// shots; outputs on a nested sway; idle time and input, keys typed by wtype.

#include "effects/catalog.h"
#include "platform/wayland/wayland_idle.h"
#include "platform/wayland/wayland_saver_window.h"
#include "platform/wayland/wayland_screens.h"
#include "platform/wayland/wayland_seat.h"
#include "platform/wayland/wayland_wallpaper_window.h"
#include "support/child_process.h"
#include "wayland_fixture.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;

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

// The output as a screen, each change reported once; a wallpaper draws only while seen; a
// saver above a fullscreen window fades from black; keys reset idle and reach both monitors.
TEST_F(WaylandWindows, WallpaperDrawsOnlyWhileSeenAndTheSaverAboveAllTakesTheKeys) {
    EXPECT_TRUE(connection->hasLayerShell());
    WaylandScreens source(*connection, loop);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    struct Step {
        const char* scale;
        int reports;
        Rect frame;
        double value;
    };
    // Fractional: sway tells clients the whole scale 2, xdg-output the logical size.
    for (const Step& step :
         {Step{"1.5", 1, {0, 0, 213, 160}, 1.5}, Step{"1.5", 0, {0, 0, 213, 160}, 1.5},
          Step{"2", 1, {0, 0, 160, 120}, 2.0}}) {
        SCOPED_TRACE(step.scale);
        ASSERT_TRUE(scale(step.scale));
        ASSERT_TRUE(settle());
        EXPECT_EQ(std::exchange(changes, 0), step.reports);
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
    auto shot = test::screenshot(sway, "HEADLESS-1");
    ASSERT_TRUE(shot.taken);
    EXPECT_GT(shot.lit, 0.2);
    EXPECT_GT(shot.colours, 16u) << "no effect on the output";

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
        ASSERT_TRUE(settle());
        EXPECT_LE(test::screenshot(sway, "HEADLESS-1").colours, 2u) << "not below the window";
        std::uint64_t frames = w->view().framesDrawn();
        ASSERT_TRUE(settle());
        EXPECT_EQ(w->view().framesDrawn(), frames);

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
        shot = test::screenshot(sway, "HEADLESS-1");
        EXPECT_GT(shot.lit, 0.2);
        EXPECT_GT(shot.colours, 16u);

        // Sway offers KDE's idle protocol: the idle time grows once the timeout passed.
        ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() >= 0.2; }))
            << "never idle: is something typing?";
        double before = idle.idleSeconds();
        ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() > before; }));
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

        monitor.stop();
        int seen = inputs;
        ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() >= 0.3; }));
        ASSERT_EQ(sway.run({"wtype", "x"}), 0);
        EXPECT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() == 0; }));
        ASSERT_TRUE(settle());
        EXPECT_EQ(inputs, seen) << "reported after stop()";
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
