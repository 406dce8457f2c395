#pragma once
// What desktop tests see and wait for: 0xRRGGBB screenshots, rectangles, plain pictures, polls.

#include "effects/offscreen/png_decode.h"
#include "effects/offscreen/png_encode.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tavel::test {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool intersects(const Rect& o) const {
        return x < o.x + o.width && o.x < x + width && y < o.y + o.height && o.y < y + height;
    }
    Rect grown(int by) const { return {x - by, y - by, width + 2 * by, height + 2 * by}; }
    Rect united(const Rect& o) const {
        const int left = std::min(x, o.x), top = std::min(y, o.y);
        return {left, top, std::max(x + width, o.x + o.width) - left,
                std::max(y + height, o.y + o.height) - top};
    }
    int centerX() const { return x + width / 2; }
    int centerY() const { return y + height / 2; }
};

struct Shot {
    bool taken = false;
    int width = 0, height = 0;
    double lit = 0;                     // share of pixels with any colour channel above 8 of 255
    std::size_t colours = 0;            // distinct colours: one for a plain window or background
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, rows top first
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// A PNG file as a Shot (not taken when it cannot be read).
inline Shot shotFromFile(const std::filesystem::path& file) {
    Shot shot;
    std::string error;
    auto image = decodePngFile(file, error);
    if (!image) return shot;
    shot.taken = true;
    shot.width = image->width;
    shot.height = image->height;
    long lit = 0;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            const auto* p = image->pixel(x, y);  // BGRA
            lit += p[0] > 8 || p[1] > 8 || p[2] > 8;
            shot.pixels.push_back(p[0] | p[1] << 8 | p[2] << 16);
        }
    shot.lit = double(lit) / double(shot.pixels.size());
    std::vector<std::uint32_t> sorted = shot.pixels;
    std::sort(sorted.begin(), sorted.end());
    shot.colours = std::size_t(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
    return shot;
}

// The share of pixels in `area` (default: all) that differ; 1 when the sizes differ.
inline double changedShare(const Shot& a, const Shot& b, Rect area = {}) {
    if (!area.width) area = {0, 0, a.width, a.height};
    if (a.width != b.width || a.height != b.height || a.pixels.empty() || area.width <= 0 ||
        area.height <= 0)
        return 1;
    long changed = 0;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x) changed += a.at(x, y) != b.at(x, y);
    return double(changed) / (double(area.width) * area.height);
}

// Writes a plain 64x64 picture of `rgb` (0xRRGGBB); false when it cannot be encoded.
inline bool writePlainPicture(const std::filesystem::path& file, std::uint32_t rgb) {
    Image image{64, 64, {}};
    for (int i = 0; i < 64 * 64; ++i)
        for (int shift : {0, 8, 16, 24})
            image.bgra.push_back(std::uint8_t((rgb | 0xff000000) >> shift));
    auto png = encodePng(image);
    if (!png) return false;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
    return true;
}

// Polls `done` every 100 ms (a real process has no clock to advance); false after `limit`.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

}  // namespace tavel::test
