// The idle saver's pieces against a real headless sway: overlay windows above everything,
// fading from black, reporting key presses (typed with wtype, a virtual keyboard); and
// the idle time and input monitor from sway's idle notifications.

#include "effects/catalog.h"
#include "fullscreen_client.h"
#include "platform/wayland/wayland_idle.h"
#include "platform/wayland/wayland_saver_window.h"
#include "platform/wayland/wayland_screens.h"
#include "platform/wayland/wayland_seat.h"
#include "platform/wayland/wayland_wallpaper_window.h"
#include "support/child_process.h"
#include "wayland_fixture.h"

#include <chrono>
#include <string>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;

// Presses a key every 150 ms for 3 s: the virtual keyboard appears on the seat when wtype
// starts, and the keys that come once the test's client has taken it are delivered.
std::vector<std::string> keysForAWhile() {
    std::vector<std::string> command = {"wtype"};
    for (int i = 0; i < 20; ++i)
        for (const char* part : {"-s", "150", "x"}) command.push_back(part);
    return command;
}

class WaylandIdle : public test::WaylandTest {};

// A saver lies above a drawing wallpaper and another program's fullscreen window, shows
// black at alpha 0 and the effect at 1, and reports keys typed while it has the keyboard.
TEST_F(WaylandIdle, SaverIsAboveEverythingFadesFromBlackAndReportsInput) {
    auto screen = WaylandScreens(*connection, loop).screens().at(0);
    auto wallpaper = WaylandWallpaperWindowFactory(*services).makeWaylandWindow(screen);
    wallpaper->shaderView().setEffect(*shaderEffect("dome"));
    wallpaper->orderFront();
    ASSERT_TRUE(framesPass(wallpaper->view(), 2));
    test::FullscreenClient cover("HEADLESS-1");
    ASSERT_TRUE(cover.ok());
    ASSERT_TRUE(runUntil(loop, [&] { return cover.pump(); }));

    WaylandSaverWindowFactory factory(*services);
    int inputs = 0;
    factory.setInputHandler([&] { ++inputs; });
    auto saver = factory.makeWaylandSaverWindow(screen);
    saver->shaderView().setEffect(*shaderEffect("tiles"));
    saver->orderFront();
    // Made at alpha 0: frames are drawn, all black.
    ASSERT_TRUE(framesPass(saver->view(), 3));
    EXPECT_EQ((std::vector{saver->layer().width(), saver->layer().height()}),
              (std::vector{320, 240}));
    auto shot = test::screenshot(sway, "HEADLESS-1");
    ASSERT_TRUE(shot.taken);
    EXPECT_EQ(shot.lit, 0.0);
    saver->setAlpha(1.0);
    ASSERT_TRUE(framesPass(saver->view(), 2));
    shot = test::screenshot(sway, "HEADLESS-1");
    EXPECT_GT(shot.lit, 0.2);
    EXPECT_GT(shot.colours, 16u);

    ASSERT_TRUE(settle());
    EXPECT_EQ(inputs, 0);
    test::ChildProgram typing;
    ASSERT_TRUE(sway.start(typing, keysForAWhile())) << "install wtype";
    EXPECT_TRUE(runUntil(loop, [&] { return inputs > 0; })) << "no key reported";
    typing.stop();

    saver->orderOut();
    EXPECT_TRUE(saver->view().isPaused());
    EXPECT_TRUE(log.lines().empty());
}

// Sway offers KDE's idle protocol (not ext-idle-notify-v1): the idle time grows once the
// timeout passed without input and drops to 0 at the next key; the input monitor reports
// that key, and nothing once stopped.
TEST_F(WaylandIdle, IdleTimeAndInputMonitorFollowTheSeat) {
    WaylandIdleTime idle(*connection, loop, 200ms);
    ASSERT_TRUE(idle.available());
    WaylandInputMonitor monitor(*connection);
    ASSERT_TRUE(monitor.available());
    ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() >= 0.2; }))
        << "never idle: is something typing?";
    double before = idle.idleSeconds();
    ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() > before; }));

    int inputs = 0;
    monitor.start([&] { ++inputs; });
    ASSERT_TRUE(settle());
    EXPECT_EQ(inputs, 0);
    // Keys for a while: the first one after the monitor's own pause resumes it.
    test::ChildProgram typing;
    ASSERT_TRUE(sway.start(typing, keysForAWhile())) << "install wtype";
    EXPECT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() == 0; })) << "still idle";
    EXPECT_TRUE(runUntil(loop, [&] { return inputs > 0; })) << "no input reported";
    typing.stop();

    monitor.stop();
    int seen = inputs;
    ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() >= 0.3; }));
    ASSERT_EQ(sway.run({"wtype", "x"}), 0);
    EXPECT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() == 0; }));
    ASSERT_TRUE(settle());
    EXPECT_EQ(inputs, seen) << "reported after stop()";
}

}  // namespace
}  // namespace tavel
