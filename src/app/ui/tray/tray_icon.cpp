#include "app/ui/tray/tray_icon.h"

#include "effects/offscreen/png_decode.h"
#include "platform/xdg_installation.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <system_error>

namespace tavel {

namespace {

// The symbol's proportions, as fractions of the icon's side.
constexpr double kOuterRadius = 0.40;
constexpr double kRingWidth = 0.09;
// The dark outline around it, so it reads on light panels as on dark ones: a fraction of
// the side, at least one pixel.
constexpr double kOutline = 0.06;
// Samples per pixel along each axis for the antialiased edge.
constexpr int kSamples = 8;

StatusIconPixmap blank(int size) {
    StatusIconPixmap pixmap;
    pixmap.width = pixmap.height = std::max(size, 0);
    pixmap.argb.assign(std::size_t(pixmap.width) * pixmap.height * 4, 0);
    return pixmap;
}

// Whether a point (in pixels, the centre at `c`) lies on the ring or in the left half,
// grown by `grow` pixels on every side.
bool inSymbol(double x, double y, double c, double outer, double inner, double grow) {
    const double dx = x - c, dy = y - c;
    const double r2 = dx * dx + dy * dy;
    if (r2 > (outer + grow) * (outer + grow)) return false;
    return dx < grow || r2 >= (inner - grow) * (inner - grow);
}

std::uint8_t byte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

std::optional<Image> logoFrom(const std::vector<std::filesystem::path>& candidates, LogSink& log) {
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(candidate, ignored)) continue;
        std::string error;
        if (std::optional<Image> logo = decodePngFile(candidate, error)) return logo;
        log.write("Tavel: the tray icon " + candidate.string() + " cannot be used: " + error);
    }
    return std::nullopt;
}

}  // namespace

StatusIconPixmap traySymbol(int size) {
    StatusIconPixmap pixmap = blank(size);
    const double c = size / 2.0;
    const double outer = kOuterRadius * size;
    const double inner = outer - kRingWidth * size;
    const double outline = std::max(1.0, kOutline * size);
    constexpr double kDark = 34;  // the outline's grey
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int white = 0, shape = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = x + (sx + 0.5) / kSamples, py = y + (sy + 0.5) / kSamples;
                    white += inSymbol(px, py, c, outer, inner, 0.0);
                    shape += inSymbol(px, py, c, outer, inner, outline);
                }
            if (shape == 0) continue;
            // White where the symbol is, the outline's grey around it; not premultiplied.
            const double grey = (255.0 * white + kDark * (shape - white)) / shape;
            std::uint8_t* p = &pixmap.argb[(std::size_t(y) * size + x) * 4];
            p[0] = byte(255.0 * shape / (kSamples * kSamples));
            p[1] = p[2] = p[3] = byte(grey);
        }
    return pixmap;
}

Image fittedImage(const Image& image, int size) {
    Image fitted{std::max(size, 0), std::max(size, 0), {}};
    fitted.bgra.assign(std::size_t(fitted.width) * fitted.height * 4, 0);
    if (image.width <= 0 || image.height <= 0 || size <= 0) return fitted;
    // Destination pixels per source pixel, and where the fitted picture starts.
    const double scale = double(size) / std::max(image.width, image.height);
    const double left = (size - image.width * scale) / 2;
    const double top = (size - image.height * scale) / 2;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            // The source area under this pixel.
            const double x0 = std::max(0.0, (x - left) / scale);
            const double x1 = std::min(double(image.width), (x + 1 - left) / scale);
            const double y0 = std::max(0.0, (y - top) / scale);
            const double y1 = std::min(double(image.height), (y + 1 - top) / scale);
            if (x1 <= x0 || y1 <= y0) continue;  // the transparent border
            double alpha = 0, red = 0, green = 0, blue = 0;
            for (int sy = int(y0); sy < y1; ++sy)
                for (int sx = int(x0); sx < x1; ++sx) {
                    const double w = (std::min(x1, sx + 1.0) - std::max(x0, double(sx))) *
                                     (std::min(y1, sy + 1.0) - std::max(y0, double(sy)));
                    const std::uint8_t* s = image.pixel(sx, sy);
                    const double a = w * s[3];  // weighted by alpha: no dark fringes
                    alpha += a;
                    blue += a * s[0];
                    green += a * s[1];
                    red += a * s[2];
                }
            // Over the whole pixel's area (1 / scale² source pixels): where part of a border
            // pixel lies outside the picture, that part counts as transparent.
            std::uint8_t* p = &fitted.bgra[(std::size_t(y) * size + x) * 4];
            p[3] = byte(alpha * scale * scale);
            if (alpha > 0) {
                p[0] = byte(blue / alpha);
                p[1] = byte(green / alpha);
                p[2] = byte(red / alpha);
            }
        }
    return fitted;
}

StatusIconPixmap trayImage(const Image& image, int size) {
    const Image fitted = fittedImage(image, size);
    StatusIconPixmap pixmap = blank(size);
    for (std::size_t i = 0; i < pixmap.argb.size(); i += 4) {
        pixmap.argb[i] = fitted.bgra[i + 3];
        pixmap.argb[i + 1] = fitted.bgra[i + 2];
        pixmap.argb[i + 2] = fitted.bgra[i + 1];
        pixmap.argb[i + 3] = fitted.bgra[i];
    }
    return pixmap;
}

std::vector<std::filesystem::path> trayLogoCandidates(const std::filesystem::path& programFolder) {
    return {programFolder / ".." / "share" / "tavel" / "Logo.png", programFolder / "Logo.png"};
}

std::optional<Image> findLogo(const std::filesystem::path& programFolder, LogSink& log) {
    return logoFrom(trayLogoCandidates(programFolder), log);
}

std::optional<Image> findLogo(LogSink& log) {
    const std::filesystem::path self = besideThisProgram("tavel");
    // A relative answer means the program's folder is unknown: only the symbol is left.
    if (!self.is_absolute()) return std::nullopt;
    return findLogo(self.parent_path(), log);
}

std::vector<StatusIconPixmap> trayIcons(const std::optional<Image>& logo) {
    std::vector<StatusIconPixmap> icons;
    for (int size : kTrayIconSizes)
        icons.push_back(logo ? trayImage(*logo, size) : traySymbol(size));
    return icons;
}

std::vector<StatusIconPixmap> trayIcons(const std::filesystem::path& programFolder, LogSink& log) {
    return trayIcons(findLogo(programFolder, log));
}

}  // namespace tavel
