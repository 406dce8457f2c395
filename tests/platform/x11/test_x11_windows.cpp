// The wallpaper and saver windows against a real Xvfb, drawn through GLX with Mesa's
// software rasteriser. The main loop runs in short bounded slices until what a test
// waits for has happened.

// Before any X11 header: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "effects/catalog.h"
#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/glx_program_compiler.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_saver_window.h"
#include "platform/x11/x11_wallpaper_window.h"
#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;

// Two virtual monitors side by side on the Xvfb screen, removed again at the end so
// other tests of the program see the screen as it was.
class TwoMonitors {
public:
    TwoMonitors() {
        auto& xvfb = test::sharedXvfb();
        ok_ =
            xvfb.run({"xrandr", "--setmonitor", "TAVEL-A", "960/254x1080/286+0+0", "none"}) == 0 &&
            xvfb.run({"xrandr", "--setmonitor", "TAVEL-B", "960/254x1080/286+960+0", "none"}) == 0;
    }
    ~TwoMonitors() {
        auto& xvfb = test::sharedXvfb();
        xvfb.run({"xrandr", "--delmonitor", "TAVEL-A"});
        xvfb.run({"xrandr", "--delmonitor", "TAVEL-B"});
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// The monitors RandR reports whose names start with "TAVEL-", as screens of scale 1.
std::vector<ScreenRecord> tavelMonitors(Display* display) {
    std::vector<ScreenRecord> screens;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; i < count; ++i) {
        char* name = XGetAtomName(display, monitors[i].name);
        std::string text = name ? name : "";
        if (name) XFree(name);
        if (text.rfind("TAVEL-", 0) != 0) continue;
        ScreenRecord s;
        s.name = text;
        s.number = displayNumberForMonitorName(text);
        s.frame = Rect{double(monitors[i].x), double(monitors[i].y), double(monitors[i].width),
                       double(monitors[i].height)};
        s.scale = 1.0;
        screens.push_back(s);
    }
    if (monitors) XRRFreeMonitors(monitors);
    std::sort(screens.begin(), screens.end(),
              [](const ScreenRecord& a, const ScreenRecord& b) { return a.name < b.name; });
    return screens;
}

ScreenRecord screenAt(double x, double y, double width, double height, double scale = 1.0) {
    ScreenRecord s;
    s.name = "test";
    s.frame = Rect{x, y, width, height};
    s.scale = scale;
    return s;
}

struct Geometry {
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
};

Geometry geometryOf(Display* display, Window window) {
    Window root;
    Geometry g;
    unsigned border = 0, depth = 0;
    XGetGeometry(display, window, &root, &g.x, &g.y, &g.width, &g.height, &border, &depth);
    return g;
}

std::vector<Atom> atomProperty(Display* display, Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Atom> atoms;
    if (XGetWindowProperty(display, window, property, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        auto* values = reinterpret_cast<Atom*>(data);
        atoms.assign(values, values + count);
    }
    if (data) XFree(data);
    return atoms;
}

// Children of the root from bottom to top.
std::vector<Window> stackingOrder(Display* display) {
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    std::vector<Window> order(children, children + count);
    if (children) XFree(children);
    return order;
}

long indexIn(const std::vector<Window>& order, Window w) {
    auto it = std::find(order.begin(), order.end(), w);
    return it == order.end() ? -1 : it - order.begin();
}

// Share of pixels in a window region with any colour channel above 8 of 255.
double litShare(Display* display, Window window, int x, int y, int width, int height) {
    XSync(display, False);
    XImage* image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
    if (!image) return -1;
    long lit = 0;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            unsigned long p = XGetPixel(image, col, row);
            if (((p >> 16) & 0xff) > 8 || ((p >> 8) & 0xff) > 8 || (p & 0xff) > 8) ++lit;
        }
    XDestroyImage(image);
    return double(lit) / (double(width) * height);
}

class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        test::sharedXvfb();
        x_ = X11Connection::open(loop_.context());
        ASSERT_TRUE(x_) << "cannot open the test display";
        std::string why;
        gl_ = GlxContext::create(x_->display(), x_->screen(), &why);
        ASSERT_TRUE(gl_) << why;
        compiler_ = GlxProgramCompiler::create(*gl_, loop_, log_);
        ASSERT_TRUE(compiler_);
        services_.emplace(X11RenderServices{*x_, *gl_, *compiler_, renderer_, loop_, log_});
    }

    Display* display() { return x_->display(); }

    // Runs the main loop in short slices until `done` holds or `limit` has passed.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            x_->dispatchPending();
            loop_.runFor(10ms);
        }
        return true;
    }

    // Waits for `count` more frames of `view`.
    bool framesPass(ShaderView& view, std::uint64_t count) {
        std::uint64_t target = view.framesDrawn() + count;
        return pumpUntil([&] { return view.framesDrawn() >= target; });
    }

    // A plain mapped window as an application would have one.
    Window normalWindow(int x, int y, int width, int height) {
        Window w = XCreateSimpleWindow(display(), x_->root(), x, y, width, height, 0, 0,
                                       WhitePixel(display(), x_->screen()));
        XMapWindow(display(), w);
        XSync(display(), False);
        return w;
    }

    bool isViewable(Window w) {
        XWindowAttributes a;
        XGetWindowAttributes(display(), w, &a);
        return a.map_state == IsViewable;
    }

    // Declaration order is teardown order reversed: windows of a test go first, then
    // the compiler, the context and the connection, the loop last.
    AsioScheduler loop_;
    MemoryLogSink log_;
    GlFrameRenderer renderer_;
    std::unique_ptr<X11Connection> x_;
    std::unique_ptr<GlxContext> gl_;
    std::unique_ptr<GlxProgramCompiler> compiler_;
    std::optional<X11RenderServices> services_;
};

