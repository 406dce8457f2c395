#include "effects/shader_view.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

namespace tavel {

double randomStartTime() {
    std::mt19937 engine(std::random_device{}());
    return std::uniform_real_distribution<double>(0.0, 100.0)(engine);
}

namespace {

// Longest step of effect time per frame: a hitch of any length moves the effect by at
// most this much (times speed).
constexpr double kMaxFrameStep = 0.1;

// Backing scale assumed while the view is in no window.
constexpr double kScaleOutsideWindow = 2.0;

// At least one pixel; NaN counts as nothing, so it becomes one too.
double atLeastOne(double value) {
    return value > 1.0 ? value : 1.0;
}

int wholePixels(double value) {
    return static_cast<int>(std::lround(atLeastOne(value)));
}

}  // namespace

ShaderView::ShaderView(double widthPoints, double heightPoints, ShaderViewServices services)
    : services_(std::move(services)), widthPoints_(widthPoints), heightPoints_(heightPoints) {
    virtualTime_ = services_.randomStart ? services_.randomStart() : 0.0;
    updateDrawableSize();
}

ShaderView::~ShaderView() {
    programRequest_.withdraw();
    if (services_.timer) services_.timer->stop();
}

void ShaderView::setEffect(std::optional<ShaderEffect> effect) {
    bool sameIdentifier = effect.has_value() == effect_.has_value() &&
                          (!effect.has_value() || effect->id == effect_->id);
    effect_ = std::move(effect);
    if (!sameIdentifier) rebuildPipeline();
}

void ShaderView::setQualityScale(double scale) {
    qualityScale_ = scale;
    updateDrawableSize();
}

void ShaderView::setRenderPaused(bool paused) {
    renderPaused_ = paused;
    applyPauseRule();
}

void ShaderView::setPreferredFramesPerSecond(std::int64_t fps) {
    if (fps == preferredFramesPerSecond_) return;
    preferredFramesPerSecond_ = fps;
    if (!paused_) startTimer();
}

void ShaderView::moveToWindow(RenderSurface* surface, double backingScale, bool occluded) {
    surface_ = surface;
    backingScale_ = backingScale;
    updateDrawableSize();
    // Outside any window the view counts as hidden.
    windowOccluded_ = surface_ ? occluded : true;
    applyPauseRule();
}

void ShaderView::setWindowOccluded(bool occluded) {
    if (!surface_) return;
    windowOccluded_ = occluded;
    applyPauseRule();
}

void ShaderView::setBackingScale(double backingScale) {
    backingScale_ = backingScale;
    updateDrawableSize();
}

void ShaderView::setFrameSize(double widthPoints, double heightPoints) {
    widthPoints_ = widthPoints;
    heightPoints_ = heightPoints;
    updateDrawableSize();
}

void ShaderView::draw() {
    if (program_ == 0 || !surface_) return;
    // A surface that cannot take the context is a frame without a drawable: skipped,
    // and the effect time stays where it is.
    if (!surface_->makeCurrent()) return;

    double now = services_.clock();
    if (lastFrameTime_) {
        double dt = std::clamp(now - *lastFrameTime_, 0.0, kMaxFrameStep);
        if (!(dt >= 0.0)) dt = 0.0;  // a clock that went NaN adds nothing
        virtualTime_ += dt * static_cast<double>(params_.speed);
    }
    lastFrameTime_ = now;
    drawPicture();
}

void ShaderView::redraw() {
    if (!paused_ || windowOccluded_ || program_ == 0 || !surface_) return;
    if (surface_->makeCurrent()) drawPicture();
}

void ShaderView::drawPicture() {
    int width = wholePixels(drawableWidth_);
    int height = wholePixels(drawableHeight_);
    Uniforms uniforms =
        makeUniforms(effect_ ? &*effect_ : nullptr, params_, static_cast<float>(virtualTime_),
                     static_cast<float>(width), static_cast<float>(height));
    services_.renderer.drawFrame(program_, topRowFirstLocation_, uniforms, width, height,
                                 surface_->pixelWidth(), surface_->pixelHeight(), fade_);
    surface_->present();
    ++framesDrawn_;
}

void ShaderView::rebuildPipeline() {
    // Until the new program arrives frames are skipped; the last image stays on screen.
    // An older request is withdrawn, so its compile is skipped when nobody else waits.
    programRequest_.withdraw();
    program_ = 0;
    topRowFirstLocation_ = -1;
    std::int64_t generation = ++pipelineGeneration_;
    if (!effect_) return;

    // The request lives in this view, so the callback never outlives it; it may run at
    // once, inside request(), when the program is linked already.
    programRequest_ = services_.compiler.request(
        *effect_,
        [this, generation, name = effect_->name](const ProgramCompiler::Outcome& outcome) {
            if (generation != pipelineGeneration_) return;
            if (outcome.program == 0) {
                services_.log.write("Tavel: failed to compile shader '" + name +
                                    "': " + oneLine(outcome.error));
                return;
            }
            program_ = outcome.program;
            topRowFirstLocation_ = outcome.topRowFirstLocation;
        });
}

void ShaderView::updateDrawableSize() {
    double scale = surface_ ? backingScale_ : kScaleOutsideWindow;
    double s = scale * qualityScale_;
    double width = atLeastOne(widthPoints_ * s);
    double height = atLeastOne(heightPoints_ * s);
    if (width != drawableWidth_ || height != drawableHeight_) {
        drawableWidth_ = width;
        drawableHeight_ = height;
    }
}

void ShaderView::applyPauseRule() {
    bool paused = renderPaused_ || windowOccluded_;
    if (paused == paused_) return;
    paused_ = paused;
    if (paused) {
        // The effect resumes where it stopped: the first frame after the pause adds nothing.
        lastFrameTime_.reset();
        if (services_.timer) services_.timer->stop();
    } else {
        startTimer();
    }
}

void ShaderView::startTimer() {
    if (!services_.timer) return;
    services_.timer->stop();
    // A rate below one frame a second (zero or negative from a bad setting) would be no
    // timer at all: draw at least once a second. A hand-edited rate above what any
    // display shows would only burn the machine.
    double fps = static_cast<double>(
        std::clamp<std::int64_t>(preferredFramesPerSecond_, 1, kMaxFramesPerSecond));
    services_.timer->start(fps, [this] { draw(); });
}

}  // namespace tavel
