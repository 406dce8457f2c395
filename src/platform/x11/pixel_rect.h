#pragma once
// Rectangles of the X screen in pixels.

#include "platform/screen.h"

namespace tavel {

struct PixelRect {
    int x = 0, y = 0, width = 1, height = 1;
    bool operator==(const PixelRect&) const = default;
};

// The pixel rectangle of a screen whose frame is in points (origin kept, even negative;
// sizes at least 1 pixel).
PixelRect pixelRectOf(const ScreenRecord& screen);

}  // namespace tavel