TEST_F(X11Windows, WallpapersCoverEachMonitorAndRunOnceVisible) {
    TwoMonitors monitors;
    ASSERT_TRUE(monitors.ok());
    std::vector<ScreenRecord> screens = tavelMonitors(display());
    ASSERT_EQ(screens.size(), 2u);

    X11WallpaperWindowFactory factory(*services_);
    std::vector<std::unique_ptr<X11WallpaperWindow>> windows;
    for (const auto& s : screens) windows.push_back(factory.makeX11Window(s));
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Geometry g = geometryOf(display(), windows[i]->xid());
        EXPECT_EQ(g.x, int(screens[i].frame.x));
        EXPECT_EQ(g.y, int(screens[i].frame.y));
        EXPECT_EQ(g.width, unsigned(screens[i].frame.width));
        EXPECT_EQ(g.height, unsigned(screens[i].frame.height));
        // Not shown yet: not drawing.
        EXPECT_TRUE(windows[i]->view().isPaused());
        EXPECT_EQ(windows[i]->view().drawableWidth(), 960.0);
    }
    for (auto& w : windows) w->orderFront();
    ASSERT_TRUE(pumpUntil(
        [&] { return !windows[0]->view().isPaused() && !windows[1]->view().isPaused(); }));
    EXPECT_TRUE(isViewable(windows[0]->xid()));
    EXPECT_TRUE(windows[1]->shaderView().isDrawing());
}

TEST_F(X11Windows, PixelRectangleIsThePointFrameTimesTheScale) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(-100, -50, 300, 200, 2.0));
    Geometry g = geometryOf(display(), w->xid());
    EXPECT_EQ(g.x, -200);
    EXPECT_EQ(g.y, -100);
    EXPECT_EQ(g.width, 600u);
    EXPECT_EQ(g.height, 400u);
    // Twice the frame size in each dimension at quality 1.
    EXPECT_EQ(w->view().drawableWidth(), 600.0);
    EXPECT_EQ(w->view().drawableHeight(), 400.0);
    w->shaderView().setQualityScale(0.5);
    EXPECT_EQ(w->view().drawableWidth(), 300.0);
}

