#pragma once
// One window's drawing surface for a ShaderView, drawn with the connection's one GLX
// context. Main thread only.

#include "effects/shader_view.h"
#include "platform/x11/glx_context.h"

namespace tavel {

class GlxSurface final : public RenderSurface {
public:
    // `window` was created with the context's visual and outlives the surface. Frames
    // are shown without waiting for the vertical blank.
    GlxSurface(GlxContext& context, Window window, int pixelWidth, int pixelHeight);
    // Unbinds the context from the window, so no later GL call reaches a dead window.
    ~GlxSurface() override;
    GlxSurface(const GlxSurface&) = delete;
    GlxSurface& operator=(const GlxSurface&) = delete;

    bool makeCurrent() override { return context_.makeCurrent(window_); }
    void present() override { context_.swapBuffers(window_); }
    int pixelWidth() const override { return width_; }
    int pixelHeight() const override { return height_; }

    // The window's size changed (ConfigureNotify); no round trip per frame to ask.
    void setPixelSize(int width, int height) {
        width_ = width;
        height_ = height;
    }

private:
    GlxContext& context_;
    Window window_;
    int width_, height_;
};

}  // namespace tavel
