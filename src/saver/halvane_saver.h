#pragma once
// HalvaneSaver, the screen-saver view: one ShaderView that shows the selection, drawn
// only when its host calls animateOneFrame() (the view's own frame timer never runs).
//
// Main thread only. The host puts shaderView() into a window, calls startAnimation()
// once, then animateOneFrame() every animationTimeInterval() seconds.

#include "effects/log_sink.h"
#include "effects/shader_view.h"
#include "saver/saver_selection.h"

#include <cstdint>

namespace tavel {

class HalvaneSaver {
public:
    // A host's frame rate: 30 frames a second.
    static constexpr double kAnimationInterval = 1.0 / 30.0;

    // A view of `widthPoints` x `heightPoints` showing `selection`, render-paused so
    // that only animateOneFrame() draws. Lines go to `log`, which outlives the saver.
    HalvaneSaver(double widthPoints, double heightPoints, ShaderViewServices services,
                 const SaverSelection& selection, LogSink& log);

    ShaderView& shaderView() { return view_; }
    // animateOneFrame() calls so far.
    std::int64_t frameCount() const { return frameCount_; }
    double animationTimeInterval() const { return kAnimationInterval; }

    // Writes "HalvaneSaver: startAnimation, interval=" and the interval.
    void startAnimation();
    // Counts the frame, writes "HalvaneSaver: animateOneFrame #<n>" for frames 1 to 3
    // and every 150th, then draws one frame of the view.
    void animateOneFrame();

private:
    LogSink& log_;
    ShaderView view_;
    std::int64_t frameCount_ = 0;
};

}  // namespace tavel
