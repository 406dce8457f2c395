// Wallpaper windows against a real headless sway, drawn through EGL with Mesa's software
// rasteriser: their place and size, their pixels in grim's screenshots, pausing while
// hidden or covered by another program's fullscreen window, and outputs coming and going
// (on a sway nested in the first, whose outputs are windows that can be closed).

#include "effects/catalog.h"
#include "fullscreen_client.h"
#include "platform/wayland/wayland_screens.h"
#include "platform/wayland/wayland_wallpaper_window.h"
#include "wayland_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

class WaylandWindows : public test::WaylandTest {};

// Restored at the end, so the other tests see the output as it was.
struct OutputScale {
    const test::SwayServer& sway;
    explicit OutputScale(const test::SwayServer& s, const char* scale) : sway(s) {
        sway.run({"swaymsg", "output", "HEADLESS-1", "scale", scale});
    }
    ~OutputScale() { sway.run({"swaymsg", "output", "HEADLESS-1", "scale", "1"}); }
};

// A wallpaper covers its output in pixels (size times scale), shows the effect, lies
// below other programs' windows, and draws only while it can be seen: not before it is
// shown, not while hidden, not while a fullscreen window covers it.
TEST_F(WaylandWindows, WallpaperFillsItsOutputBelowWindowsAndDrawsOnlyWhileSeen) {
    OutputScale scaled(sway, "2");
    ASSERT_TRUE(settle());
    auto screens = WaylandScreens(*connection, loop).screens();
    ASSERT_EQ(screens.size(), 1u);
    WaylandWallpaperWindowFactory factory(*services);
    auto w = factory.makeWaylandWindow(screens[0]);
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

    // Hidden, then shown again.
    w->orderOut();
    EXPECT_TRUE(w->view().isPaused());
    ASSERT_TRUE(settle());
    EXPECT_LE(test::screenshot(sway, "HEADLESS-1").colours, 2u) << "still shown";
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 2)) << "not drawing when shown again";

    // Another program's fullscreen window: sway no longer shows the wallpaper and sends
    // it no frame callbacks.
    {
        test::FullscreenClient cover("HEADLESS-1");
        ASSERT_TRUE(cover.ok());
        ASSERT_TRUE(runUntil(loop, [&] { return cover.pump() && w->view().isPaused(); }))
            << "not paused when covered";
        ASSERT_TRUE(settle());
        EXPECT_EQ(test::screenshot(sway, "HEADLESS-1").colours, 1u) << "not below the window";
        std::uint64_t frames = w->view().framesDrawn();
        ASSERT_TRUE(settle());
        EXPECT_EQ(w->view().framesDrawn(), frames);
    }
    EXPECT_TRUE(runUntil(loop, [&] { return !w->view().isPaused(); })) << "not resumed";
    ASSERT_TRUE(framesPass(w->view(), 2));
    EXPECT_TRUE(log.lines().empty());
}

// A nested sway's outputs are windows of the host: creating one adds a screen that a
// wallpaper window draws on; closing it takes the screen and the window's surface away.
TEST_F(WaylandWindows, OutputsComingAndGoingChangeTheScreensAndCloseTheirWindows) {
    test::SwayServer nested({"output * mode 160x120"}, &sway);
    ASSERT_NO_FATAL_FAILURE(connectTo(nested));
    WaylandScreens source(*connection, loop);
    int changes = 0;
    source.setChangeHandler([&] { ++changes; });
    auto names = [&] {
        std::vector<std::string> names;
        for (const auto& screen : source.screens()) names.push_back(screen.name);
        return names;
    };
    ASSERT_EQ(names(), std::vector<std::string>{"WL-1"});

    ASSERT_EQ(nested.run({"swaymsg", "create_output"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0 && names().size() == 2; }));
    EXPECT_EQ(names(), (std::vector<std::string>{"WL-1", "WL-2"}));
    WaylandWallpaperWindowFactory factory(*services);
    auto w = factory.makeWaylandWindow(source.screens()[1]);
    w->shaderView().setEffect(*shaderEffect("dome"));
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 2));
    EXPECT_EQ((std::vector{w->layer().width(), w->layer().height()}), (std::vector{160, 120}));

    changes = 0;
    ASSERT_EQ(sway.run({"swaymsg", "[title=\"wlroots - WL-2\"]", "kill"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return changes > 0; })) << "no change reported";
    EXPECT_EQ(names(), std::vector<std::string>{"WL-1"});
    EXPECT_TRUE(w->layer().closed());
    EXPECT_TRUE(w->view().isPaused());
    // A window for a screen that is gone is never shown.
    auto late = factory.makeWaylandWindow(
        {displayNumberForMonitorName("WL-2"), "WL-2", {160, 0, 160, 120}, 1.0});
    late->orderFront();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(late->layer().closed());
    EXPECT_TRUE(late->view().isPaused());
}

}  // namespace
}  // namespace tavel
