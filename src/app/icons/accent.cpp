#include "app/icons/accent.h"

#include <algorithm>
#include <cmath>

namespace tavel {

namespace {

struct Hsb {
    double hue = 0;  // 0 ... 1
    double saturation = 0;
    double brightness = 0;
};

Hsb toHsb(double r, double g, double b) {
    const double high = std::max({r, g, b});
    const double low = std::min({r, g, b});
    const double range = high - low;
    Hsb hsb;
    hsb.brightness = high;
    hsb.saturation = high > 0 ? range / high : 0;
    if (range > 0) {
        double sixths = high == r   ? (g - b) / range
                        : high == g ? 2 + (b - r) / range
                                    : 4 + (r - g) / range;
        hsb.hue = std::fmod(sixths / 6 + 1, 1.0);
    }
    return hsb;
}

Rgba toRgb(const Hsb& hsb) {
    const double h = hsb.hue * 6, s = hsb.saturation, v = hsb.brightness;
    const int sector = static_cast<int>(std::floor(h)) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    const double rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    const double* c = rgb[sector];
    return Rgba{float(c[0]), float(c[1]), float(c[2]), 1.0f};
}

}  // namespace

Rgba accentFromAverage(Rgba average) {
    if (!std::isfinite(average.r) || !std::isfinite(average.g) || !std::isfinite(average.b))
        return Rgba{1, 1, 1, 1};
    auto unit = [](float c) { return std::clamp(double(c), 0.0, 1.0); };
    Hsb hsb = toHsb(unit(average.r), unit(average.g), unit(average.b));
    hsb.saturation = std::clamp(hsb.saturation * 1.6, 0.35, 0.85);
    hsb.brightness = std::clamp(hsb.brightness * 1.5, 0.8, 1.0);
    return toRgb(hsb);
}

}  // namespace tavel
