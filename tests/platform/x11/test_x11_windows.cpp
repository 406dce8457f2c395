// The wallpaper and saver windows on Xvfb through GLX (llvmpipe), with and without picom.

#include "platform/x11/glx_loop_fixture.h"  // first: gtest before any X11 header

#include "effects/catalog.h"
#include "platform/x11/x11_coverage.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_saver_window.h"
#include "platform/x11/x11_wallpaper_window.h"
#include "support/child_process.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

ScreenRecord screenAt(double x, double y, double width, double height, double scale = 1.0) {
    return {std::nullopt, "test", {x, y, width, height}, scale};
}

// Where a window is among the root's children, counted from the top.
long depthOf(Display* display, Window window) {
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    std::vector<Window> order(children, children + count);
    if (children) XFree(children);
    return std::find(order.rbegin(), order.rend(), window) - order.rbegin();
}

// Share of pixels of a window with any colour channel above 8 of 255.
double litShare(Display* display, Window window, int width, int height, int x = 0, int y = 0) {
    XSync(display, False);
    XImage* image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
    if (!image) return -1;
    long lit = 0;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            unsigned long p = XGetPixel(image, col, row);
            lit += ((p >> 16) & 0xff) > 8 || ((p >> 8) & 0xff) > 8 || (p & 0xff) > 8;
        }
    XDestroyImage(image);
    return double(lit) / (double(width) * height);
}

class X11Windows : public test::GlxLoopTest {
protected:
    // The root's child under the pointer once moved to (x, y).
    Window childUnderPointer(const char* x, const char* y) {
        EXPECT_EQ(xvfb.run({"xdotool", "mousemove", x, y}), 0);
        Window pointerRoot = None, child = None;
        int rx, ry, wx, wy;
        unsigned mask;
        XQueryPointer(display(), root(), &pointerRoot, &child, &rx, &ry, &wx, &wy, &mask);
        return child;
    }

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GlxLoopTest::SetUp());
        ASSERT_NE(other, nullptr);
        services.emplace(X11RenderServices{*connection, *gl, *programs, renderer, loop, log});
    }

    // Waits for `count` more frames of `view`.
    bool framesPass(ShaderView& view, std::uint64_t count) {
        std::uint64_t target = view.framesDrawn() + count;
        return runUntil(loop, [&] { return view.framesDrawn() >= target; });
    }

    // Torn down before the fixture's programs and context: another program's connection.
    std::optional<X11RenderServices> services;
    std::unique_ptr<Display, int (*)(Display*)> client{XOpenDisplay(nullptr), XCloseDisplay};
    Display* other = client.get();
};

// Obscured as the server reports it, or under picom as the coverage watcher does (the test
// plays the window manager).
TEST_F(X11Windows, WallpapersPauseWhileHiddenOrCoveredWithOrWithoutACompositor) {
    X11CoverageWatcher watcher(*connection, loop);
    X11RenderServices watched = *services;
    watched.coverage = &watcher;
    auto w = X11WallpaperWindowFactory(watched).makeX11Window(screenAt(0, 0, 320, 240));
    w->orderFront();
    Window cover = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 320, 240, 0, 0, 0);
    Window check = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
    for (Window on : {check, DefaultRootWindow(other)})
        test::setItems(other, on, XInternAtom(other, "_NET_SUPPORTING_WM_CHECK", False), XA_WINDOW,
                       {check});
    test::setItems(other, DefaultRootWindow(other),
                   XInternAtom(other, "_NET_CLIENT_LIST_STACKING", False), XA_WINDOW, {cover});
    auto drawing = [&] { return !w->view().isPaused(); };
    auto paused = [&] { return w->view().isPaused(); };
    // Once a covered probe is reported unobscured, picom has redirected the windows.
    Window probe = test::mapWindow(display(), {400, 400, 1, 1});
    XSelectInput(display(), probe, VisibilityChangeMask);
    test::mapWindow(other, {400, 400, 1, 1});
    int probeVisibility = -1;
    connection->setWindowHandler(probe, [&](const XEvent& e) {
        if (e.type == VisibilityNotify) probeVisibility = e.xvisibility.state;
    });
    test::ChildProgram picom;
    for (bool compositing : {false, true}) {
        SCOPED_TRACE(compositing ? "under a compositing manager" : "without one");
        if (compositing) {
            ASSERT_TRUE(picom.start(test::compositorCommand())) << "install picom";
            ASSERT_TRUE(runUntil(loop, [&] {
                return watcher.compositing() && probeVisibility == VisibilityUnobscured;
            }));
        }
        ASSERT_TRUE(runUntil(loop, drawing));

        XMoveWindow(other, cover, 0, 0);
        XMapWindow(other, cover);
        XFlush(other);
        EXPECT_TRUE(runUntil(loop, paused)) << "not paused when covered";
        XUnmapWindow(other, cover);
        XFlush(other);
        EXPECT_TRUE(runUntil(loop, drawing)) << "not resumed when uncovered";

        w->orderOut();
        EXPECT_TRUE(runUntil(loop, paused)) << "not paused when unmapped";
        w->orderFront();
        EXPECT_TRUE(runUntil(loop, drawing)) << "not resumed when mapped again";
    }
    connection->setWindowHandler(probe, {});
    XDestroyWindow(display(), probe);
    for (const char* name : {"_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING"})
        XDeleteProperty(display(), root(), connection->atom(name));
}

