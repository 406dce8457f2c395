#pragma once
// The settable face of a ShaderView that the core sees, for every window system's
// windows. Main thread only.

#include "effects/shader_view.h"
#include "platform/wallpaper_window.h"

namespace tavel {

class ShaderViewFace final : public WallpaperView {
public:
    explicit ShaderViewFace(ShaderView& view) : view_(view) {}
    void setEffect(const ShaderEffect& effect) override { view_.setEffect(effect); }
    void setParams(const ShaderParams& params) override { view_.setParams(params); }
    void setPreferredFramesPerSecond(std::int64_t fps) override {
        view_.setPreferredFramesPerSecond(fps);
    }
    void setQualityScale(double scale) override { view_.setQualityScale(scale); }
    void setRenderPaused(bool paused) override { view_.setRenderPaused(paused); }
    std::uint64_t framesDrawn() const override { return view_.framesDrawn(); }
    bool isDrawing() const override { return !view_.isPaused(); }

private:
    ShaderView& view_;
};

}  // namespace tavel
