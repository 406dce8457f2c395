#include "saver/halvane_window.h"

#include "platform/x11/x11_error_catch.h"

#include <X11/Xutil.h>

#include <cstdio>

namespace tavel {

std::optional<HalvaneWindow::Facts> HalvaneWindow::describe(X11Connection& connection,
                                                            Window window) {
    XWindowAttributes attributes{};
    Status found = 0;
    {
        // A window id from the host may name nothing (any more): no error line for that.
        X11ErrorCatch trap(connection.display(), X11ErrorCatch::windowGone);
        found = XGetWindowAttributes(connection.display(), window, &attributes);
    }
    if (!found) return std::nullopt;
    Facts facts;
    facts.window = window;
    facts.screen = XScreenNumberOfScreen(attributes.screen);
    facts.visual = XVisualIDFromVisual(attributes.visual);
    facts.depth = attributes.depth;
    facts.width = attributes.width;
    facts.height = attributes.height;
    facts.inputOnly = attributes.c_class == InputOnly;
    return facts;
}

HalvaneWindow::HalvaneWindow(X11Connection& connection, GlxContext& context, Scheduler& scheduler,
                             const Facts& facts)
    : connection_(connection),
      display_(connection.display()),
      scheduler_(scheduler),
      kind_(facts.window == connection.root() ? Kind::root : Kind::foreign),
      window_(facts.window),
      width_(facts.width),
      height_(facts.height) {
    if (kind_ == Kind::foreign) {
        // Before the first request about the window: it may be gone already.
        reportGone_ = self_.guard([](HalvaneWindow& self) { self.end(self.goneLine()); });
        hostErrors_.emplace(display_, [this](const XErrorEvent& error) {
            if (error.resourceid != window_ && error.resourceid != drawableId_.load()) return false;
            if (!gone_.exchange(true)) scheduler_.post(reportGone_);
            return true;
        });
        XSelectInput(display_, window_, StructureNotifyMask);
    } else {
        connection_.selectRootInput(StructureNotifyMask);
    }
    watch();
    surface_ = std::make_unique<GlxSurface>(context, window_, width_, height_);
    drawableId_ = surface_->drawable();
}

HalvaneWindow::HalvaneWindow(X11Connection& connection, GlxContext& context, Scheduler& scheduler,
                             int width, int height)
    : connection_(connection),
      display_(connection.display()),
      scheduler_(scheduler),
      kind_(Kind::own),
      width_(width),
      height_(height) {
    Window root = connection.root();
    colormap_ = XCreateColormap(display_, root, context.visual(), AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = colormap_;
    attributes.background_pixel = BlackPixel(display_, connection.screen());
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask;
    window_ = XCreateWindow(display_, root, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, context.depth(), InputOutput,
                            context.visual(),
                            CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XStoreName(display_, window_, "halvane");
    XClassHint classHint{const_cast<char*>("halvane"), const_cast<char*>("Halvane")};
    XSetClassHint(display_, window_, &classHint);
    Atom deleteWindow = connection.atom("WM_DELETE_WINDOW");
    XSetWMProtocols(display_, window_, &deleteWindow, 1);
    watch();
    surface_ = std::make_unique<GlxSurface>(context, window_, width_, height_);
    XMapWindow(display_, window_);
    XFlush(display_);
}

HalvaneWindow::~HalvaneWindow() {
    self_.reset();
    connection_.setWindowHandler(window_, {});
    surface_.reset();
    switch (kind_) {
        case Kind::foreign:
            if (!gone_.load()) XSelectInput(display_, window_, NoEventMask);
            // Every request about the window answered while its errors are still claimed.
            hostErrors_.reset();
            break;
        case Kind::root:
            connection_.deselectRootInput(StructureNotifyMask);
            // The last frame would stay on the root: its own background comes back.
            XClearWindow(display_, window_);
            XFlush(display_);
            break;
        case Kind::own:
            XDestroyWindow(display_, window_);
            XFreeColormap(display_, colormap_);
            XFlush(display_);
            break;
    }
}

void HalvaneWindow::setHandlers(std::function<void(int, int)> resized,
                                std::function<void(const std::string&)> ended) {
    resized_ = std::move(resized);
    ended_ = std::move(ended);
}

void HalvaneWindow::watch() {
    connection_.setWindowHandler(window_, [this](const XEvent& event) { handle(event); });
}

void HalvaneWindow::handle(const XEvent& event) {
    switch (event.type) {
        case ConfigureNotify: {
            const XConfigureEvent& c = event.xconfigure;
            if (c.window != window_ || (c.width == width_ && c.height == height_)) return;
            width_ = c.width;
            height_ = c.height;
            surface_->setPixelSize(width_, height_);
            if (resized_) resized_(width_, height_);
            break;
        }
        case DestroyNotify:
            if (event.xdestroywindow.window != window_) return;
            gone_ = true;
            end(goneLine());
            break;
        case ClientMessage:
            if (kind_ == Kind::own && event.xclient.format == 32 &&
                static_cast<Atom>(event.xclient.data.l[0]) == connection_.atom("WM_DELETE_WINDOW"))
                end({});
            break;
        default:
            break;
    }
}

void HalvaneWindow::end(const std::string& line) {
    if (endReported_) return;
    endReported_ = true;
    if (ended_) ended_(line);
}

std::string HalvaneWindow::goneLine() const {
    char text[64];
    std::snprintf(text, sizeof text, "the window 0x%lx is gone", window_);
    return text;
}

}  // namespace tavel
