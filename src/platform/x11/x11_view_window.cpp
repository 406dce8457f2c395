#include "platform/x11/x11_view_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cmath>

namespace tavel {

namespace {

// A scale that is not a positive number counts as 1.
double usableScale(double scale) {
    return scale > 0.0 && std::isfinite(scale) ? scale : 1.0;
}

int pixels(double points, double scale) {
    double value = std::round(points * scale);
    return std::isfinite(value) ? static_cast<int>(value) : 0;
}

}  // namespace

PixelRect pixelRectOf(const ScreenRecord& screen) {
    double scale = usableScale(screen.scale);
    PixelRect r;
    r.x = pixels(screen.frame.x, scale);
    r.y = pixels(screen.frame.y, scale);
    r.width = std::max(1, pixels(screen.frame.width, scale));
    r.height = std::max(1, pixels(screen.frame.height, scale));
    return r;
}

X11ViewWindow::X11ViewWindow(const X11RenderServices& services, const ScreenRecord& screen,
                             Options options)
    : connection_(services.connection),
      display_(services.connection.display()),
      scale_(usableScale(screen.scale)),
      rect_(pixelRectOf(screen)),
      onEvent_(std::move(options.onEvent)) {
    Window root = services.connection.root();
    colormap_ = XCreateColormap(display_, root, services.context.visual(), AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = colormap_;
    attributes.background_pixel = BlackPixel(display_, services.connection.screen());
    attributes.border_pixel = 0;
    overrideRedirect_ = options.overrideRedirect;
    attributes.override_redirect = options.overrideRedirect ? True : False;
    attributes.event_mask = StructureNotifyMask | VisibilityChangeMask | options.extraEvents;
    window_ = XCreateWindow(
        display_, root, rect_.x, rect_.y, static_cast<unsigned>(rect_.width),
        static_cast<unsigned>(rect_.height), 0, services.context.depth(), InputOutput,
        services.context.visual(),
        CWColormap | CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask, &attributes);
    connection_.setWindowHandler(window_, [this](const XEvent& event) { handle(event); });
    // Whose window it is, for window managers, pagers and desktop programs that look
    // (_NET_WM_PID is read together with the machine it names a process on).
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    XTextProperty machine{};
    char* hostText = host;
    if (XStringListToTextProperty(&hostText, 1, &machine)) {
        XSetWMClientMachine(display_, window_, &machine);
        XFree(machine.value);
    }
    unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display_, window_, connection_.atom("_NET_WM_PID"), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);

    surface_ = std::make_unique<GlxSurface>(services.context, window_, rect_.width, rect_.height);
    view_ = std::make_unique<ShaderView>(rect_.width / scale_, rect_.height / scale_,
                                         services.viewServices());
    face_ = std::make_unique<ShaderViewFace>(*view_);
    // Not mapped yet: nothing of it can be seen.
    view_->moveToWindow(surface_.get(), scale_, true);
}

X11ViewWindow::~X11ViewWindow() {
    connection_.setWindowHandler(window_, {});
    face_.reset();
    view_.reset();
    surface_.reset();
    XDestroyWindow(display_, window_);
    XFreeColormap(display_, colormap_);
    XFlush(display_);
}

void X11ViewWindow::map() {
    XMoveResizeWindow(display_, window_, rect_.x, rect_.y, static_cast<unsigned>(rect_.width),
                      static_cast<unsigned>(rect_.height));
    XMapWindow(display_, window_);
}

void X11ViewWindow::unmap() {
    XUnmapWindow(display_, window_);
}

void X11ViewWindow::setCovered(bool covered) {
    covered_ = covered;
    updateOcclusion();
}

void X11ViewWindow::updateOcclusion() {
    view_->setWindowOccluded(hidden_ || covered_);
}

void X11ViewWindow::handle(const XEvent& event) {
    switch (event.type) {
        case ConfigureNotify: {
            const XConfigureEvent& c = event.xconfigure;
            surface_->setPixelSize(c.width, c.height);
            // Also after a move: the drawable follows the window.
            view_->setFrameSize(c.width / scale_, c.height / scale_);
            break;
        }
        case VisibilityNotify:
            hidden_ = event.xvisibility.state == VisibilityFullyObscured;
            updateOcclusion();
            break;
        case UnmapNotify:
            hidden_ = true;
            updateOcclusion();
            break;
        case MapNotify:
            // Whether it can be seen comes with the VisibilityNotify that follows.
            break;
        default:
            if (onEvent_) onEvent_(event);
            break;
    }
}

}  // namespace tavel
