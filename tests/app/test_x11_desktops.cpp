// tavel in real desktops: its effect moves in the free area while icons, panels, the desktop
// menu and launchers stay as they were before it started.

#include "app/test_desktop_support.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::X11Desktop;
using test::X11DesktopSession;

class X11Desktops : public ::testing::TestWithParam<X11Desktop> {};

TEST_P(X11Desktops, WithTavelTheIconsMenuAndLaunchersStayAndTheEffectMoves) {
    X11DesktopSession desktop(GetParam());
    ASSERT_TRUE(desktop.ready());
    // Without tavel the free area stands still: its motion there is tavel's.
    EXPECT_LT(test::changedShare(desktop.baseline(), desktop.screenshot(), desktop.freeArea()),
              0.001);
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
    EXPECT_TRUE(desktop.iconsLookAsInBaseline());
    EXPECT_TRUE(desktop.panelsLookAsInBaseline());
    EXPECT_TRUE(desktop.seesMenus() ? desktop.rightClickOpensTheDesktopMenu()
                                    : ::testing::AssertionSuccess());
    EXPECT_TRUE(desktop.doubleClickOpensTheLauncher());  // last: it changes the launcher's look
}

INSTANTIATE_TEST_SUITE_P(, X11Desktops,
                         ::testing::Values(X11Desktop::Xfce, X11Desktop::Gnome,
                                           X11Desktop::GnomeWayland, X11Desktop::Mate),
                         [](const auto& info) { return test::nameOf(info.param); });

}  // namespace
}  // namespace tavel
