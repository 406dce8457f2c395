#pragma once
// Turns a rendered effect frame into the application's icons and its average colour.

#include "effects/offscreen/image.h"

namespace tavel {

// 256x256: the frame inside the rounded rectangle (20, 20, 216 x 216, radius 48),
// stroked with a white hairline at alpha 0.25; transparent outside.
Image composeDockIcon(const Image& frame);

// 19x19: the frame inside the rounded rectangle (0.5, 0.5, 18 x 18, radius 4.5),
// with the same hairline.
Image composeStatusIcon(const Image& frame);

// Mean of every 16th pixel (byte offsets 0, 64, 128, ...) of an opaque BGRA frame,
// alpha 1.
Rgba sampledAverageColor(const Image& frame);

}  // namespace tavel
