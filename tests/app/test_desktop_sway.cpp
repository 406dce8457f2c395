// tavel under sway: a background surface per output, a tray item, the gallery on Xwayland.

#include "app/test_desktop_support.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::DesktopSession;
using test::framesOfOnly;
using test::has;

// Sway as a login starts it (Xwayland, swaybg, waybar); tavel's quit leaves nothing behind.
TEST(UnderSway, TheEffectShowsAboveThePersonsBackgroundAndItsItemInTheBar) {
    test::SwayServer sway({"output * mode 320x240", "default_border none"}, nullptr,
                          {.xwayland = true, .background = 0x3366cc, .bar = true});
    DesktopSession session(64, 64, R"({"idleAnimateMinutes":0})", &sway);
    ASSERT_EQ(test::SwayServer::trayPixels(test::screenshot(sway, "HEADLESS-1")), 0);
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus([](const std::string& s) { return framesOfOnly(s) > 3; }, 30s,
                                      &status));
    // The EGL context names Mesa's rasteriser too: the budget applies.
    EXPECT_TRUE(has("cpu budget: 25% of a core (llvmpipe")(status)) << status;

    // The effect moves over most of the output (swaybg's plain picture over it would not).
    const test::Shot first = test::screenshot(sway, "HEADLESS-1");
    const long frames = framesOfOnly(session.status());
    ASSERT_TRUE(session.waitForStatus(
        [&](const std::string& s) { return framesOfOnly(s) > frames + 3; }, 20s));
    const test::Shot second = test::screenshot(sway, "HEADLESS-1");
    ASSERT_TRUE(first.taken && second.taken) << sway.log();
    EXPECT_GT(test::changedShare(first, second), 0.3);

    // The bar's tray draws tavel's item (the only one there).
    EXPECT_TRUE(test::waitUntil(
        [&] { return test::SwayServer::trayPixels(test::screenshot(sway, "HEADLESS-1")) > 30; },
        20s))
        << session.logText();

    // A second start opens the gallery: GLX and EGL take turns, and both go on drawing.
    ASSERT_EQ(session.tavel({}).status, 0);
    ASSERT_TRUE(session.waitForStatus(
        [](const std::string& s) { return test::galleryFrames(s) > 3; }, 20s, &status));
    const long desktop = framesOfOnly(status), gallery = test::galleryFrames(status);
    EXPECT_TRUE(session.waitForStatus(
        [&](const std::string& s) {
            return framesOfOnly(s) > desktop + 3 && test::galleryFrames(s) > gallery + 3;
        },
        20s));

    // An output added gets a background surface of its own that draws.
    ASSERT_EQ(sway.run({"swaymsg", "create_output"}), 0);
    EXPECT_TRUE(session.waitForStatus(
        [](const std::string& text) {
            auto displays = test::displaysOf(text);
            return displays.size() == 2 && std::all_of(displays.begin(), displays.end(),
                                                       [](auto& d) { return d.second.frames > 3; });
        },
        30s));

    ASSERT_EQ(session.tavel({"quit"}).status, 0);
    ASSERT_TRUE(session.app().waitForExit(10s).has_value());
    EXPECT_EQ(session.processesStarted(), std::vector<std::string>{});
}

}  // namespace
}  // namespace tavel