// Its screen in pixels (points times scale), below, unfocused, clicked through; scaled up.
TEST_F(X11Windows, WallpapersSitBelowOutOfTheWayAndDraw) {
    Window app = test::mapWindow(display(), {300, 300, 10, 10});
    X11WallpaperWindowFactory factory(*services);
    auto steady = factory.makeX11Window(screenAt(10, 5, 48, 32, 2.0));
    XWindowAttributes a{};
    XGetWindowAttributes(display(), steady->xid(), &a);
    EXPECT_EQ((std::array{a.x, a.y, a.width, a.height}), (std::array{20, 10, 96, 64}));
    EXPECT_TRUE(steady->view().isPaused());  // not shown yet
    steady->shaderView().setQualityScale(0.5);
    steady->shaderView().setEffect(*shaderEffect("tiles"));
    steady->orderFront();
    sync();
    EXPECT_GT(depthOf(display(), steady->xid()), depthOf(display(), app));
    XWMHints* hints = XGetWMHints(display(), steady->xid());
    ASSERT_NE(hints, nullptr);
    EXPECT_TRUE((hints->flags & InputHint) && hints->input == False);
    XFree(hints);
    // The pointer over it is over the root: it has an empty input shape.
    EXPECT_NE(childUnderPointer("30", "30"), steady->xid());
    XDestroyWindow(display(), app);

    ASSERT_TRUE(framesPass(steady->view(), 2));
    EXPECT_EQ(steady->view().drawableWidth(), 48.0);
    // The far quarter shows the effect too: scaled up, not just the drawable's corner.
    EXPECT_GT(litShare(display(), steady->xid(), 48, 32, 48, 32), 0.2);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(X11Windows, SaverIsAboveEverythingFadesFromBlackAndReportsInput) {
    X11SaverWindowFactory factory(*services);
    int inputs = 0;
    factory.setInputHandler([&] { ++inputs; });
    auto saver = factory.makeX11SaverWindow(screenAt(0, 0, 160, 120));
    saver->shaderView().setEffect(*shaderEffect("tiles"));
    Window app = test::mapWindow(display(), {0, 0, 300, 300});
    saver->orderFront();
    sync();
    EXPECT_EQ(depthOf(display(), saver->xid()), 0);
    XDestroyWindow(display(), app);

    // Made at alpha 0: frames are drawn, all black.
    ASSERT_TRUE(framesPass(saver->view(), 3));
    EXPECT_DOUBLE_EQ(litShare(display(), saver->xid(), 160, 120), 0.0);
    saver->setAlpha(1.0);
    ASSERT_TRUE(framesPass(saver->view(), 2));
    EXPECT_GT(litShare(display(), saver->xid(), 160, 120), 0.2);

    ASSERT_TRUE(settle());
    EXPECT_EQ(inputs, 0);
    ASSERT_EQ(xvfb.run({"xdotool", "click", "1"}), 0);
    EXPECT_TRUE(runUntil(loop, [&] { return inputs > 0; }));
}

// Directly above a desktop program, showing its icons.
TEST_F(X11Windows, ADesktopProgramsIconsShowOverTheEffect) {
    constexpr unsigned long kBackdrop = 0x204060, kIcon = 0xffffff;
    Window root = DefaultRootWindow(other);
    Pixmap backdrop = XCreatePixmap(other, root, 320, 240, DefaultDepth(other, 0));
    GC gc = XCreateGC(other, backdrop, 0, nullptr);
    XSetForeground(other, gc, kBackdrop);
    XFillRectangle(other, backdrop, gc, 0, 0, 320, 240);
    XFreeGC(other, gc);
    test::setItems(other, root, XInternAtom(other, "_XROOTPMAP_ID", False), XA_PIXMAP, {backdrop});
    Window program = XCreateSimpleWindow(other, root, 0, 0, 320, 240, 0, 0, kBackdrop);
    test::setItems(other, program, XInternAtom(other, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                   {XInternAtom(other, "_NET_WM_WINDOW_TYPE_DESKTOP", False)});
    XClassHint hint{const_cast<char*>("desk"), const_cast<char*>("Desk")};
    XSetClassHint(other, program, &hint);
    Window icon = XCreateSimpleWindow(other, program, 40, 40, 40, 40, 0, 0, kIcon);
    XMapWindow(other, icon);
    XMapWindow(other, program);
    Window app = test::mapWindow(other, {300, 0, 10, 10});

    X11DesktopStackKeeper keeper(*connection, loop);
    X11RenderServices kept = *services;
    kept.stacking = &keeper;
    auto w = X11WallpaperWindowFactory(kept).makeX11Window(screenAt(0, 0, 320, 240));
    w->shaderView().setEffect(*shaderEffect("tiles"));
    w->orderFront();
    ASSERT_TRUE(runUntil(loop, [&] { return w->iconsOver() && w->view().framesDrawn() > 2; }));
    EXPECT_EQ(depthOf(display(), w->xid()) + 1, depthOf(display(), program)) << "not just above";
    auto colourAt = [&](int x, int y) {
        XImage* image = XGetImage(display(), w->xid(), x, y, 1, 1, AllPlanes, ZPixmap);
        unsigned long p = image ? XGetPixel(image, 0, 0) & 0xffffff : 0;
        if (image) XDestroyImage(image);
        return p;
    };
    EXPECT_TRUE(runUntil(loop, [&] { return colourAt(60, 60) == kIcon; }));

    // Without a backdrop it goes below (hidden); told to cover, above, and clicks pass through.
    XDeleteProperty(other, root, XInternAtom(other, "_XROOTPMAP_ID", False));
    XSync(other, False);
    EXPECT_TRUE(runUntil(loop, [&] { return !w->hiddenBy().empty(); }));
    EXPECT_EQ(w->hiddenBy(), "Desk");
    EXPECT_GT(depthOf(display(), w->xid()), depthOf(display(), program));
    w->setCoverDesktopProgram(true);
    EXPECT_TRUE(
        runUntil(loop, [&] { return depthOf(display(), w->xid()) < depthOf(display(), program); }));
    EXPECT_TRUE(w->hiddenBy().empty());
    EXPECT_EQ(childUnderPointer("300", "220"), program);

    XDestroyWindow(other, program);
    XSync(other, False);
    EXPECT_TRUE(runUntil(loop, [&] { return !w->iconsOver() && w->hiddenBy().empty(); }));
    EXPECT_GT(depthOf(display(), w->xid()), depthOf(display(), app)) << "not below once alone";
    XFreePixmap(other, backdrop);
}

}  // namespace
}  // namespace tavel
