// The coverage rule on tables of stacking orders, and the error trap that lets it ask
// about windows that may vanish.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/x11/x11_coverage_rule.h"
#include "platform/x11/x11_error_trap.h"
#include "x11_loop_fixture.h"

#include <X11/Xatom.h>

#include <vector>

namespace tavel {
namespace {

// Two monitors side by side on the 1920x1080 test screen.
constexpr PixelRect kMonitorA{0, 0, 960, 1080};
constexpr PixelRect kMonitorB{960, 0, 960, 1080};

constexpr Window kOwn = 10, kOtherOwn = 11, kApp = 20;

StackedWindow shown(Window id, PixelRect frame) {
    StackedWindow w;
    w.id = id;
    w.frame = frame;
    w.viewable = true;
    return w;
}

TEST(CoverageRule, CountsOnlyShownWindowsAboveTheWallpaper) {
    StackedWindow own = shown(kOwn, kMonitorA);
    auto with = [](StackedWindow w, auto change) {
        change(w);
        return w;
    };
    StackedWindow whole = shown(kApp, {-5, -5, 970, 1090});
    StackedWindow maximised =
        with(shown(kApp, {0, 19, 960, 1061}), [](auto& w) { w.maximized = true; });
    struct Case {
        const char* what;
        std::vector<StackedWindow> stack;  // bottom to top
        bool covered;
    };
    const std::vector<Case> cases = {
        {"a window holding all of the monitor", {own, whole}, true},
        {"the same below the wallpaper", {whole, own}, false},
        {"the same, the wallpaper not listed", {whole}, true},
        {"one pixel short", {own, shown(kApp, {0, 0, 959, 1080})}, false},
        {"a small window", {own, shown(kApp, {100, 100, 200, 200})}, false},
        {"unmapped", {own, with(whole, [](auto& w) { w.viewable = false; })}, false},
        {"another wallpaper window", {own, shown(kOtherOwn, kMonitorA)}, false},
        {"maximised, leaving a panel", {own, maximised}, true},
        {"maximised and minimised",
         {own, with(maximised, [](auto& w) { w.hidden = true; })},
         false},
        {"full-screen but small, centre on the monitor",
         {own, with(shown(kApp, {100, 100, 200, 200}), [](auto& w) { w.fullscreen = true; })},
         true},
        {"maximised on the other monitor",
         {own, with(shown(kApp, {960, 19, 960, 1061}), [](auto& w) { w.maximized = true; })},
         false},
        // The centre on the line between two monitors belongs to the right-hand one.
        {"maximised, centre on the right edge",
         {own, with(shown(kApp, {480, 0, 960, 1080}), [](auto& w) { w.maximized = true; })},
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rectCovered(kMonitorA, kOwn, c.stack, {kOwn, kOtherOwn}), c.covered) << c.what;
}

// The error codes that reached the handler installed before a trap.
std::vector<int> passedOn;
int recordError(Display*, XErrorEvent* error) {
    passedOn.push_back(error->error_code);
    return 0;
}

using CoverageErrorTrap = test::X11LoopTest;

TEST_F(CoverageErrorTrap, DropsOnlyVanishedWindowErrorsWhileItStands) {
    Display* display = connection->display();
    XErrorHandler before = XSetErrorHandler(recordError);
    passedOn.clear();
    Window gone = XCreateSimpleWindow(display, connection->root(), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, gone);
    XWindowAttributes attributes{};
    {
        X11ErrorTrap trap(display);
        XGetWindowAttributes(display, gone, &attributes);
        XMapWindow(display, gone);  // no reply: its error arrives as the trap ends
        if (char* name = XGetAtomName(display, Atom(0x7ffffff0))) XFree(name);
    }
    XGetWindowAttributes(display, gone, &attributes);
    XSetErrorHandler(before);
    EXPECT_EQ(passedOn, (std::vector<int>{BadAtom, BadWindow}));
}

}  // namespace
}  // namespace tavel
