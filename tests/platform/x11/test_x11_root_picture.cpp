// The root window's picture on a private Xvfb of its own (a small screen, so every pixel
// is checked, and monitors can be set without disturbing the other X11 tests): what
// the published pixmap holds, and the release of the previous picture's pixmap.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "effects/offscreen/png_encode.h"
#include "platform/x11/x11_error_trap.h"
#include "platform/x11/x11_root_picture.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tavel {
namespace {

constexpr int rootWidth = 64, rootHeight = 24;

// A picture whose every pixel differs from its neighbours; pixels of the last row are
// translucent, and the root shows them composed over black.
Image pattern(int width, int height) {
    Image image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.bgra.insert(image.bgra.end(), {std::uint8_t(x * 4), std::uint8_t(y * 10),
                                                 std::uint8_t(x * 7 + y * 13),
                                                 std::uint8_t(y == height - 1 ? 128 : 255)});
    return image;
}

class X11RootPictureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { xvfb = new test::XvfbServer(rootWidth, rootHeight); }
    static void TearDownTestSuite() {
        delete xvfb;
        xvfb = nullptr;
    }

    void SetUp() override {
        display = XOpenDisplay(xvfb->name().c_str());
        ASSERT_NE(display, nullptr);
        root = DefaultRootWindow(display);
        rootId = XInternAtom(display, "_XROOTPMAP_ID", False);
        setrootId = XInternAtom(display, "ESETROOT_PMAP_ID", False);
    }
    void TearDown() override {
        for (const char* name : {"A", "B"}) xvfb->run({"xrandr", "--delmonitor", name});
        if (display) XCloseDisplay(display);
    }

    std::string setPicture(const Image& image) {
        auto png = encodePng(image).value();
        std::ofstream(dir / "still.png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
        return X11RootPicture(xvfb->name()).setPicture(dir / "still.png");
    }

    Pixmap named(Atom property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display, root, property, 0, 1, False, XA_PIXMAP, &type, &format, &count,
                           &after, &data);
        Pixmap pixmap = data && count == 1 ? *reinterpret_cast<Pixmap*>(data) : None;
        if (data) XFree(data);
        return pixmap;
    }

    bool exists(Pixmap pixmap) {
        X11ErrorTrap trap(display);
        Window parent;
        int x, y;
        unsigned width, height, border, depth;
        return XGetGeometry(display, pixmap, &parent, &x, &y, &width, &height, &border, &depth);
    }

    // The drawable's pixels as 0xRRGGBB, row by row (the Xvfb screen is 24-bit TrueColor).
    std::vector<unsigned long> pixelsOf(Drawable drawable) {
        X11ErrorTrap trap(display);  // a pixmap that is gone reads as no pixels
        XImage* image =
            XGetImage(display, drawable, 0, 0, rootWidth, rootHeight, AllPlanes, ZPixmap);
        std::vector<unsigned long> pixels;
        if (!image) return pixels;
        for (int y = 0; y < rootHeight; ++y)
            for (int x = 0; x < rootWidth; ++x) pixels.push_back(XGetPixel(image, x, y) & 0xffffff);
        XDestroyImage(image);
        return pixels;
    }

    static inline test::XvfbServer* xvfb = nullptr;
    test::TempDir dir;
    Display* display = nullptr;
    Window root = None;
    Atom rootId = None, setrootId = None;
};

// What the root shows: `picture` (opaque over black) repeated at the given left edges.
std::vector<unsigned long> expectedPixels(const Image& picture, std::vector<int> lefts) {
    std::vector<unsigned long> pixels(rootWidth * rootHeight, 0);
    for (int left : lefts)
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const std::uint8_t* p = picture.pixel(x, y);
                auto over = [&](int c) { return (unsigned long)((p[c] * p[3] + 127) / 255); };
                pixels[y * rootWidth + left + x] = over(2) << 16 | over(1) << 8 | over(0);
            }
    return pixels;
}

