// tavel in real desktops: icons, panels, the desktop menu and launchers stay as without it,
// checked without tavel first so that a failure with it is tavel's; its effect moves.

#include "app/test_desktop_support.h"

#include <gtest/gtest.h>

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
    {
        SCOPED_TRACE("without tavel");
        // The desktop stands still where tavel's effect is to move (before the menu, which
        // may fade out there).
        EXPECT_LT(test::changedShare(desktop.baseline(), desktop.screenshot(), desktop.freeArea()),
                  0.001);
        checkIconsPanelsAndMenu(desktop);
    }
    SCOPED_TRACE("with tavel");  // the launcher only now: a double-click changes its look
    test::DesktopSession session(desktop, R"({"idleAnimateMinutes":0})");
    session.start();
    // Drawing (a covered window draws nothing), and moving in the free area.
    const auto draws =
        session.waitForStatus([](const std::string& s) { return test::framesOfOnly(s) > 3; }, 20s);
    EXPECT_TRUE(draws);
    if (draws) {
        const test::Shot first = desktop.screenshot();
        const long frames = test::framesOfOnly(session.status());
        EXPECT_TRUE(session.waitForStatus(
            [&](const std::string& s) { return test::framesOfOnly(s) > frames + 5; }, 20s));
        EXPECT_GT(test::changedShare(first, desktop.screenshot(), desktop.freeArea()), 0.2)
            << "the effect does not show in the free area";
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
