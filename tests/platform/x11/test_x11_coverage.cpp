// The coverage watcher: its rule on tables of stacking orders, then the real thing on
// Xvfb under a real compositing manager (picom), with and without a window manager
// (openbox). Other programs' windows come from a second connection of their own.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/x11/x11_coverage.h"
#include "platform/x11/x11_coverage_rule.h"
#include "platform/x11/x11_error_trap.h"
#include "support/child_process.h"
#include "support/xvfb_server.h"
#include "x11_loop_fixture.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <signal.h>

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

// A program the test starts and ends (SIGTERM), with its output discarded.
class ChildProgram {
public:
    ChildProgram() = default;
    ~ChildProgram() { stop(); }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool start(const std::vector<std::string>& command) {
        stop();
        pid_ = test::startProcess(command, test::environmentWith({}), "/dev/null", "/dev/null");
        return pid_ > 0;
    }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        test::waitProcess(pid_);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

std::vector<std::string> compositor() {
    return {"picom", "--backend", "xrender", "--config", "/dev/null"};
}

class X11CoverageTest : public test::X11LoopTest {
protected:
    ~X11CoverageTest() override {
        if (other) XCloseDisplay(other);
        // What a window manager left on the root would make the next test think it runs.
        for (const char* name :
             {"_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING", "TAVEL_WM_READY"})
            XDeleteProperty(connection->display(), connection->root(), connection->atom(name));
        XSync(connection->display(), False);
    }

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(X11LoopTest::SetUp());
        ASSERT_NE(other, nullptr);
        watcher = std::make_unique<X11CoverageWatcher>(*connection, loop);
    }

