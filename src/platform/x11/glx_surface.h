#pragma once
// One window's drawing surface for a ShaderView, drawn with the connection's one GLX
// context. Main thread only.

#include "effects/shader_view.h"
#include "platform/x11/glx_context.h"

#include <functional>

namespace tavel {

class GlxSurface final : public RenderSurface {
public:
    // `window` suits the context (see GlxContext::createDrawable) and outlives the
    // surface, or belongs to another client and may vanish first. Frames
    // are shown without waiting for the vertical blank.
    GlxSurface(GlxContext& context, Window window, int pixelWidth, int pixelHeight);
    // Unbinds the context from the surface's drawable and destroys it, so no later GL call
    // reaches the window; the window itself goes afterwards.
    ~GlxSurface() override;
    GlxSurface(const GlxSurface&) = delete;
    GlxSurface& operator=(const GlxSurface&) = delete;

    // Binds the window's own framebuffer too: the gallery's pictures leave theirs bound.
    bool makeCurrent() override;
    // Draws the overlay (when set) over the frame, then shows it.
    void present() override {
        if (overlay_) overlay_(width_, height_);
        context_.swapBuffers(drawable_);
    }
    // Drawn over every frame before it is shown, given the window's pixel size; with the
    // context current. Empty: none.
    void setOverlay(std::function<void(int width, int height)> overlay) {
        overlay_ = std::move(overlay);
    }
    int pixelWidth() const override { return width_; }
    int pixelHeight() const override { return height_; }
    // The GLX drawable (None when GLX refused the window), for telling its X errors apart.
    unsigned long drawable() const { return drawable_; }

    // The window's size changed (ConfigureNotify); no round trip per frame to ask.
    void setPixelSize(int width, int height) {
        width_ = width;
        height_ = height;
    }

private:
    GlxContext& context_;
    unsigned long drawable_;  // None when GLX refused it: nothing is drawn then
    int width_, height_;
    std::function<void(int, int)> overlay_;
};

}  // namespace tavel
