// The root window's picture on a small Xvfb of its own, every pixel checked.

#include "x11_loop_fixture.h"  // first: gtest before any X11 header

#include "effects/offscreen/png_encode.h"
#include "platform/atomic_file.h"
#include "platform/x11/x11_error_catch.h"
#include "platform/x11/x11_root_picture.h"
#include "support/temp_dir.h"

#include <dlfcn.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

namespace tavel {
namespace {

constexpr int rootWidth = 64, rootHeight = 24;

// While set, ESETROOT_PMAP_ID is sent to a missing window, whose error reads as a refusal.
std::atomic<bool> refuseSetrootName{false};

}  // namespace
}  // namespace tavel

// Stands in for Xlib's, which it calls: the code under test is linked into this program.
extern "C" int XChangeProperty(Display* display, Window window, Atom property, Atom type,
                               int format, int mode, const unsigned char* data, int count) {
    using Real = int (*)(Display*, Window, Atom, Atom, int, int, const unsigned char*, int);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XChangeProperty"));
    if (tavel::refuseSetrootName && property == XInternAtom(display, "ESETROOT_PMAP_ID", True))
        window = 0x1fffff0;
    return real(display, window, property, type, format, mode, data, count);
}

namespace tavel {
namespace {

// Every pixel differs from its neighbours; translucent: a half transparent last row (RGBA).
Image pattern(int width, int height, bool translucent) {
    Image image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.bgra.insert(
                image.bgra.end(),
                {std::uint8_t(x * 4), std::uint8_t(y * 10), std::uint8_t(x * 7 + y * 13),
                 std::uint8_t(translucent && y == height - 1 ? 128 : 255)});
    return image;
}

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

class X11RootPictureTest : public ::testing::Test {
protected:
    static test::XvfbServer& xvfb() {
        static test::XvfbServer server(rootWidth, rootHeight);
        return server;
    }
    void SetUp() override { ASSERT_NE(display, nullptr); }
    void TearDown() override {
        if (display) XCloseDisplay(display);
    }

    // Why the picture was not set; empty when it was.
    std::string setPicture(const Image& image) {
        EXPECT_EQ(writeFileAtomically(dir / "still.png", encodePng(image).value()).why(), "");
        return picture.setPicture(dir / "still.png").why();
    }

    // The pixmap a root property names.
    Pixmap named(const char* property) {
        auto items = test::itemsOf(display, root, XInternAtom(display, property, False), XA_PIXMAP);
        return items.size() == 1 ? items[0] : None;
    }

    // The drawable's pixels as 0xRRGGBB, row by row (the Xvfb screen is 24-bit TrueColor).
    std::vector<unsigned long> pixelsOf(Drawable drawable) {
        X11ErrorCatch trap(display, X11ErrorCatch::windowGone);  // a pixmap gone has none
        XImage* image =
            XGetImage(display, drawable, 0, 0, rootWidth, rootHeight, AllPlanes, ZPixmap);
        std::vector<unsigned long> pixels;
        if (!image) return pixels;
        for (int y = 0; y < rootHeight; ++y)
            for (int x = 0; x < rootWidth; ++x) pixels.push_back(XGetPixel(image, x, y) & 0xffffff);
        XDestroyImage(image);
        return pixels;
    }

