#pragma once
// Fitting a picture to a screen of another size.

#include "effects/offscreen/image.h"

namespace tavel {

// `picture` scaled to cover width × height with its proportions kept, centred, the
// overflow on one axis cropped (bilinear samples). At the same size the pixels are
// copied unchanged. An empty picture or size gives an empty image.
Image scaleToFill(const Image& picture, int width, int height);

}  // namespace tavel
