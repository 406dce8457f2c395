#pragma once
// The on-screen renderer of one effect: draws continuously at a set frame rate, at a
// fraction of the window's pixel resolution, compiles its program off the main thread,
// and stops drawing whenever its window is hidden or its owner pauses it.
//
// Main thread only. The window system provides the surface, the compiler, the frame
// timer and the clock through the interfaces below.

#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "effects/shader_params.h"
#include "effects/uniforms.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavel {

// The window's drawing surface and GL context (GLX on X11). Main thread.
class RenderSurface {
public:
    virtual ~RenderSurface() = default;
    // Makes the context current on this surface; false when it cannot be.
    virtual bool makeCurrent() = 0;
    // Presents what was drawn into the default framebuffer.
    virtual void present() = 0;
    // The surface's size in pixels.
    virtual int pixelWidth() const = 0;
    virtual int pixelHeight() const = 0;
};

// Draws one frame of a compiled program into the current surface: into a target of
// `drawableWidth` x `drawableHeight` pixels, shown over the whole surface (scaled when
// the drawable is smaller), darkened towards black by 1 - fade. Main thread, context
// current.
class FrameRenderer {
public:
    virtual ~FrameRenderer() = default;
    virtual void drawFrame(unsigned program, int topRowFirstLocation, const Uniforms& uniforms,
                           int drawableWidth, int drawableHeight, int surfaceWidth,
                           int surfaceHeight, float fade) = 0;
};

// Compiles programs on a background thread into the share group of the views' contexts.
class ProgramCompiler {
public:
    struct Outcome {
        unsigned program = 0;  // 0 on failure
        int topRowFirstLocation = -1;
        std::string error;  // the driver's info log on failure
    };
    virtual ~ProgramCompiler() = default;
    // Main thread. Compiles the effect's program text (prelude + "\n" + fragment part);
    // `done` runs later on the main thread with the outcome, whatever became of the
    // caller in between (the caller guards itself).
    virtual void compile(const ShaderEffect& effect, std::function<void(Outcome)> done) = 0;
    // Main thread, whichever context is current (the view may be in no window). Deletes
    // a program the caller no longer uses.
    virtual void release(unsigned program) = 0;
};

// Calls `tick` on the main thread about `framesPerSecond` times a second until stop().
class FrameTimer {
public:
    virtual ~FrameTimer() = default;
    virtual void start(double framesPerSecond, std::function<void()> tick) = 0;
    virtual void stop() = 0;
};

struct ShaderViewServices {
    ProgramCompiler& compiler;
    FrameRenderer& renderer;
    std::unique_ptr<FrameTimer> timer;
    std::function<double()> clock;        // host media time in seconds (monotonic)
    std::function<double()> randomStart;  // uniform in 0...100, the initial effect time
    LogSink& log;
};

class ShaderView {
public:
    // A view of `widthPoints` x `heightPoints`, in no window yet (so paused).
    ShaderView(double widthPoints, double heightPoints, ShaderViewServices services);
    ~ShaderView();
    ShaderView(const ShaderView&) = delete;
    ShaderView& operator=(const ShaderView&) = delete;

    // Settable state. Setting an effect with the identifier already shown only stores it
    // (no recompile, no blank frame); any other change (including to or from none)
    // starts a recompile.
    const std::optional<ShaderEffect>& effect() const { return effect_; }
    void setEffect(std::optional<ShaderEffect> effect);
    const ShaderParams& params() const { return params_; }
    void setParams(ShaderParams params) { params_ = std::move(params); }
    double qualityScale() const { return qualityScale_; }
    void setQualityScale(double scale);
    bool renderPaused() const { return renderPaused_; }
    void setRenderPaused(bool paused);
    std::int64_t preferredFramesPerSecond() const { return preferredFramesPerSecond_; }
    void setPreferredFramesPerSecond(std::int64_t fps);
    // 1 shows the effect, 0 black; for the idle saver's fades.
    void setFade(float fade) { fade_ = fade; }

    // Window events, from the window that holds the view. A null surface means the view
    // left its window.
    void moveToWindow(RenderSurface* surface, double backingScale, bool occluded);
    void setWindowOccluded(bool occluded);
    void setBackingScale(double backingScale);
    void setFrameSize(double widthPoints, double heightPoints);

    // One frame (the frame timer's tick).
    void draw();

    // For reports and tests.
    bool isPaused() const { return paused_; }
    std::uint64_t framesDrawn() const { return framesDrawn_; }
    double virtualTime() const { return virtualTime_; }
    double drawableWidth() const { return drawableWidth_; }
    double drawableHeight() const { return drawableHeight_; }
    std::int64_t pipelineGeneration() const { return pipelineGeneration_; }
    bool hasPipeline() const { return program_ != 0; }

private:
    void rebuildPipeline();
    void updateDrawableSize();
    void applyPauseRule();
    void startTimer();

    ShaderViewServices services_;
    RenderSurface* surface_ = nullptr;
    double widthPoints_, heightPoints_;
    double backingScale_ = 2.0;
    std::optional<ShaderEffect> effect_;
    ShaderParams params_;
    double qualityScale_ = 1.0;
    bool renderPaused_ = false;
    bool windowOccluded_ = true;  // no window yet
    bool paused_ = true;
    std::int64_t preferredFramesPerSecond_ = 30;
    float fade_ = 1.0f;
    unsigned program_ = 0;
    int topRowFirstLocation_ = -1;
    std::int64_t pipelineGeneration_ = 0;
    double virtualTime_ = 0;
    std::optional<double> lastFrameTime_;
    double drawableWidth_ = 0, drawableHeight_ = 0;
    std::uint64_t framesDrawn_ = 0;
    // Compile results hold this weakly: a view that is gone installs nothing.
    std::shared_ptr<ShaderView*> self_;
};

}  // namespace tavel