TEST_F(X11RootPictureTest, EachMonitorShowsThePicturePixelForPixel) {
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> monitors;  // xrandr --setmonitor arguments
        Image picture;
        std::vector<int> lefts;
    };
    const Case cases[] = {
        {"one monitor, the root's size", {}, pattern(rootWidth, rootHeight), {0}},
        {"two monitors side by side, each the picture's size",
         {{"A", "32/10x24/10+0+0", "screen"}, {"B", "32/10x24/10+32+0", "none"}},
         pattern(32, rootHeight),
         {0, 32}},
    };
    for (const auto& c : cases) {
        for (auto monitor : c.monitors) {
            monitor.insert(monitor.begin(), {"xrandr", "--setmonitor"});
            ASSERT_EQ(xvfb->run(monitor), 0) << c.what;
        }
        ASSERT_EQ(setPicture(c.picture), "") << c.what;
        Pixmap pixmap = named(rootId);
        ASSERT_NE(pixmap, None) << c.what;
        EXPECT_EQ(named(setrootId), pixmap) << c.what;
        std::vector<unsigned long> expected = expectedPixels(c.picture, c.lefts);
        EXPECT_EQ(pixelsOf(pixmap), expected) << c.what;
        // The background is set and shown, not only published.
        EXPECT_EQ(pixelsOf(root), expected) << c.what;
    }
}

TEST_F(X11RootPictureTest, ReleasesThePreviousPicturesPixmapOnly) {
    ASSERT_EQ(setPicture(pattern(rootWidth, rootHeight)), "");
    Pixmap first = named(rootId);
    ASSERT_EQ(setPicture(pattern(rootWidth, rootHeight)), "");
    Pixmap second = named(rootId);
    EXPECT_NE(second, first);
    EXPECT_FALSE(exists(first));
    EXPECT_TRUE(exists(second));

    // A stale ESETROOT_PMAP_ID that another setter left behind (the root shows another
    // pixmap) may name another client's resource: that client is not killed. (The
    // client here is a retained one, so the test survives a wrong kill to report it.)
    Display* other = XOpenDisplay(xvfb->name().c_str());
    ASSERT_NE(other, nullptr);
    Pixmap foreign = XCreatePixmap(other, root, 4, 4, DefaultDepth(other, 0));
    XSetCloseDownMode(other, RetainPermanent);
    XCloseDisplay(other);
    XChangeProperty(display, root, setrootId, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&foreign), 1);
    XSync(display, False);
    ASSERT_EQ(setPicture(pattern(rootWidth, rootHeight)), "");
    EXPECT_TRUE(exists(foreign));
    // The pixmap the root showed was not named by ESETROOT_PMAP_ID, so it stays as well.
    EXPECT_TRUE(exists(second));
    if (exists(foreign)) XKillClient(display, foreign);
}

TEST_F(X11RootPictureTest, SaysWhatFailedAndLeavesTheRootAlone) {
    ASSERT_EQ(setPicture(pattern(rootWidth, rootHeight)), "");
    Pixmap shown = named(rootId);
    std::ofstream(dir / "text.png") << "not a PNG";
    struct Case {
        std::string display;
        std::filesystem::path file;
        std::string start;  // of the line
    };
    const Case cases[] = {
        {xvfb->name(), "still.png", "desktop picture: not an absolute path: still.png"},
        {xvfb->name(), dir / "missing.png",
         "desktop picture: cannot read " + (dir / "missing.png").string() + ": "},
        {xvfb->name(), dir / "text.png",
         "desktop picture: cannot read " + (dir / "text.png").string() + ": "},
        {":65500", dir / "still.png", "desktop picture: cannot open the X display"},
    };
    for (const auto& c : cases) {
        std::string line = X11RootPicture(c.display).setPicture(c.file);
        EXPECT_EQ(line.substr(0, c.start.size()), c.start) << line;
        EXPECT_GT(line.size(), c.start.size() - 1) << line;
    }
    EXPECT_EQ(named(rootId), shown);
    EXPECT_TRUE(exists(shown));
}

}  // namespace
}  // namespace tavel
