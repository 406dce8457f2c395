// tavel in real X11 desktops, and in GNOME's Wayland session through its Xwayland, each
// started as its login starts it. Without tavel first (so that a failure with it is tavel's),
// then with it: the icons stay as they were, the panels still show, a right-click on the
// desktop still opens its menu (where that is an X11 window), and the effect moves where no
// icon is; with it, a double-click on the launcher still opens it.

#include "app/test_desktop_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::X11Desktop;
using test::X11DesktopSession;

// The icons and panels as in the baseline, and the desktop's menu on a right-click.
void checkIconsPanelsAndMenu(const X11DesktopSession& desktop) {
    EXPECT_TRUE(desktop.iconsLookAsInBaseline());
    EXPECT_TRUE(desktop.panelsLookAsInBaseline());
    if (desktop.seesMenus()) {
        EXPECT_TRUE(desktop.rightClickOpensTheDesktopMenu());
    }
}

class X11Desktops : public ::testing::TestWithParam<X11Desktop> {};

TEST_P(X11Desktops, WithTavelTheIconsMenuAndLaunchersStayAndTheEffectMoves) {
    X11DesktopSession desktop(GetParam());
    ASSERT_TRUE(desktop.ready());
    std::printf("%s: %zu icons\n", test::nameOf(GetParam()).c_str(), desktop.icons().size());
    {
        SCOPED_TRACE("without tavel");
        // The desktop stands still where tavel's effect is to move (before the menu, which
        // may fade out there).
        EXPECT_LT(test::changedShare(desktop.baseline(), desktop.screenshot(), desktop.freeArea()),
                  0.001);
        checkIconsPanelsAndMenu(desktop);
    }
    // The launcher only with tavel: a double-click selects it, which changes its look.
    SCOPED_TRACE("with tavel");
    test::DesktopSession session(desktop, R"({"idleAnimateMinutes":0})");
    session.start();
    // Drawing (a covered window draws nothing), and moving in the free area between two
    // shots some frames apart.
    const auto draws =
        session.waitForStatus([](const std::string& s) { return test::framesOfOnly(s) > 3; }, 20s);
    EXPECT_TRUE(draws);
    if (draws) {
        const test::Shot first = desktop.screenshot();
        const long frames = test::framesOfOnly(session.status());
        EXPECT_TRUE(session.waitForStatus(
            [&](const std::string& s) { return test::framesOfOnly(s) > frames + 5; }, 20s));
        const double moved = test::changedShare(first, desktop.screenshot(), desktop.freeArea());
        std::printf("the effect changed %.0f%% of the free area\n", moved * 100);
        EXPECT_GT(moved, 0.2) << "the effect does not show in the free area";
    }
    checkIconsPanelsAndMenu(desktop);
    if (!desktop.icons().empty()) {  // a plain window manager has none
        EXPECT_TRUE(desktop.doubleClickOpensTheLauncher());
    }
}

INSTANTIATE_TEST_SUITE_P(, X11Desktops,
                         ::testing::Values(X11Desktop::Xfce, X11Desktop::Gnome,
                                           X11Desktop::GnomeWayland, X11Desktop::Mate,
                                           X11Desktop::Openbox),
                         [](const auto& info) { return test::nameOf(info.param); });

}  // namespace
}  // namespace tavel
