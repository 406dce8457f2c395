#include "platform/x11/x11_root_picture.h"

#include "effects/offscreen/fill_scale.h"
#include "effects/offscreen/png_decode.h"
#include "platform/x11/pixel_rect.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_error_trap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <vector>

namespace tavel {

namespace {

std::string errorText(Display* display, int code) {
    char text[128] = "";
    XGetErrorText(display, code, text, sizeof text);
    return text;
}

// The active monitors, the primary last so that where monitors overlap it keeps the
// picture as framed for it; the whole root when RandR 1.5 is missing or lists none.
std::vector<PixelRect> monitorsOf(Display* display, Window root, int width, int height) {
    std::vector<PixelRect> rects;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase) &&
        XRRQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 5))) {
        int count = 0;
        XRRMonitorInfo* info = XRRGetMonitors(display, root, True, &count);
        PixelRect primary{};
        bool hasPrimary = false;
        for (int i = 0; i < count; ++i) {
            PixelRect rect{info[i].x, info[i].y, info[i].width, info[i].height};
            if (rect.width <= 0 || rect.height <= 0) continue;
            if (info[i].primary && !hasPrimary) {
                primary = rect;
                hasPrimary = true;
            } else {
                rects.push_back(rect);
            }
        }
        if (hasPrimary) rects.push_back(primary);
        if (info) XRRFreeMonitors(info);
    }
    if (rects.empty()) rects.push_back({0, 0, width, height});
    return rects;
}

// One channel of 8 bits in the place and width of `mask`.
unsigned long channel(std::uint8_t value, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    unsigned long maximum = mask >> shift;
    return ((value * maximum + 127) / 255) << shift;
}

// Draws `scaled` at `at` into `image`, within the image; translucent pixels are
// composed over black (the root has no opacity).
void draw(XImage* image, const Visual* visual, const Image& scaled, PixelRect at) {
    int left = std::max(at.x, 0), top = std::max(at.y, 0);
    int right = std::min(at.x + scaled.width, image->width);
    int bottom = std::min(at.y + scaled.height, image->height);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const std::uint8_t* p = scaled.pixel(x - at.x, y - at.y);
            auto over = [&](int c) { return std::uint8_t((p[c] * p[3] + 127) / 255); };
            XPutPixel(image, x, y,
                      channel(over(2), visual->red_mask) | channel(over(1), visual->green_mask) |
                          channel(over(0), visual->blue_mask));
        }
    }
}

Pixmap pixmapNamedBy(Display* display, Window root, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Pixmap pixmap = None;
    if (XGetWindowProperty(display, root, property, 0, 1, False, XA_PIXMAP, &type, &format, &count,
                           &after, &data) == Success &&
        type == XA_PIXMAP && format == 32 && count == 1)
        pixmap = *reinterpret_cast<Pixmap*>(data);
    if (data) XFree(data);
    return pixmap;
}

// Makes the picture's pixmap on `display` and sets and publishes it; the empty text on
// success.
std::string publish(Display* display, const Image& picture) {
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);
    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
        return "desktop picture: the root window has no true-colour visual";

    XImage* image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr,
                                 unsigned(width), unsigned(height), 32, 0);
    if (!image) return "desktop picture: cannot make an image of the root's size";
    image->data = static_cast<char*>(std::calloc(std::size_t(image->bytes_per_line), height));
    if (!image->data) {
        XDestroyImage(image);
        return "desktop picture: out of memory for the root's picture";
    }
    for (PixelRect monitor : monitorsOf(display, root, width, height))
        draw(image, visual, scaleToFill(picture, monitor.width, monitor.height), monitor);

    X11ErrorCatch errors(display);
    Pixmap pixmap =
        XCreatePixmap(display, root, unsigned(width), unsigned(height), unsigned(depth));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
    XFreeGC(display, gc);
    XDestroyImage(image);
    // A pixmap the server could not make (too large for its memory) is never published.
    if (int code = errors.take())
        return "desktop picture: the X server refused it (" + errorText(display, code) + ")";

    Atom rootId = XInternAtom(display, "_XROOTPMAP_ID", False);
    Atom setrootId = XInternAtom(display, "ESETROOT_PMAP_ID", False);
    // The previous picture's pixmap lives on in the retained client that made it. It is
    // released only when both names agree on it: a stale ESETROOT_PMAP_ID alone may name
    // an id that the server has since handed to another client, which would be killed.
    Pixmap previous = pixmapNamedBy(display, root, setrootId);
    if (previous != pixmapNamedBy(display, root, rootId)) previous = None;
    for (Atom property : {rootId, setrootId})
        XChangeProperty(display, root, property, XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pixmap), 1);
    XSetWindowBackgroundPixmap(display, root, pixmap);
    XClearWindow(display, root);
    if (int code = errors.take())
        return "desktop picture: the X server refused it (" + errorText(display, code) + ")";

    if (previous != None && previous != pixmap) {
        XKillClient(display, previous);
        errors.take();  // BadValue: its client is gone already
    }
    return {};
}

}  // namespace

std::string X11RootPicture::setPicture(const std::filesystem::path& file) {
    if (!file.is_absolute()) return "desktop picture: not an absolute path: " + file.string();
    std::string error;
    std::optional<Image> picture = decodePngFile(file, error);
    if (!picture) return "desktop picture: cannot read " + file.string() + ": " + error;
    prepareXlibForThreads();
    Display* display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (!display) return "desktop picture: cannot open the X display";
    std::string line = publish(display, *picture);
    // Only a published pixmap is kept; after a failure everything made goes with the
    // connection.
    if (line.empty()) XSetCloseDownMode(display, RetainPermanent);
    XCloseDisplay(display);
    return line;
}

}  // namespace tavel
