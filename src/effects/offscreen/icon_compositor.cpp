#include "effects/offscreen/icon_compositor.h"

#include <algorithm>
#include <cmath>

namespace tavel {

namespace {

struct RoundedRect {
    float x, y, width, height, radius;

    // Signed distance from the outline: negative inside.
    float distance(float px, float py) const {
        float qx = std::fabs(px - (x + width / 2)) - (width / 2 - radius);
        float qy = std::fabs(py - (y + height / 2)) - (height / 2 - radius);
        float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return outside + std::min(std::max(qx, qy), 0.0f) - radius;
    }
};

// Coverage of one pixel by the shape's interior and by a 1-wide stroke on its
// outline, from 4x4 samples.
void coverage(const RoundedRect& shape, int px, int py, float& fill, float& stroke) {
    constexpr int kSamples = 4;
    int inside = 0, onLine = 0;
    for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
            float d = shape.distance(px + (sx + 0.5f) / kSamples, py + (sy + 0.5f) / kSamples);
            inside += d <= 0.0f;
            onLine += std::fabs(d) <= 0.5f;
        }
    fill = inside / float(kSamples * kSamples);
    stroke = onLine / float(kSamples * kSamples);
}

// Average colour of the source pixels whose centres fall into the destination pixel's
// footprint (at least the nearest one), mapping the shape's bounds onto the frame.
void sampleFrame(const Image& frame, const RoundedRect& shape, int px, int py, float out[3]) {
    float sx = frame.width / shape.width, sy = frame.height / shape.height;
    auto span = [](float from, float to, int limit, int& lo, int& hi) {
        lo = std::clamp(int(std::ceil(from - 0.5f)), 0, limit - 1);
        hi = std::clamp(int(std::ceil(to - 0.5f)) - 1, lo, limit - 1);
    };
    int x0, x1, y0, y1;
    span((px - shape.x) * sx, (px + 1 - shape.x) * sx, frame.width, x0, x1);
    span((py - shape.y) * sy, (py + 1 - shape.y) * sy, frame.height, y0, y1);
    float sum[3] = {0, 0, 0};
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            for (int c = 0; c < 3; ++c) sum[c] += frame.pixel(x, y)[c];
    float n = float((x1 - x0 + 1) * (y1 - y0 + 1));
    for (int c = 0; c < 3; ++c) out[c] = sum[c] / n;
}

Image compose(const Image& frame, int size, const RoundedRect& shape) {
    Image icon{size, size, std::vector<std::uint8_t>(std::size_t(size) * size * 4, 0)};
    constexpr float kHairlineAlpha = 0.25f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float fill, stroke;
            coverage(shape, x, y, fill, stroke);
            if (fill <= 0.0f && stroke <= 0.0f) continue;
            float rgb[3] = {0, 0, 0};
            if (fill > 0.0f) sampleFrame(frame, shape, x, y, rgb);
            // Source-over: the hairline (white) on top of the clipped frame.
            float a = kHairlineAlpha * stroke;
            float outAlpha = a + fill * (1 - a);
            std::uint8_t* p = &icon.bgra[(std::size_t(y) * size + x) * 4];
            for (int c = 0; c < 3; ++c) {
                float premultiplied = 255.0f * a + rgb[c] * fill * (1 - a);
                p[c] = std::uint8_t(std::lround(std::min(premultiplied / outAlpha, 255.0f)));
            }
            p[3] = std::uint8_t(std::lround(outAlpha * 255.0f));
        }
    return icon;
}

}  // namespace

Image composeDockIcon(const Image& frame) {
    return compose(frame, 256, RoundedRect{20, 20, 216, 216, 48});
}

Image composeStatusIcon(const Image& frame) {
    return compose(frame, 19, RoundedRect{0.5f, 0.5f, 18, 18, 4.5f});
}

Rgba sampledAverageColor(const Image& frame) {
    double blue = 0, green = 0, red = 0;
    std::size_t count = 0;
    for (std::size_t offset = 0; offset + 2 < frame.bgra.size(); offset += 64) {
        blue += frame.bgra[offset];
        green += frame.bgra[offset + 1];
        red += frame.bgra[offset + 2];
        ++count;
    }
    if (count == 0) return Rgba{0, 0, 0, 1};
    return Rgba{float(red / count / 255.0), float(green / count / 255.0),
                float(blue / count / 255.0), 1.0f};
}

}  // namespace tavel
