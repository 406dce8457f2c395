#pragma once
// The interface's accent colour, taken from the average colour of the running effect:
// the same hue, more saturated and brighter, so that it reads as a tint on dark glass.

#include "effects/rgba.h"

namespace tavel {

// Hue kept; saturation x 1.6 within 0.35 ... 0.85; brightness x 1.5, at least 0.8 (and at
// most 1); opaque. A colour that is not one (NaN or infinite components) gives white.
Rgba accentFromAverage(Rgba average);

}  // namespace tavel
