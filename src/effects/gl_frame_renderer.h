#pragma once
// Draws the views' frames with OpenGL 3.3 core into the current window surface.
//
// One renderer serves one GL context (views of several windows may share it: the
// objects it makes are per context, and the windows share one context). Its objects
// are made at the first frame, in the context current then. Main thread only.

#include "effects/shader_view.h"

#include <cstdint>
#include <memory>

namespace tavel {

class GlFrameRenderer final : public FrameRenderer {
public:
    GlFrameRenderer();
    // Touches no GL: the objects go with their context. Call releaseGlObjects() first
    // when the context lives on.
    ~GlFrameRenderer() override;
    GlFrameRenderer(const GlFrameRenderer&) = delete;
    GlFrameRenderer& operator=(const GlFrameRenderer&) = delete;

    // Draws straight into the default framebuffer when the drawable has the surface's
    // size; otherwise into an offscreen target of the drawable's size, stretched onto
    // the window (linear filtering). A fade below 1 lays black of alpha 1 - fade over it.
    void drawFrame(unsigned program, int topRowFirstLocation, const Uniforms& uniforms,
                   int drawableWidth, int drawableHeight, int surfaceWidth, int surfaceHeight,
                   float fade) override;

    // Deletes the GL objects; the context they were made in must be current.
    void releaseGlObjects();

    // Frames drawn so far (calls that drew), for the views' CPU budget.
    std::uint64_t framesDrawn() const { return framesDrawn_; }

private:
    struct Objects;
    std::unique_ptr<Objects> objects_;
    std::uint64_t framesDrawn_ = 0;
};

}  // namespace tavel
