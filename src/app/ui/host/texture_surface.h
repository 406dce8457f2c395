#pragma once
// A ShaderView's surface that is a texture: the gallery draws effect pictures into
// textures and shows them inside its own frame. Main thread only, with the context that
// owns the texture current whenever the surface is resized or destroyed.

#include "effects/shader_view.h"

#include <functional>

namespace tavel {

// An RGBA8 texture sampled linearly and clamped at its edges, filled from BGRA pixels
// (top row first) when given; the gallery's pictures, stills and blur all use these.
// Context current.
unsigned makeTexture(int width, int height, const void* bgra = nullptr);
// A framebuffer that draws into `texture`; 0 (and nothing left behind) when the driver
// cannot complete it. Leaves framebuffer 0 bound.
unsigned makeFramebuffer(unsigned texture);

class TextureSurface final : public RenderSurface {
public:
    // `bindContext` makes the shared GL context current on the calling thread (on any
    // drawable); false when it cannot be.
    explicit TextureSurface(std::function<bool()> bindContext);
    ~TextureSurface() override;
    TextureSurface(const TextureSurface&) = delete;
    TextureSurface& operator=(const TextureSurface&) = delete;

    // A new size drops the old texture; the next makeCurrent makes one of this size.
    void resize(int width, int height);
    // The colour texture (RGBA8, top row first), 0 before the first makeCurrent.
    unsigned texture() const { return texture_; }

    bool makeCurrent() override;
    // Nothing to show: the gallery samples the texture when it draws its frame.
    void present() override {}
    int pixelWidth() const override { return width_; }
    int pixelHeight() const override { return height_; }

private:
    void release();

    std::function<bool()> bindContext_;
    int width_ = 1, height_ = 1;
    unsigned framebuffer_ = 0;
    unsigned texture_ = 0;
};

// A frame timer that the gallery drives from its own frames: it ticks inside pump()
// when a frame is due, so pictures draw only while the gallery draws.
class DrivenFrameTimer final : public FrameTimer {
public:
    void start(double framesPerSecond, std::function<void()> tick) override;
    void stop() override { tick_ = nullptr; }
    // Ticks once when a frame is due at `now` (seconds); the first tick is at once.
    void pump(double now);

private:
    std::function<void()> tick_;
    double period_ = 1.0;
    double next_ = -1.0;
};

}  // namespace tavel
