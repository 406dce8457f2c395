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
    // Makes the context current on this surface and binds the surface's framebuffer (a
    // window's is 0; a texture's holds its image top row first); false when it cannot be.
    virtual bool makeCurrent() = 0;
    // Presents what was drawn into the surface's framebuffer.
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

// The programs of effects, linked at most once per process and effect id and kept in
// the share group of the views' contexts, so every view draws them and a view made
// again (a monitor came back) shows its effect at once. Compiling never blocks the main
// thread. Main thread only.
class ProgramCompiler {
public:
    struct Outcome {
        unsigned program = 0;  // 0 on failure; owned by the compiler, never deleted by views
        int topRowFirstLocation = -1;
        std::string error;  // the driver's info log on failure
    };

    // Held by whoever waits for a program. Dropping it (or withdraw()) withdraws the
    // wait: its callback never runs, and a compile that nobody waits for any more is not
    // started.
    class Request {
    public:
        Request() = default;
        explicit Request(std::shared_ptr<void> waiter) : waiter_(std::move(waiter)) {}
        void withdraw() { waiter_.reset(); }
        bool pending() const { return waiter_ != nullptr; }

    private:
        std::shared_ptr<void> waiter_;
    };

    virtual ~ProgramCompiler() = default;
    // The program of `effect` (prelude + "\n" + fragment part). When its outcome is known
    // already (linked or failed before in this process), `done` runs inside this call and
    // the request returned is empty; otherwise `done` runs later on the main thread,
    // provided the request is still held then.
    virtual Request request(const ShaderEffect& effect,
                            std::function<void(const Outcome&)> done) = 0;
};

// Calls `tick` on the main thread about `framesPerSecond` times a second until stop().
class FrameTimer {
public:
    virtual ~FrameTimer() = default;
    virtual void start(double framesPerSecond, std::function<void()> tick) = 0;
    virtual void stop() = 0;
};

// Uniform in 0...100 from a seed of its own: views of one effect start at different
// times. The usual ShaderViewServices::randomStart.
double randomStartTime();

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
    // The most frames a second a view draws: more than any display shows.
    static constexpr std::int64_t kMaxFramesPerSecond = 240;

    // A view of `widthPoints` x `heightPoints`, in no window yet (so paused).
    ShaderView(double widthPoints, double heightPoints, ShaderViewServices services);
    // Stops its timer and withdraws its compile request: nothing of it runs afterwards.
    ~ShaderView();
    ShaderView(const ShaderView&) = delete;
    ShaderView& operator=(const ShaderView&) = delete;

    // Settable state. Setting an effect with the identifier already shown only stores it
    // (no recompile, no blank frame); any other change (including to or from none)
    // asks the compiler for the new program. A frame rate is drawn at between 1 and
    // kMaxFramesPerSecond frames a second, whatever is set.
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
    // left its window; the surface must outlive the view or be taken away first.
    void moveToWindow(RenderSurface* surface, double backingScale, bool occluded);
    void setWindowOccluded(bool occluded);
    void setBackingScale(double backingScale);
    void setFrameSize(double widthPoints, double heightPoints);

    // One frame (the frame timer's tick).
    void draw();
    // The picture again, at the same effect time, for a paused view whose window shows
    // it: what is drawn over it (by the surface) changed. Nothing while its window is
    // hidden, before a program is there, or while the view is drawing anyway.
    void redraw();

    // For reports and tests.
    bool isPaused() const { return paused_; }
    std::uint64_t framesDrawn() const { return framesDrawn_; }
    double virtualTime() const { return virtualTime_; }
    double drawableWidth() const { return drawableWidth_; }
    double drawableHeight() const { return drawableHeight_; }
    std::int64_t pipelineGeneration() const { return pipelineGeneration_; }
    bool hasPipeline() const { return program_ != 0; }

private:
    void drawPicture();  // at the current effect time, the context bound
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
    // The wait for the program of the current generation; dropped with the view.
    ProgramCompiler::Request programRequest_;
};

}  // namespace tavel
