#pragma once
// A colour with opacity, components in 0...1 (sRGB unless said otherwise).

namespace tavel {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
    bool operator==(const Rgba&) const = default;
};

}  // namespace tavel
