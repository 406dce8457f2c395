// tavel in real X11 desktops, and in GNOME's Wayland session through its Xwayland, each
// started as its login starts it (see X11DesktopSession): the icons stay as they were,
// the panels (GNOME's top bar) still show, a right-click on the desktop still opens the
// desktop's menu (where its menu is an X11 window: not on Wayland), a double-click on an
// icon still opens it, and the effect moves where no icon is. The same checks
// hold for each desktop without tavel first, so that a failure with it is tavel's.

#include "app/test_desktop_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::X11Desktop;
using test::X11DesktopSession;

class X11Desktops : public ::testing::TestWithParam<X11Desktop> {
protected:
    void report(const char* what, const X11DesktopSession& desktop) {
        std::printf("%s: %s started in %lld ms, %zu icons\n", what,
                    test::nameOf(GetParam()).c_str(),
                    static_cast<long long>(desktop.startupTime().count()), desktop.icons().size());
    }
    // The desktop's menu on a right-click, its launcher on a double-click.
    void clicks(const X11DesktopSession& desktop) {
        if (desktop.seesMenus()) {
            EXPECT_TRUE(desktop.rightClickOpensTheDesktopMenu());
        }
        if (!desktop.icons().empty()) {  // a plain window manager has none
            EXPECT_TRUE(desktop.doubleClickOpensTheLauncher());
        }
    }
};

// The frames the one monitor drew, -1 before the first.
long framesOf(const std::string& status) {
    auto displays = test::displaysOf(status);
    return displays.size() == 1 ? displays.begin()->second.frames : -1;
}

TEST_P(X11Desktops, WithoutTavelTheChecksHold) {
    X11DesktopSession desktop(GetParam());
    ASSERT_TRUE(desktop.ready());
    report("without tavel", desktop);
    EXPECT_TRUE(desktop.iconsLookAsInBaseline());
    EXPECT_TRUE(desktop.panelsLookAsInBaseline());
    clicks(desktop);
    // The desktop stands still where tavel's effect is to move.
    EXPECT_LT(test::changedShare(desktop.baseline(), desktop.screenshot(), desktop.freeArea()),
              0.001);
}

TEST_P(X11Desktops, WithTavelTheIconsMenuAndLaunchersStayAndTheEffectMoves) {
    X11DesktopSession desktop(GetParam());
    ASSERT_TRUE(desktop.ready());
    report("with tavel", desktop);
    test::DesktopSession session(desktop, R"({"idleAnimateMinutes":0})");
    session.start();
    // Drawing (a covered window draws nothing), and two shots some frames apart: the
    // effect moves in the free area.
    const ::testing::AssertionResult draws =
        session.waitForStatus([](const std::string& s) { return framesOf(s) > 3; }, 20s);
    EXPECT_TRUE(draws);
    if (draws) {
        const test::Picture first = desktop.screenshot();
        const long frames = framesOf(session.status());
        EXPECT_TRUE(session.waitForStatus(
            [&](const std::string& s) { return framesOf(s) > frames + 5; }, 20s));
        const double moved = test::changedShare(first, desktop.screenshot(), desktop.freeArea());
        std::printf("the effect changed %.0f%% of the free area\n", moved * 100);
        EXPECT_GT(moved, 0.2) << "the effect does not show in the free area";
    }
    EXPECT_TRUE(desktop.iconsLookAsInBaseline());
    EXPECT_TRUE(desktop.panelsLookAsInBaseline());
    clicks(desktop);
}

INSTANTIATE_TEST_SUITE_P(, X11Desktops,
                         ::testing::Values(X11Desktop::Xfce, X11Desktop::Gnome,
                                           X11Desktop::GnomeWayland, X11Desktop::Mate,
                                           X11Desktop::Openbox),
                         [](const auto& info) { return test::nameOf(info.param); });

}  // namespace
}  // namespace tavel
