#pragma once
// A layer-shell surface on one output that holds one ShaderView drawn through the EGL
// context: the part the wallpaper and saver windows share. The surface exists only while
// the window is shown: show() makes it, the compositor's first configure gives its size
// (drawn at that size times the output's scale) and maps it, hide() destroys it. Whether
// it is mapped, closed by the compositor or stalled (its frame callbacks stopped:
// covered, or its output is off) drives the view's occlusion. Main thread only.

#include "effects/shader_view.h"
#include "platform/screen.h"
#include "platform/shader_view_face.h"
#include "platform/wayland/egl_window_surface.h"
#include "platform/wayland/frame_pacer.h"
#include "platform/wayland/wayland_render_services.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct zwlr_layer_surface_v1;

namespace tavel {

class LayerViewWindow {
public:
    struct Role {
        std::uint32_t layer = 0;                  // zwlr_layer_shell_v1.layer
        std::uint32_t keyboardInteractivity = 0;  // zwlr_layer_surface_v1.keyboard_interactivity
        bool passInput = false;                   // an empty input region: input goes below
        // zwlr_layer_surface_v1.exclusive_zone: -1 covers the whole output, whatever
        // others reserve; 0 keeps clear of what panels reserve.
        std::int32_t exclusiveZone = -1;
        const char* nameSpace = "tavel";
    };

    // For the output named like `screen`; nothing is on screen before show(). A screen
    // whose output is not there (it went away) gets a window that stays closed. Needs
    // the layer shell.
    LayerViewWindow(const WaylandRenderServices& services, const ScreenRecord& screen, Role role);
    ~LayerViewWindow();
    LayerViewWindow(const LayerViewWindow&) = delete;
    LayerViewWindow& operator=(const LayerViewWindow&) = delete;

    ShaderView& view() { return *view_; }
    WallpaperView& face() { return *face_; }

    // Runs `handler` on each key or pointer event on the surface while it is shown.
    void setInputHandler(std::function<void()> handler);

    void show();
    void hide();

    // For tests and reports: the configured size in surface units (the screen's before
    // the first configure), the buffer scale, and whether the compositor closed it.
    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }
    bool closed() const { return closed_; }

    // Called by the listeners.
    void configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
    void closedByCompositor();
    void preferredScale(std::uint32_t scale120);

private:
    void applySize();
    void updateOcclusion();

    WaylandConnection& connection_;
    EglContext& context_;
    Role role_;
    std::string outputName_;
    bool closed_ = false;         // by the compositor, or its output was gone: never shown again
    int width_ = 0, height_ = 0;  // surface units, as configured
    double scale_ = 1.0;          // pixels per surface unit
    std::function<void()> inputHandler_;
    std::unique_ptr<FramePacer> pacer_;
    std::unique_ptr<ShaderView> view_;
    std::unique_ptr<ShaderViewFace> face_;

    // While shown only.
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    wp_viewport* viewport_ = nullptr;  // with fractional scales only
    wp_fractional_scale_v1* fractional_ = nullptr;
    std::unique_ptr<EglWindowSurface> drawable_;
    bool configured_ = false;  // mapped: its first configure came and a frame went with it
};

}  // namespace tavel