    test::TempDir dir;
    Display* display = XOpenDisplay(xvfb().name().c_str());
    Window root = display ? DefaultRootWindow(display) : None;
    X11RootPicture picture{xvfb().name(), dir / "kept.png"};
};

TEST_F(X11RootPictureTest, EachMonitorShowsThePictureAndThePreviousPixmapIsReleased) {
    // The root's size on one monitor, then each the picture's size on two side by side.
    const Image whole = pattern(rootWidth, rootHeight, true), half = pattern(32, rootHeight, false);
    ASSERT_EQ(setPicture(whole), "");
    Pixmap first = named("_XROOTPMAP_ID");
    EXPECT_EQ(named("ESETROOT_PMAP_ID"), first);
    EXPECT_EQ(pixelsOf(first), expectedPixels(whole, {0}));
    // The background is set and shown, not only published.
    EXPECT_EQ(pixelsOf(root), expectedPixels(whole, {0}));

    ASSERT_EQ(xvfb().run({"xrandr", "--setmonitor", "A", "32/10x24/10+0+0", "screen"}), 0);
    ASSERT_EQ(xvfb().run({"xrandr", "--setmonitor", "B", "32/10x24/10+32+0", "none"}), 0);
    ASSERT_EQ(setPicture(half), "");
    EXPECT_EQ(pixelsOf(named("_XROOTPMAP_ID")), expectedPixels(half, {0, 32}));
    EXPECT_EQ(pixelsOf(root), expectedPixels(half, {0, 32}));
    EXPECT_EQ(pixelsOf(first), std::vector<unsigned long>{});  // released
    for (const char* name : {"A", "B"}) xvfb().run({"xrandr", "--delmonitor", name});
}

// A stale ESETROOT_PMAP_ID's client is not killed; a failed set leaves the root alone.
TEST_F(X11RootPictureTest, LeavesAnotherSettersIdsAndAfterAFailureTheRootAlone) {
    const Image picture = pattern(rootWidth, rootHeight, false);
    ASSERT_EQ(setPicture(picture), "");
    Pixmap shown = named("_XROOTPMAP_ID");
    Display* other = XOpenDisplay(xvfb().name().c_str());
    ASSERT_NE(other, nullptr);
    Pixmap foreign = XCreatePixmap(other, root, rootWidth, rootHeight, DefaultDepth(other, 0));
    XSetCloseDownMode(other, RetainPermanent);
    XCloseDisplay(other);
    test::setItems(display, root, XInternAtom(display, "ESETROOT_PMAP_ID", False), XA_PIXMAP,
                   {foreign});
    ASSERT_EQ(setPicture(picture), "");
    EXPECT_NE(pixelsOf(shown), std::vector<unsigned long>{});
    bool foreignLives = !pixelsOf(foreign).empty();
    EXPECT_TRUE(foreignLives);
    if (foreignLives) XKillClient(display, foreign);

    shown = named("_XROOTPMAP_ID");
    std::ofstream(dir / "text.png") << "not a PNG";
    const std::string line = X11RootPicture(xvfb().name()).setPicture(dir / "text.png").why();
    const std::string start = "desktop picture: cannot read " + (dir / "text.png").string() + ": ";
    EXPECT_TRUE(line.starts_with(start) && !line.ends_with(' ')) << line;  // with a reason
    EXPECT_EQ(named("_XROOTPMAP_ID"), shown);
    EXPECT_NE(pixelsOf(shown), std::vector<unsigned long>{});

    // Refused half way through publishing: both names still name the picture shown.
    refuseSetrootName = true;
    EXPECT_TRUE(setPicture(picture).starts_with("desktop picture: the X server refused it"));
    refuseSetrootName = false;
    EXPECT_EQ(named("_XROOTPMAP_ID"), shown);
    EXPECT_EQ(named("ESETROOT_PMAP_ID"), shown);
    EXPECT_NE(pixelsOf(shown), std::vector<unsigned long>{});
}

// The person's picture comes back whole; where none was published, Tavel's is released.
TEST_F(X11RootPictureTest, WhatWasPublishedBeforeIsPutBack) {
    const Image theirs = pattern(rootWidth, rootHeight, false);
    ASSERT_EQ(setPicture(theirs), "");  // as another setter would leave it
    const std::vector<unsigned long> theirPixels = pixelsOf(root);
    std::optional<PictureRecord> record = picture.snapshot();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, (PictureRecord{{"root", (dir / "kept.png").string()}}));
    ASSERT_EQ(setPicture(Image{8, 8, std::vector<std::uint8_t>(256, 40)}), "");
    EXPECT_NE(pixelsOf(root), theirPixels);
    EXPECT_EQ(picture.restore(*record).why(), "");
    EXPECT_EQ(pixelsOf(root), theirPixels);
    EXPECT_EQ(pixelsOf(named("_XROOTPMAP_ID")), theirPixels);
    EXPECT_FALSE(std::filesystem::exists(dir / "kept.png"));

    XDeleteProperty(display, root, XInternAtom(display, "_XROOTPMAP_ID", False));
    XDeleteProperty(display, root, XInternAtom(display, "ESETROOT_PMAP_ID", False));
    XSync(display, False);
    record = picture.snapshot();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, (PictureRecord{{"root", "none"}}));
    ASSERT_EQ(setPicture(theirs), "");
    Pixmap ours = named("_XROOTPMAP_ID");
    EXPECT_EQ(picture.restore(*record).why(), "");
    EXPECT_EQ(named("_XROOTPMAP_ID"), None);
    EXPECT_EQ(named("ESETROOT_PMAP_ID"), None);
    EXPECT_EQ(pixelsOf(ours), std::vector<unsigned long>{});  // released
    EXPECT_EQ(pixelsOf(root), std::vector<unsigned long>(rootWidth * rootHeight, 0));
}

}  // namespace
}  // namespace tavel
