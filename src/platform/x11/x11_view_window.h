#pragma once
// An X11 window on one monitor's rectangle that holds one ShaderView drawn through the
// GLX context: the part the wallpaper and saver windows share. Its map state,
// visibility and size drive the view's occlusion and frame size. Main thread only.

#include "effects/shader_view.h"
#include "platform/screen.h"
#include "platform/shader_view_face.h"
#include "platform/wallpaper_window.h"
#include "platform/x11/glx_surface.h"
#include "platform/x11/pixel_rect.h"
#include "platform/x11/x11_render_services.h"

#include <functional>
#include <memory>

namespace tavel {

class X11ViewWindow {
public:
    struct Options {
        bool overrideRedirect = false;
        long extraEvents = 0;                        // beyond structure and visibility
        std::function<void(const XEvent&)> onEvent;  // called for those extra events
    };
    // Creates the window (unmapped, black) and its view; the view is in the window but
    // occluded until the window becomes visible.
    X11ViewWindow(const X11RenderServices& services, const ScreenRecord& screen, Options options);
    ~X11ViewWindow();
    X11ViewWindow(const X11ViewWindow&) = delete;
    X11ViewWindow& operator=(const X11ViewWindow&) = delete;

    Window xid() const { return window_; }
    Display* display() const { return display_; }
    ShaderView& view() { return *view_; }
    bool overrideRedirect() const { return overrideRedirect_; }
    GlxSurface& surface() { return *surface_; }
    WallpaperView& face() { return *face_; }
    const PixelRect& rect() const { return rect_; }

    // Moves the window back onto its rectangle and maps it.
    void map();
    void unmap();
    // Other windows hide it in a way the server does not report (a compositing manager
    // redirects every window, so nothing is ever "obscured"): the view stops as if it
    // were unmapped.
    void setCovered(bool covered);

private:
    void handle(const XEvent& event);
    void updateOcclusion();

    X11Connection& connection_;
    Display* display_;
    double scale_;
    PixelRect rect_;
    Colormap colormap_ = None;
    Window window_ = None;
    std::function<void(const XEvent&)> onEvent_;
    bool hidden_ = true;  // unmapped or fully obscured, as the server says
    bool covered_ = false;
    std::unique_ptr<GlxSurface> surface_;
    bool overrideRedirect_ = false;
    std::unique_ptr<ShaderView> view_;  // after the surface: goes first
    std::unique_ptr<ShaderViewFace> face_;
};

}  // namespace tavel
