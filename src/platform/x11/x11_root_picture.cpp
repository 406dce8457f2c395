#include "platform/x11/x11_root_picture.h"

#include "effects/offscreen/fill_scale.h"
#include "effects/offscreen/png_decode.h"
#include "platform/x11/pixel_rect.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_error_catch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include "effects/offscreen/png_encode.h"
#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <functional>
#include <optional>
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

// A root property naming a pixmap, as it was: absent, or its items.
struct PropertyValue {
    Atom name;
    bool present = false;
    std::vector<unsigned char> items;
};

PropertyValue readProperty(Display* display, Window root, Atom name) {
    PropertyValue value{name, false, {}};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, name, 0, 1, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) == Success &&
        type != None) {
        value.present = true;
        value.items.assign(data, data + count * (format == 32 ? sizeof(long) : format / 8));
    }
    if (data) XFree(data);
    return value;
}

void writeProperty(Display* display, Window root, const PropertyValue& value) {
    if (!value.present) {
        XDeleteProperty(display, root, value.name);
        return;
    }
    XChangeProperty(display, root, value.name, XA_PIXMAP, 32, PropModeReplace, value.items.data(),
                    int(value.items.size() / sizeof(long)));
}

// The picture on the root, fitted to each monitor, or whole over the root.
enum class Layout { perMonitor, wholeRoot };

// Makes the picture's pixmap on `display`, shows it as the root's background and then
// publishes it. A failure at any step leaves the published names as they were: they never
// name a pixmap that goes with this connection, which a later setter would take for a
// retained client's and kill.
Result<void> publish(Display* display, const Image& picture, Layout layout) {
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);
    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
        return Failure{"desktop picture: the root window has no true-colour visual"};

    XImage* image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr,
                                 unsigned(width), unsigned(height), 32, 0);
    if (!image) return Failure{"desktop picture: cannot make an image of the root's size"};
    image->data = static_cast<char*>(std::calloc(std::size_t(image->bytes_per_line), height));
    if (!image->data) {
        XDestroyImage(image);
        return Failure{"desktop picture: out of memory for the root's picture"};
    }
    const std::vector<PixelRect> areas = layout == Layout::perMonitor
                                             ? monitorsOf(display, root, width, height)
                                             : std::vector<PixelRect>{{0, 0, width, height}};
    for (PixelRect area : areas)
        draw(image, visual, scaleToFill(picture, area.width, area.height), area);

    auto refused = [display](int code) {
        return Failure{"desktop picture: the X server refused it (" + errorText(display, code) +
                       ")"};
    };
    X11ErrorCatch errors(display);
    Pixmap pixmap =
        XCreatePixmap(display, root, unsigned(width), unsigned(height), unsigned(depth));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
    XFreeGC(display, gc);
    XDestroyImage(image);
    // A pixmap the server could not make (too large for its memory) is never shown.
    if (int code = errors.take()) return refused(code);
    XSetWindowBackgroundPixmap(display, root, pixmap);
    XClearWindow(display, root);
    if (int code = errors.take()) return refused(code);

    Atom rootId = XInternAtom(display, "_XROOTPMAP_ID", False);
    Atom setrootId = XInternAtom(display, "ESETROOT_PMAP_ID", False);
    const PropertyValue before[] = {readProperty(display, root, rootId),
                                    readProperty(display, root, setrootId)};
    // The previous picture's pixmap lives on in the retained client that made it. It is
    // released only when both names agree on it: a stale ESETROOT_PMAP_ID alone may name
    // an id that the server has since handed to another client, which would be killed.
    Pixmap previous = pixmapNamedBy(display, root, setrootId);
    if (previous != pixmapNamedBy(display, root, rootId)) previous = None;
    for (Atom property : {rootId, setrootId})
        XChangeProperty(display, root, property, XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pixmap), 1);
    if (int code = errors.take()) {
        for (const PropertyValue& value : before) writeProperty(display, root, value);
        errors.take();
        return refused(code);
    }
    if (previous != None && previous != pixmap) {
        XKillClient(display, previous);
        errors.take();  // BadValue: its client is gone already
    }
    return {};
}

