#include "effects/offscreen/fill_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavel {

namespace {

// For each target column (or row): the two source columns it falls between and the
// weight of the second.
struct Tap {
    int first, second;
    float weight;
};

std::vector<Tap> tapsFor(int targetSize, int sourceSize, double scale, double offset) {
    std::vector<Tap> taps(static_cast<std::size_t>(targetSize));
    for (int i = 0; i < targetSize; ++i) {
        // Pixel centres map onto pixel centres; at scale 1 they land exactly on them.
        double at = std::clamp((i + 0.5 + offset) / scale - 0.5, 0.0, double(sourceSize - 1));
        int first = int(at);
        taps[std::size_t(i)] = {first, std::min(first + 1, sourceSize - 1), float(at - first)};
    }
    return taps;
}

}  // namespace

Image scaleToFill(const Image& picture, int width, int height) {
    Image out;
    if (picture.width <= 0 || picture.height <= 0 || width <= 0 || height <= 0) return out;
    double scale = std::max(double(width) / picture.width, double(height) / picture.height);
    // The scaled picture's overflow, half of it cut on each side.
    double offsetX = (picture.width * scale - width) / 2;
    double offsetY = (picture.height * scale - height) / 2;
    std::vector<Tap> columns = tapsFor(width, picture.width, scale, offsetX);
    std::vector<Tap> rows = tapsFor(height, picture.height, scale, offsetY);

    out.width = width;
    out.height = height;
    out.bgra.resize(std::size_t(width) * height * 4);
    std::uint8_t* target = out.bgra.data();
    for (const Tap& row : rows) {
        for (const Tap& column : columns) {
            const std::uint8_t* a = picture.pixel(column.first, row.first);
            const std::uint8_t* b = picture.pixel(column.second, row.first);
            const std::uint8_t* c = picture.pixel(column.first, row.second);
            const std::uint8_t* d = picture.pixel(column.second, row.second);
            for (int k = 0; k < 4; ++k) {
                float top = a[k] + (b[k] - a[k]) * column.weight;
                float bottom = c[k] + (d[k] - c[k]) * column.weight;
                *target++ = std::uint8_t(std::lround(top + (bottom - top) * row.weight));
            }
        }
    }
    return out;
}

}  // namespace tavel