    // A wallpaper window of this connection on `rect`, at the bottom, watched; what the
    // watcher reports for it is appended to `reports`.
    int watchWallpaper(PixelRect rect, std::vector<bool>& reports) {
        Display* display = connection->display();
        Window window = XCreateSimpleWindow(display, connection->root(), rect.x, rect.y,
                                            unsigned(rect.width), unsigned(rect.height), 0, 0, 0);
        Atom desktop = connection->atom("_NET_WM_WINDOW_TYPE_DESKTOP");
        XChangeProperty(display, window, connection->atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&desktop), 1);
        place(display, window, rect);
        XMapWindow(display, window);
        XLowerWindow(display, window);
        // Handled before anything the other connection sends next.
        XSync(display, False);
        lastWallpaper = window;
        return watcher->watch(window, rect,
                              [&reports](bool covered) { reports.push_back(covered); });
    }

    // Another program's top-level window on `rect`, mapped.
    Window appWindow(PixelRect rect, unsigned windowClass = InputOutput) {
        XSetWindowAttributes attributes{};
        Window window = XCreateWindow(other, DefaultRootWindow(other), rect.x, rect.y,
                                      unsigned(rect.width), unsigned(rect.height), 0,
                                      CopyFromParent, windowClass, CopyFromParent, 0, &attributes);
        place(other, window, rect);
        XMapWindow(other, window);
        XFlush(other);
        return window;
    }

    // Asks the window manager to add `states` (at most two) to the window.
    void requestStates(Window window, const std::vector<const char*>& states) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = window;
        e.xclient.message_type = XInternAtom(other, "_NET_WM_STATE", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 1;  // add
        for (std::size_t i = 0; i < states.size() && i < 2; ++i)
            e.xclient.data.l[1 + i] = long(XInternAtom(other, states[i], False));
        e.xclient.data.l[3] = 1;  // from an application
        XSendEvent(other, DefaultRootWindow(other), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(other);
    }

    bool hasStates(Window window, const std::vector<const char*>& states) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<Atom> present;
        if (XGetWindowProperty(other, window, XInternAtom(other, "_NET_WM_STATE", False), 0, 64,
                               False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
            data)
            present.assign(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + count);
        if (data) XFree(data);
        return std::all_of(states.begin(), states.end(), [&](const char* state) {
            Atom atom = XInternAtom(other, state, False);
            return std::find(present.begin(), present.end(), atom) != present.end();
        });
    }

    bool viewable(Window window) {
        XWindowAttributes a{};
        return XGetWindowAttributes(other, window, &a) && a.map_state == IsViewable;
    }

    // Everything both connections sent has been handled by the server, and the watcher
    // has run its update for every event that this caused so far.
    bool settle() {
        XSync(other, False);
        Atom mark = connection->atom("TAVEL_TEST_MARK");
        bool seen = false;
        int id = connection->addExtensionHandler(
            [&](const XEvent& e) { seen |= e.type == PropertyNotify && e.xproperty.atom == mark; });
        long value = 1;
        XChangeProperty(connection->display(), connection->root(), mark, XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
        XFlush(connection->display());
        bool ok = runUntil(loop, [&] { return seen; });
        connection->removeExtensionHandler(id);
        // An update posted for the events before the mark runs before this task.
        bool ran = false;
        loop.post([&] { ran = true; });
        return ok && runUntil(loop, [&] { return ran; });
    }

    // Sets a 32-bit property of `window` on the other connection.
    void setItems(Window window, const char* name, Atom type, std::vector<unsigned long> items) {
        XChangeProperty(other, window, XInternAtom(other, name, False), type, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(items.data()), int(items.size()));
        XFlush(other);
    }

    std::unique_ptr<X11CoverageWatcher> watcher;
    Display* other = XOpenDisplay(nullptr);
    Window lastWallpaper = None;  // made by watchWallpaper()

private:
    // A position the window manager keeps (a user-given one).
    static void place(Display* display, Window window, PixelRect rect) {
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = rect.x;
        hints.y = rect.y;
        hints.width = rect.width;
        hints.height = rect.height;
        XSetWMNormalHints(display, window, &hints);
    }
};

TEST_F(X11CoverageTest, WithoutAWindowManagerAWindowAboveTheWallpaperCoversOnlyUnderCompositing) {
    std::vector<bool> reportsA, reportsB;
    int a = watchWallpaper(kMonitorA, reportsA);
    int b = watchWallpaper(kMonitorB, reportsB);
    appWindow(kMonitorA);
    // Neither counts on B: an input-only window, and a window below the wallpaper.
    appWindow(kMonitorB, InputOnly);
    XLowerWindow(other, appWindow(kMonitorB));
    ASSERT_TRUE(settle());
    EXPECT_FALSE(watcher->compositing());
    EXPECT_FALSE(watcher->covered(a)) << "covered without a compositing manager";

    ChildProgram picom;
    ASSERT_TRUE(picom.start(compositor())) << "install picom";
    ASSERT_TRUE(runUntil(loop, [&] { return watcher->compositing() && watcher->covered(a); }))
        << "compositing: " << watcher->compositing();
    ASSERT_TRUE(settle());
    EXPECT_FALSE(watcher->covered(b));

    picom.stop();
    ASSERT_TRUE(runUntil(loop, [&] { return !watcher->compositing() && !watcher->covered(a); }));
    EXPECT_EQ(reportsA, (std::vector<bool>{true, false}));
    EXPECT_TRUE(reportsB.empty());
}

// Managers that keep minimised windows mapped (for live thumbnails) only mark them
// hidden. Openbox unmaps them, so the test plays such a manager: it announces itself
// and lists its clients on the root, and nobody reframes them.
TEST_F(X11CoverageTest, AWindowMarkedHiddenDoesNotCoverWhileStillMapped) {
    std::vector<bool> reports;
    int a = watchWallpaper(kMonitorA, reports);
    Window root = DefaultRootWindow(other);
    Window check = XCreateSimpleWindow(other, root, 0, 0, 1, 1, 0, 0, 0);
    setItems(check, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {check});
    setItems(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {check});
    Window client = appWindow(kMonitorA);
    Atom hidden = XInternAtom(other, "_NET_WM_STATE_HIDDEN", False);
    setItems(client, "_NET_WM_STATE", XA_ATOM, {hidden});
    setItems(root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW, {lastWallpaper, client});

    ChildProgram picom;
    ASSERT_TRUE(picom.start(compositor())) << "install picom";
    ASSERT_TRUE(runUntil(loop, [&] { return watcher->compositing(); }));
    ASSERT_TRUE(settle());
    EXPECT_FALSE(watcher->covered(a));

    // Only the client's own property changes: no window moves or maps.
    setItems(client, "_NET_WM_STATE", XA_ATOM, {});
    ASSERT_TRUE(runUntil(loop, [&] { return watcher->covered(a); }));
    setItems(client, "_NET_WM_STATE", XA_ATOM, {hidden});
    ASSERT_TRUE(runUntil(loop, [&] { return !watcher->covered(a); }));
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));
}

