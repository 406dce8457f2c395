#pragma once
// PNG encoding of rendered images.

#include "effects/offscreen/image.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tavel {

// The image as PNG bytes: RGB when every pixel is opaque, RGBA otherwise. Nothing
// when the encoder fails.
std::optional<std::vector<std::uint8_t>> encodePng(const Image& image);

}  // namespace tavel