// The root's published picture as an image, an empty one (no pixels) when none is
// published; nothing when what is named cannot be read.
std::optional<Image> publishedPicture(Display* display) {
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);
    Pixmap pixmap = pixmapNamedBy(display, root, XInternAtom(display, "_XROOTPMAP_ID", False));
    if (pixmap == None) return Image{0, 0, {}};
    X11ErrorCatch errors(display);
    Window ignoredRoot = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, pixmap, &ignoredRoot, &x, &y, &width, &height, &border, &depth) ||
        errors.take() || depth != unsigned(DefaultDepth(display, screen)))
        return std::nullopt;
    XImage* image = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image || errors.take()) {
        if (image) XDestroyImage(image);
        return std::nullopt;
    }
    const Visual* visual = DefaultVisual(display, screen);
    auto component = [](unsigned long pixel, unsigned long mask) {
        if (mask == 0) return std::uint8_t(0);
        int shift = std::countr_zero(mask);
        unsigned long maximum = mask >> shift;
        return std::uint8_t(((pixel & mask) >> shift) * 255 / maximum);
    };
    Image picture{int(width), int(height), {}};
    picture.bgra.reserve(std::size_t(width) * height * 4);
    for (unsigned row = 0; row < height; ++row)
        for (unsigned column = 0; column < width; ++column) {
            unsigned long pixel = XGetPixel(image, int(column), int(row));
            picture.bgra.insert(picture.bgra.end(), {component(pixel, visual->blue_mask),
                                                     component(pixel, visual->green_mask),
                                                     component(pixel, visual->red_mask), 255});
        }
    XDestroyImage(image);
    return picture;
}

// Takes the published picture down: the names go, the root shows black, and our own
// retained pixmap (named by both) is released.
void unpublish(Display* display) {
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);
    Atom rootId = XInternAtom(display, "_XROOTPMAP_ID", False);
    Atom setrootId = XInternAtom(display, "ESETROOT_PMAP_ID", False);
    X11ErrorCatch errors(display);
    Pixmap previous = pixmapNamedBy(display, root, setrootId);
    if (previous != pixmapNamedBy(display, root, rootId)) previous = None;
    XDeleteProperty(display, root, rootId);
    XDeleteProperty(display, root, setrootId);
    XSetWindowBackground(display, root, BlackPixel(display, screen));
    XClearWindow(display, root);
    if (previous != None) XKillClient(display, previous);
    errors.take();
}

// Runs `work` on a short-lived connection of its own; what it made stays after the
// connection when it sets `keep` (a published pixmap), else it goes with it.
Result<void> withDisplay(const std::string& name,
                         const std::function<Result<void>(Display*, bool& keep)>& work) {
    prepareXlibForThreads();
    Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!display) return Failure{"desktop picture: cannot open the X display"};
    bool keep = false;
    Result<void> done = work(display, keep);
    if (keep) XSetCloseDownMode(display, RetainPermanent);
    XCloseDisplay(display);
    return done;
}

// Publishes `picture`; only a published pixmap is kept.
Result<void> publishOn(const std::string& name, const Image& picture, Layout layout) {
    return withDisplay(name, [&](Display* display, bool& keep) {
        Result<void> published = publish(display, picture, layout);
        keep = bool(published);
        return published;
    });
}

}  // namespace

Result<void> X11RootPicture::setPicture(const std::filesystem::path& file) {
    if (!file.is_absolute()) return notAbsolute(file);
    std::string error;
    std::optional<Image> picture = decodePngFile(file, error);
    if (!picture) return Failure{"desktop picture: cannot read " + file.string() + ": " + error};
    return publishOn(displayName_, *picture, Layout::perMonitor);
}

std::optional<PictureRecord> X11RootPicture::snapshot() {
    if (keptPicture_.empty()) return std::nullopt;
    std::optional<PictureRecord> record;
    // Without the display there is nothing to record.
    static_cast<void>(withDisplay(displayName_, [&](Display* display, bool&) {
        std::optional<Image> picture = publishedPicture(display);
        std::optional<std::vector<std::uint8_t>> png;
        if (picture && picture->width == 0)
            record = PictureRecord{{kRootKey, "none"}};
        else if (picture && (png = encodePng(*picture)) &&
                 writeFileAtomically(keptPicture_, *png, 0600, false))
            record = PictureRecord{{kRootKey, keptPicture_.string()}};
        return Result<void>();
    }));
    return record;
}

Result<void> X11RootPicture::restore(const PictureRecord& record) {
    auto kept = record.find(kRootKey);
    if (kept == record.end()) return {};
    if (kept->second == "none")
        return withDisplay(displayName_, [](Display* display, bool&) {
            unpublish(display);
            return Result<void>();
        });
    std::string error;
    std::optional<Image> picture = decodePngFile(kept->second, error);
    if (!picture) return Failure{"desktop picture: cannot read " + kept->second + ": " + error};
    Result<void> published = publishOn(displayName_, *picture, Layout::wholeRoot);
    std::error_code ignored;
    if (published) std::filesystem::remove(kept->second, ignored);
    return published;
}

}  // namespace tavel