TEST_F(X11Windows, WallpaperIsADesktopWindowThatNeverTakesFocus) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 200, 100));
    EXPECT_EQ(atomProperty(display(), w->xid(), x_->atom("_NET_WM_WINDOW_TYPE")),
              (std::vector<Atom>{x_->atom("_NET_WM_WINDOW_TYPE_DESKTOP")}));
    std::vector<Atom> state = atomProperty(display(), w->xid(), x_->atom("_NET_WM_STATE"));
    std::sort(state.begin(), state.end());
    std::vector<Atom> expected = {x_->atom("_NET_WM_STATE_BELOW"), x_->atom("_NET_WM_STATE_STICKY"),
                                  x_->atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                  x_->atom("_NET_WM_STATE_SKIP_PAGER")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(state, expected);

    XWMHints* hints = XGetWMHints(display(), w->xid());
    ASSERT_NE(hints, nullptr);
    EXPECT_TRUE(hints->flags & InputHint);
    EXPECT_EQ(hints->input, False);
    XFree(hints);

    XWindowAttributes a;
    XGetWindowAttributes(display(), w->xid(), &a);
    EXPECT_FALSE(a.override_redirect);
}

TEST_F(X11Windows, WallpaperHasAnEmptyInputShapeSoClicksPassThrough) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 200, 100));
    w->orderFront();
    int count = -1, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(display(), w->xid(), ShapeInput, &count, &ordering);
    if (rects) XFree(rects);
    EXPECT_EQ(count, 0);

    // The pointer over it is over the root, not over the window.
    ASSERT_EQ(test::sharedXvfb().run({"xdotool", "mousemove", "50", "50"}), 0);
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask;
    XQueryPointer(display(), x_->root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_EQ(rx, 50);
    EXPECT_NE(child, w->xid());
}

TEST_F(X11Windows, WallpaperIsLoweredBelowWindowsAlreadyShown) {
    Window app = normalWindow(300, 300, 100, 100);
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 640, 480));
    w->orderFront();
    XSync(display(), False);
    std::vector<Window> order = stackingOrder(display());
    ASSERT_GE(indexIn(order, w->xid()), 0);
    EXPECT_LT(indexIn(order, w->xid()), indexIn(order, app));
    XDestroyWindow(display(), app);
}

TEST_F(X11Windows, WallpaperDrawsTheEffectThroughGlx) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 160, 120));
    w->shaderView().setEffect(*shaderEffect("tiles"));
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 3)) << "no frames drawn";
    EXPECT_GT(litShare(display(), w->xid(), 0, 0, 160, 120), 0.2);
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(X11Windows, HalfQualityIsStretchedOverTheWholeWindow) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 160, 120));
    w->shaderView().setQualityScale(0.5);
    w->shaderView().setEffect(*shaderEffect("tiles"));
    w->orderFront();
    ASSERT_TRUE(framesPass(w->view(), 3));
    EXPECT_EQ(w->view().drawableWidth(), 80.0);
    // Each quarter of the window shows the effect, not just the drawable's corner.
    EXPECT_GT(litShare(display(), w->xid(), 0, 0, 80, 60), 0.2);
    EXPECT_GT(litShare(display(), w->xid(), 80, 60, 80, 60), 0.2);
}

TEST_F(X11Windows, AWindowCoveringTheWallpaperPausesIt) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 320, 240));
    w->orderFront();
    ASSERT_TRUE(pumpUntil([&] { return !w->view().isPaused(); }));

    Window cover = normalWindow(0, 0, 320, 240);
    EXPECT_TRUE(pumpUntil([&] { return w->view().isPaused(); })) << "not paused when covered";

    XUnmapWindow(display(), cover);
    XFlush(display());
    EXPECT_TRUE(pumpUntil([&] { return !w->view().isPaused(); })) << "not resumed when uncovered";

    // A partial cover leaves it drawing.
    XMoveWindow(display(), cover, 100, 100);
    XMapWindow(display(), cover);
    XSync(display(), False);
    pumpUntil([] { return false; }, 100ms);
    EXPECT_FALSE(w->view().isPaused());
    XDestroyWindow(display(), cover);
}

