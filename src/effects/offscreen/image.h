#pragma once
// Pixel images handed out by the offscreen renderer.

#include "effects/rgba.h"

#include <cstdint>
#include <vector>

namespace tavel {

// 8-bit BGRA pixels, top row first, rows packed (width x 4 bytes). Alpha is straight
// (not premultiplied); effect frames are opaque.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;

    const std::uint8_t* pixel(int x, int y) const {
        return &bgra[(std::size_t(y) * width + x) * 4];
    }
};

}  // namespace tavel
