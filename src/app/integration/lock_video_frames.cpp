// The movie's frames, which the command line checks without the encoder.

#include "app/integration/lock_video_renderer.h"

#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

namespace tavel {

std::int64_t LockVideoRenderer::frameCount(double seconds, int fps) {
    if (fps < 1) throw std::invalid_argument("the frame rate must be at least 1");
    const double frames = seconds * fps;
    if (!std::isfinite(frames) || frames < 0 || frames >= double(INT_MAX) + 1)
        throw std::invalid_argument("seconds x fps must be a number of frames from 0 to " +
                                    std::to_string(INT_MAX));
    return std::int64_t(frames);
}

float LockVideoRenderer::frameTime(std::int64_t i, std::int64_t n, double seconds) {
    return float(seconds / 2 * (1 - std::abs(1 - 2 * double(i) / double(n))));
}

}  // namespace tavel
