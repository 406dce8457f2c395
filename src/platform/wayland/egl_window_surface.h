#pragma once
// One Wayland surface's drawing surface for a ShaderView: a wl_egl_window and its EGL
// surface, drawn with the connection's one EGL context. Main thread only.

#include "effects/shader_view.h"
#include "platform/wayland/egl_context.h"

#include <functional>

struct wl_egl_window;
struct wl_surface;

namespace tavel {

class EglWindowSurface final : public RenderSurface {
public:
    // Hooks around each presented frame: `beforeSwap` runs right before the swap commits
    // the surface, `afterSwap` right after it.
    struct PresentHooks {
        std::function<void()> beforeSwap;
        std::function<void()> afterSwap;
    };

    // `surface` outlives this. Sizes below one pixel count as one.
    EglWindowSurface(EglContext& context, wl_surface* surface, int pixelWidth, int pixelHeight,
                     PresentHooks hooks);
    // Unbinds the context from the EGL surface and destroys it and the wl_egl_window.
    ~EglWindowSurface() override;
    EglWindowSurface(const EglWindowSurface&) = delete;
    EglWindowSurface& operator=(const EglWindowSurface&) = delete;

    // Binds framebuffer 0 too: other renderers leave theirs bound.
    bool makeCurrent() override;
    void present() override;
    int pixelWidth() const override { return width_; }
    int pixelHeight() const override { return height_; }

    // The next frame has this size (the compositor configured the surface anew).
    void setPixelSize(int width, int height);
    // Presents one black frame: the surface shows something before the view's first.
    void presentBlack();

private:
    EglContext& context_;
    PresentHooks hooks_;
    int width_, height_;
    wl_egl_window* window_;
    void* eglSurface_;  // null when EGL refused the window: nothing is drawn then
};

}  // namespace tavel
