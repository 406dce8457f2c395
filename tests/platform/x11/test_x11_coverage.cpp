// The coverage rule on stacking tables, then the watcher on Xvfb under picom and openbox.
// Other programs' windows come from a second connection, `other`.

#include "x11_loop_fixture.h"  // first: gtest before any X11 header

#include "platform/x11/x11_coverage.h"
#include "platform/x11/x11_coverage_rule.h"
#include "support/child_process.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

// Two monitors side by side on the 1920x1080 test screen.
constexpr PixelRect kMonitorA{0, 0, 960, 1080};
constexpr PixelRect kMonitorB{960, 0, 960, 1080};

TEST(CoverageRule, CountsOnlyShownWindowsAboveTheWallpaper) {
    constexpr Window kOwn = 10, kOtherOwn = 11;
    // Another program's shown window.
    auto app = [](PixelRect frame, bool maximized = false, bool hidden = false) {
        return StackedWindow{
            .id = 20, .frame = frame, .viewable = true, .hidden = hidden, .maximized = maximized};
    };
    StackedWindow own{.id = kOwn, .frame = kMonitorA, .viewable = true};
    StackedWindow otherOwn{.id = kOtherOwn, .frame = kMonitorA, .viewable = true};
    StackedWindow whole = app({-5, -5, 970, 1090}), fullscreen = app({100, 100, 200, 200});
    fullscreen.fullscreen = true;
    struct Case {
        const char* what;
        std::vector<StackedWindow> stack;  // bottom to top
        bool covered;
    };
    const Case cases[] = {
        {"a window holding all of the monitor", {own, whole}, true},
        {"the same below the wallpaper", {whole, own}, false},
        {"one pixel short", {own, app({0, 0, 959, 1080})}, false},
        {"another wallpaper window", {own, otherOwn}, false},
        {"maximised, leaving a panel", {own, app({0, 19, 960, 1061}, true)}, true},
        {"maximised and minimised", {own, app({0, 19, 960, 1061}, true, true)}, false},
        {"full-screen but small, centre on the monitor", {own, fullscreen}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rectCovered(kMonitorA, kOwn, c.stack, {kOwn, kOtherOwn}), c.covered) << c.what;
}

// Openbox with two RandR monitors it maximises windows into, and picom.
class X11CoverageTest : public test::X11LoopTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(X11LoopTest::SetUp());
        ASSERT_NE(other, nullptr);
        watcher = std::make_unique<X11CoverageWatcher>(*connection, loop);
        ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "TAVEL-A", "960/254x1080/286+0+0", "screen"}),
                  0);
        ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "TAVEL-B", "960/254x1080/286+960+0", "none"}),
                  0);
        // Windows mapped before openbox is ready may stay unmanaged: wait for its command.
        ASSERT_TRUE(manager.start({"openbox", "--sm-disable", "--startup",
                                   "xprop -root -f TAVEL_WM_READY 32c -set TAVEL_WM_READY 1"}))
            << "install openbox";
        ASSERT_TRUE(runUntil(loop, [&] {
            return !test::itemsOf(display(), root(), connection->atom("TAVEL_WM_READY"),
                                  XA_CARDINAL)
                        .empty();
        }));
        ASSERT_TRUE(picom.start(test::compositorCommand())) << "install picom";
        ASSERT_TRUE(runUntil(loop, [&] { return watcher->compositing(); }));
    }

    ~X11CoverageTest() override {
        picom.stop();
        manager.stop();
        if (other) XCloseDisplay(other);
        watcher.reset();
        for (const char* name :
             {"_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING", "TAVEL_WM_READY"})
            XDeleteProperty(display(), root(), connection->atom(name));
        for (const char* monitor : {"TAVEL-A", "TAVEL-B"})
            xvfb.run({"xrandr", "--delmonitor", monitor});
        sync();
    }

    // A wallpaper window on `rect`, at the bottom, watched.
    int watchWallpaper(PixelRect rect) {
        Window wallpaper = test::mapWindow(display(), rect, "_NET_WM_WINDOW_TYPE_DESKTOP");
        XLowerWindow(display(), wallpaper);
        sync();  // handled before anything the other connection sends next
        return watcher->watch(wallpaper, rect, [](bool) {});
    }

    Atom atom(const std::string& name) { return XInternAtom(other, name.c_str(), False); }

    // Asks the window manager to add `states` (at most two) to the window.
    void requestStates(Window window, const std::vector<const char*>& states) {
        XEvent e{};
        e.xclient = {ClientMessage, 0, False, other, window, atom("_NET_WM_STATE"), 32, {}};
        e.xclient.data.l[0] = 1;  // add
        for (std::size_t i = 0; i < states.size() && i < 2; ++i)
            e.xclient.data.l[1 + i] = long(atom("_NET_WM_STATE_" + std::string(states[i])));
        e.xclient.data.l[3] = 1;  // from an application
        XSendEvent(other, DefaultRootWindow(other), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(other);
    }

    bool hasStates(Window window, const std::vector<const char*>& states) {
        auto present = test::itemsOf(other, window, atom("_NET_WM_STATE"), XA_ATOM);
        return std::all_of(states.begin(), states.end(), [&](const char* state) {
            return std::count(present.begin(), present.end(),
                              atom("_NET_WM_STATE_" + std::string(state))) > 0;
        });
    }

    // Also everything the other connection sent has been handled.
    bool settle() {
        XSync(other, False);
        return X11LoopTest::settle();
    }

    Display* other = XOpenDisplay(nullptr);
    std::unique_ptr<X11CoverageWatcher> watcher;
    test::ChildProgram picom, manager;
};

TEST_F(X11CoverageTest, UnderAManagerAMaximisedOrFullScreenWindowCoversItsMonitorUntilHidden) {
    struct Case {
        const char* what;
        PixelRect monitor;
        std::vector<const char*> states;  // after _NET_WM_STATE_
        bool minimise;                    // else unmapped
    };
    const Case cases[] = {
        {"maximised on A, minimised", kMonitorA, {"MAXIMIZED_VERT", "MAXIMIZED_HORZ"}, true},
        {"full-screen on B, unmapped", kMonitorB, {"FULLSCREEN"}, false},
    };
    int a = watchWallpaper(kMonitorA);
    int b = watchWallpaper(kMonitorB);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool onA = c.monitor.x == kMonitorA.x;
        int here = onA ? a : b, there = onA ? b : a;

        // A small window never covers.
        Window window = test::mapWindow(other, {c.monitor.x + 100, 100, 300, 200});
        ASSERT_TRUE(runUntil(loop, [&] {
            XWindowAttributes attributes{};
            return XGetWindowAttributes(other, window, &attributes) &&
                   attributes.map_state == IsViewable;
        }));
        ASSERT_TRUE(settle());
        EXPECT_FALSE(watcher->covered(here));

        requestStates(window, c.states);
        ASSERT_TRUE(runUntil(loop, [&] { return hasStates(window, c.states); }));
        EXPECT_TRUE(runUntil(loop, [&] { return watcher->covered(here); }));
        EXPECT_FALSE(watcher->covered(there));

        if (c.minimise)
            XIconifyWindow(other, window, DefaultScreen(other));
        else
            XUnmapWindow(other, window);
        XFlush(other);
        EXPECT_TRUE(runUntil(loop, [&] { return !watcher->covered(here); }));
        XDestroyWindow(other, window);
        ASSERT_TRUE(settle());
    }
}

}  // namespace
}  // namespace tavel
