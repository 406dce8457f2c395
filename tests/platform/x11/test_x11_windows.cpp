// The wallpaper and saver windows against a real Xvfb, drawn through GLX with Mesa's
// software rasteriser. The main loop runs in short bounded slices until what a test
// waits for has happened.

// Before any X11 header: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "effects/catalog.h"
#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/program_library.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/glx_program_builder.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_saver_window.h"
#include "platform/x11/x11_wallpaper_window.h"
#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
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
        builder_ = GlxProgramBuilder::create(*gl_, log_);
        ASSERT_TRUE(builder_);
        programs_.emplace(loop_, builder_->thread(), *builder_);
        services_.emplace(X11RenderServices{*x_, *gl_, *programs_, renderer_, loop_, log_});
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
    // the programs, the context and the connection, the loop last.
    AsioScheduler loop_;
    MemoryLogSink log_;
    GlFrameRenderer renderer_;
    std::unique_ptr<X11Connection> x_;
    std::unique_ptr<GlxContext> gl_;
    std::unique_ptr<GlxProgramBuilder> builder_;
    std::optional<ProgramLibrary> programs_;
    std::optional<X11RenderServices> services_;
};

TEST_F(X11Windows, WallpaperCoversThePixelRectangleOfItsScreen) {
    X11WallpaperWindowFactory factory(*services_);
    struct Case {
        ScreenRecord screen;
        Geometry geometry;
    };
    const Case cases[] = {{screenAt(960, 0, 960, 1080), {960, 0, 960, 1080}},
                          {screenAt(-100, -50, 300, 200, 2.0), {-200, -100, 600, 400}}};
    for (const Case& c : cases) {
        auto w = factory.makeX11Window(c.screen);
        Geometry g = geometryOf(display(), w->xid());
        EXPECT_EQ((std::array{g.x, g.y}), (std::array{c.geometry.x, c.geometry.y}));
        EXPECT_EQ((std::array{g.width, g.height}),
                  (std::array{c.geometry.width, c.geometry.height}));
        // Not shown yet, so not drawing; the drawable is the window at quality 1.
        EXPECT_TRUE(w->view().isPaused());
        EXPECT_EQ(w->view().drawableWidth(), double(c.geometry.width));
    }
}

TEST_F(X11Windows, WallpaperStaysBelowAndOutOfTheWay) {
    Window app = normalWindow(300, 300, 100, 100);
    X11WallpaperWindowFactory factory(*services_);
    auto w = factory.makeX11Window(screenAt(0, 0, 640, 480));
    w->orderFront();
    XSync(display(), False);
    // Lowered below what is already shown (no window manager does it here).
    std::vector<Window> order = stackingOrder(display());
    ASSERT_GE(indexIn(order, w->xid()), 0);
    EXPECT_LT(indexIn(order, w->xid()), indexIn(order, app));
    // Never focused.
    XWMHints* hints = XGetWMHints(display(), w->xid());
    ASSERT_NE(hints, nullptr);
    EXPECT_TRUE((hints->flags & InputHint) && hints->input == False);
    XFree(hints);
    // An empty input shape: the pointer over it is over the root.
    int count = -1, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(display(), w->xid(), ShapeInput, &count, &ordering);
    if (rects) XFree(rects);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(test::sharedXvfb().run({"xdotool", "mousemove", "50", "50"}), 0);
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask;
    XQueryPointer(display(), x_->root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_NE(child, w->xid());
    XDestroyWindow(display(), app);
}

TEST_F(X11Windows, WallpaperDrawsTheEffectOverTheWholeWindowAtEitherQuality) {
    X11WallpaperWindowFactory factory(*services_);
    for (double quality : {1.0, 0.5}) {
        auto w = factory.makeX11Window(screenAt(0, 0, 160, 120));
        w->shaderView().setQualityScale(quality);
        w->shaderView().setEffect(*shaderEffect("tiles"));
        w->orderFront();
        ASSERT_TRUE(framesPass(w->view(), 3)) << "no frames drawn";
        EXPECT_EQ(w->view().drawableWidth(), 160.0 * quality);
        // Each quarter shows the effect, not just the drawable's corner.
        EXPECT_GT(litShare(display(), w->xid(), 0, 0, 80, 60), 0.2) << quality;
        EXPECT_GT(litShare(display(), w->xid(), 80, 60, 80, 60), 0.2) << quality;
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(X11Windows, HiddenOrCoveredWallpapersPause) {
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

    w->orderOut();
    EXPECT_TRUE(pumpUntil([&] { return w->view().isPaused(); }));
    EXPECT_FALSE(isViewable(w->xid()));
    w->orderFront();
    EXPECT_TRUE(pumpUntil([&] { return !w->view().isPaused(); }));
}

// Monitors coming and going make and destroy windows while others draw: no frame may
// reach a window that is gone, and a window made again shows its effect without a
// compile.
TEST_F(X11Windows, WindowsMadeAndDestroyedWhileOthersDrawShowTheirEffectsAtOnce) {
    X11WallpaperWindowFactory factory(*services_);
    auto steady = factory.makeX11Window(screenAt(0, 0, 96, 64));
    steady->shaderView().setEffect(*shaderEffect("tiles"));
    steady->orderFront();
    for (int round = 0; round < 12; ++round) {
        auto coming = factory.makeX11Window(screenAt(100, 0, 96, 64));
        coming->shaderView().setEffect(*shaderEffect(round % 2 ? "orbits" : "dome"));
        coming->orderFront();
        ASSERT_TRUE(framesPass(coming->view(), 2)) << "round " << round;
        if (round >= 2) {
            EXPECT_TRUE(coming->view().hasPipeline()) << "compiled again";
        }
    }
    ASSERT_TRUE(framesPass(steady->view(), 2));
    EXPECT_EQ(programs_->buildCount(), 3u);
    EXPECT_GT(litShare(display(), steady->xid(), 0, 0, 96, 64), 0.2);
}

TEST_F(X11Windows, SaverIsAboveEverythingAndFadesFromBlackToTheEffect) {
    X11SaverWindowFactory factory(*services_);
    auto saver = factory.makeX11SaverWindow(screenAt(0, 0, 160, 120));
    saver->shaderView().setEffect(*shaderEffect("tiles"));
    Window app = normalWindow(0, 0, 300, 300);
    saver->orderFront();
    XSync(display(), False);
    XWindowAttributes a;
    XGetWindowAttributes(display(), saver->xid(), &a);
    EXPECT_TRUE(a.override_redirect);
    std::vector<Window> order = stackingOrder(display());
    EXPECT_EQ(indexIn(order, saver->xid()), long(order.size()) - 1);
    XDestroyWindow(display(), app);

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
