#pragma once
// How often the gallery window draws. While the person uses it (and a moment after, for
// the interface's own fades) it draws at its full rate; otherwise only as often as its
// pictures may change, which on a software renderer the CPU budget may have slowed far
// below the window's rate: there the window's glass, text and compositing cost more than
// its pictures at their floor.

#include "platform/scheduler.h"

#include <chrono>
#include <cstdint>

namespace tavel {

class GalleryPacing {
public:
    static constexpr Duration kLively = std::chrono::seconds(1);

    // Input, a new size, anything the window was told: full rate for a while.
    void wake(Duration now) { wokeAt_ = now; }

    // Whether a frame is to be drawn at `now`, when the pictures draw at `picturesFps`
    // and the window's own rate is `windowFps`; a frame it says yes to counts as drawn.
    bool due(Duration now, std::int64_t picturesFps, std::int64_t windowFps) {
        const bool lively = drawnAt_ < Duration::zero() || now - wokeAt_ < kLively ||
                            picturesFps >= windowFps || picturesFps <= 0;
        // Half a window frame early: the window's timer ticks are not exact.
        const Duration spacing = std::chrono::duration_cast<Duration>(
            std::chrono::duration<double>(1.0 / double(picturesFps) - 0.5 / double(windowFps)));
        if (!lively && now - drawnAt_ < spacing) return false;
        drawnAt_ = now;
        return true;
    }

private:
    Duration wokeAt_ = Duration::min() / 2;
    Duration drawnAt_ = Duration(-1);
};

}  // namespace tavel