TEST_F(X11Windows, OrderOutPausesAndOrderFrontResumes) {
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 200, 100));
    w->orderFront();
    ASSERT_TRUE(pumpUntil([&] { return !w->view().isPaused(); }));
    w->orderOut();
    EXPECT_TRUE(pumpUntil([&] { return w->view().isPaused(); }));
    EXPECT_FALSE(isViewable(w->xid()));
    w->orderFront();
    EXPECT_TRUE(pumpUntil([&] { return !w->view().isPaused(); }));
}

TEST_F(X11Windows, SaverIsOverrideRedirectAndAboveEverything) {
    X11SaverWindowFactory factory(*services_);
    auto saver = factory.makeX11SaverWindow(screenAt(0, 0, 200, 100));
    Window app = normalWindow(0, 0, 300, 300);
    saver->orderFront();
    XSync(display(), False);

    XWindowAttributes a;
    XGetWindowAttributes(display(), saver->xid(), &a);
    EXPECT_TRUE(a.override_redirect);
    std::vector<Window> order = stackingOrder(display());
    EXPECT_EQ(indexIn(order, saver->xid()), long(order.size()) - 1);
    EXPECT_GT(indexIn(order, saver->xid()), indexIn(order, app));
    Geometry g = geometryOf(display(), saver->xid());
    EXPECT_EQ(g.width, 200u);
    EXPECT_EQ(g.height, 100u);
    EXPECT_TRUE(pumpUntil([&] { return !saver->view().isPaused(); }));
    XDestroyWindow(display(), app);
}

TEST_F(X11Windows, SaverFadeGoesFromBlackToTheEffect) {
    X11SaverWindowFactory factory(*services_);
    auto saver = factory.makeX11SaverWindow(screenAt(0, 0, 160, 120));
    saver->shaderView().setEffect(*shaderEffect("tiles"));
    saver->orderFront();
    // Created at alpha 0: frames are drawn, all black.
    ASSERT_TRUE(framesPass(saver->view(), 3));
    EXPECT_DOUBLE_EQ(litShare(display(), saver->xid(), 0, 0, 160, 120), 0.0);
    saver->setAlpha(1.0);
    ASSERT_TRUE(framesPass(saver->view(), 2));
    EXPECT_GT(litShare(display(), saver->xid(), 0, 0, 160, 120), 0.2);
}

TEST_F(X11Windows, SaverReportsPointerAndButtonInput) {
    X11SaverWindowFactory factory(*services_);
    int inputs = 0;
    factory.setInputHandler([&] { ++inputs; });
    auto saver = factory.makeX11SaverWindow(screenAt(0, 0, 200, 100));
    saver->orderFront();
    ASSERT_TRUE(pumpUntil([&] { return !saver->view().isPaused(); }));
    EXPECT_EQ(inputs, 0);

    auto& xvfb = test::sharedXvfb();
    ASSERT_EQ(xvfb.run({"xdotool", "mousemove", "20", "20"}), 0);
    ASSERT_EQ(xvfb.run({"xdotool", "mousemove", "40", "30"}), 0);
    EXPECT_TRUE(pumpUntil([&] { return inputs > 0; })) << "pointer motion not reported";

    int before = inputs;
    ASSERT_EQ(xvfb.run({"xdotool", "click", "1"}), 0);
    EXPECT_TRUE(pumpUntil([&] { return inputs > before; })) << "click not reported";
}

}  // namespace
}  // namespace tavel
