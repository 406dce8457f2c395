#include "saver/halvane_saver.h"

#include <charconv>
#include <string>
#include <utility>

namespace tavel {

namespace {

// The shortest decimal text that reads back as the same double: 0.03333333333333333.
std::string decimalText(double value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace

HalvaneSaver::HalvaneSaver(double widthPoints, double heightPoints, ShaderViewServices services,
                           const SaverSelection& selection, LogSink& log)
    : log_(log), view_(widthPoints, heightPoints, std::move(services)) {
    view_.setEffect(selection.effect);
    view_.setParams(selection.params);
    // Paused before it enters a window, so its own timer never starts: the host's tick
    // is the only clock that draws.
    view_.setRenderPaused(true);
}

void HalvaneSaver::startAnimation() {
    log_.write("HalvaneSaver: startAnimation, interval=" + decimalText(animationTimeInterval()));
}

void HalvaneSaver::animateOneFrame() {
    ++frameCount_;
    if (frameCount_ < 4 || frameCount_ % 150 == 0)
        log_.write("HalvaneSaver: animateOneFrame #" + std::to_string(frameCount_));
    view_.draw();
}

}  // namespace tavel