// Under openbox, with two RandR monitors it maximises windows into.
class X11CoverageManagedTest : public X11CoverageTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(X11CoverageTest::SetUp());
        // "screen" replaces the automatic monitor, so the manager sees exactly these two.
        ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "TAVEL-A", "960/254x1080/286+0+0", "screen"}),
                  0);
        ASSERT_EQ(xvfb.run({"xrandr", "--setmonitor", "TAVEL-B", "960/254x1080/286+960+0", "none"}),
                  0);
        // Openbox announces itself on the root before it is ready, and windows mapped in
        // between may stay unmanaged for good: wait for the command it runs once started.
        ASSERT_TRUE(manager.start({"openbox", "--sm-disable", "--startup",
                                   "xprop -root -f TAVEL_WM_READY 32c -set TAVEL_WM_READY 1"}))
            << "install openbox";
        ASSERT_TRUE(runUntil(loop, [&] { return managerReady(); }));
        ASSERT_TRUE(picom.start(compositor())) << "install picom";
        ASSERT_TRUE(runUntil(loop, [&] { return watcher->compositing(); }));
    }

    ~X11CoverageManagedTest() override {
        picom.stop();
        manager.stop();
        xvfb.run({"xrandr", "--delmonitor", "TAVEL-A"});
        xvfb.run({"xrandr", "--delmonitor", "TAVEL-B"});
    }

    bool managerReady() {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(connection->display(), connection->root(),
                           connection->atom("TAVEL_WM_READY"), 0, 1, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data);
        if (data) XFree(data);
        return count == 1;
    }

    test::XvfbServer& xvfb = test::sharedXvfb();
    ChildProgram manager;
    ChildProgram picom;
};

TEST_F(X11CoverageManagedTest, AMaximisedOrFullScreenWindowCoversItsMonitorUntilHidden) {
    enum class Undo { minimise, unmap };
    struct Case {
        const char* what;
        PixelRect monitor;
        std::vector<const char*> states;
        bool covers;
        Undo undo;
    };
    const std::vector<Case> cases = {
        {"maximised on A, then minimised",
         kMonitorA,
         {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"},
         true,
         Undo::minimise},
        {"full-screen on B, then unmapped",
         kMonitorB,
         {"_NET_WM_STATE_FULLSCREEN"},
         true,
         Undo::unmap},
        {"maximised vertically only",
         kMonitorA,
         {"_NET_WM_STATE_MAXIMIZED_VERT"},
         false,
         Undo::unmap},
    };
    std::vector<bool> reportsA, reportsB;
    int a = watchWallpaper(kMonitorA, reportsA);
    int b = watchWallpaper(kMonitorB, reportsB);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reportsA.clear();
        reportsB.clear();
        bool onA = c.monitor.x == kMonitorA.x;
        int here = onA ? a : b, there = onA ? b : a;

        // A small window never covers.
        Window window = appWindow({c.monitor.x + 100, 100, 300, 200});
        ASSERT_TRUE(runUntil(loop, [&] { return viewable(window); }));
        ASSERT_TRUE(settle());
        EXPECT_FALSE(watcher->covered(here));

        requestStates(window, c.states);
        ASSERT_TRUE(runUntil(loop, [&] { return hasStates(window, c.states); }));
        if (c.covers) {
            ASSERT_TRUE(runUntil(loop, [&] { return watcher->covered(here); }));
        }
        ASSERT_TRUE(settle());
        EXPECT_EQ(watcher->covered(here), c.covers);
        EXPECT_FALSE(watcher->covered(there));

        if (c.undo == Undo::minimise)
            XIconifyWindow(other, window, DefaultScreen(other));
        else
            XUnmapWindow(other, window);
        XFlush(other);
        ASSERT_TRUE(runUntil(loop, [&] { return !watcher->covered(here); }));
        XDestroyWindow(other, window);
        ASSERT_TRUE(settle());

        auto changes = c.covers ? std::vector<bool>{true, false} : std::vector<bool>{};
        EXPECT_EQ(onA ? reportsA : reportsB, changes);
        EXPECT_TRUE((onA ? reportsB : reportsA).empty());
    }
}

}  // namespace
}  // namespace tavel
