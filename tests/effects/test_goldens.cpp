// Every effect on llvmpipe against golden/<id>.png (a strip of 96x54 tiles), and with no NaN
// pixel at the extremes. TAVEL_UPDATE_GOLDEN=1 rewrites the images after an intended change.

#include "effects/offscreen/png_encode.h"
#include "support/render_helpers.h"

#include <png.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>

namespace tavel {
namespace {

constexpr int kTileWidth = 96;
constexpr int kTileHeight = 54;
// Mean level difference per tile: CPU variants differ by 0.01, a slider fault by 0.16 at least.
constexpr double kMaxMeanLevels = 0.1;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Sliders as -1 (lower end of the effect's range), 0 (its default) or 1 (upper end).
struct Controls {
    float speed = 1, zoom = 1, hue = 0, intensity = 1;
    int slider1 = 0, slider2 = 0;
    bool recoloured = false;  // background and accent overridden
};

ShaderParams paramsFor(const Controls& c, const ShaderEffect& effect) {
    auto slider = [](int end, const CustomSpec& custom) -> std::optional<float> {
        if (end == 0) return std::nullopt;
        return end < 0 ? custom.range.lower : custom.range.upper;
    };
    ShaderParams p{c.speed, c.zoom, c.intensity, c.hue, {}, {}, {}, {}};
    p.custom1 = slider(c.slider1, *effect.defaults.custom1);
    p.custom2 = slider(c.slider2, *effect.defaults.custom2);
    if (c.recoloured) {
        p.bg = std::vector<float>{0.08f, 0.05f, 0.12f};
        p.accent = std::vector<float>{0.25f, 0.75f, 1.0f};
    }
    return p;
}

struct Case {
    const char* name;
    float time;  // wall-clock seconds; the renderer scales them by speed
    Controls controls;
    int width = kTileWidth, height = kTileHeight;
};

const Case kGoldenTiles[] = {
    {"t=0", 0.0f, {}},
    {"t=7.5", 7.5f, {}},
    {"t=40", 40.0f, {}},
    {"speed 2", 6.2f, {.speed = 2}},
    {"zoom 0.5", 11.0f, {.zoom = 0.5f}},
    {"zoom 2", 11.0f, {.zoom = 2}},
    {"slider 1 low", 7.5f, {.slider1 = -1}},
    {"slider 1 high", 7.5f, {.slider1 = 1}},
    {"slider 2 low", 7.5f, {.slider2 = -1}},
    {"slider 2 high", 7.5f, {.slider2 = 1}},
    {"hue 120, intensity 1.4", 7.5f, {.hue = 120, .intensity = 1.4f}},
    {"hue -45, intensity 0.6", 23.0f, {.hue = -45, .intensity = 0.6f}},
    {"colour overrides", 7.5f, {.recoloured = true}},
};
constexpr int kTiles = int(std::size(kGoldenTiles));

// Zoom 0 and NaN count as the smallest zoom the programs are given.
const Case kExtremes[] = {
    {"1x1 (the centre pixel)", 7.5f, {}, 1, 1},
    {"4096x16", 7.5f, {}, 4096, 16},
    {"zoom 0, sliders low", 3.0f, {.zoom = 0, .slider1 = -1, .slider2 = -1}, 97, 55},
    {"zoom NaN, sliders high", 3.0f, {.zoom = kNaN, .slider1 = 1, .slider2 = 1}, 97, 55},
};

// A post() painting NaN or infinite colours red; bit tests, which unlike isnan() never fold away.
const char* const kFiniteProbe = R"(
bool probeBad(float x) { return (floatBitsToUint(x) & 0x7f800000u) == 0x7f800000u; }
vec3 probePost(vec3 col, vec2 px, Uniforms u) {
    bool bad = probeBad(col.r) || probeBad(col.g) || probeBad(col.b);
    return bad ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 0.5, 0.0);
}
#define post probePost
)";

std::string goldenPath(const std::string& id) {
    return std::string(TAVEL_GOLDEN_DIR) + "/" + id + ".png";
}

std::optional<Image> readPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return std::nullopt;
    png.format = PNG_FORMAT_BGRA;
    Image image{int(png.width), int(png.height), std::vector<std::uint8_t>(PNG_IMAGE_SIZE(png))};
    // Frees what begin_read allocated, whether it succeeds or not.
    if (!png_image_finish_read(&png, nullptr, image.bgra.data(), 0, nullptr)) return std::nullopt;
    return image;
}

double tileDifference(const Image& a, const Image& b, int tile) {
    long sum = 0;
    for (int y = 0; y < kTileHeight; ++y)
        for (int x = tile * kTileWidth; x < (tile + 1) * kTileWidth; ++x)
            for (int c = 0; c < 3; ++c) sum += std::abs(a.pixel(x, y)[c] - b.pixel(x, y)[c]);
    return double(sum) / (kTileWidth * kTileHeight * 3);
}

class EveryEffect : public test::RenderTest, public ::testing::WithParamInterface<std::string> {
protected:
    const ShaderEffect effect = *shaderEffect(GetParam());
};

// The tiles are drawn into one strip with its row stride, as into a movie frame's rows.
TEST_P(EveryEffect, MatchesItsGoldenImage) {
    Image strip{kTiles * kTileWidth, kTileHeight,
                std::vector<std::uint8_t>(std::size_t(kTiles) * kTileWidth * kTileHeight * 4)};
    const std::size_t stride = std::size_t(strip.width) * 4;
    for (int i = 0; i < kTiles; ++i) {
        const Case& c = kGoldenTiles[i];
        ASSERT_TRUE(renderer().renderBGRA(effect, paramsFor(c.controls, effect), c.width, c.height,
                                          c.time, &strip.bgra[std::size_t(i) * kTileWidth * 4],
                                          stride))
            << c.name;
    }
    for (std::size_t a = 3; a < strip.bgra.size(); a += 4)
        ASSERT_EQ(strip.bgra[a], 255) << "not opaque at byte " << a;

    if (const char* update = std::getenv("TAVEL_UPDATE_GOLDEN"); update && *update == '1') {
        auto bytes = encodePng(strip);
        ASSERT_TRUE(bytes);
        std::ofstream file(goldenPath(effect.id), std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        ASSERT_TRUE(file.flush()) << "cannot write " << goldenPath(effect.id);
        return;
    }
    auto golden = readPng(goldenPath(effect.id));
    ASSERT_TRUE(golden) << goldenPath(effect.id) << " is missing; see the top of this file";
    ASSERT_EQ(golden->width, strip.width);
    ASSERT_EQ(golden->height, strip.height);
    for (int i = 0; i < kTiles; ++i)
        EXPECT_LE(tileDifference(strip, *golden, i), kMaxMeanLevels) << kGoldenTiles[i].name;
}

TEST_P(EveryEffect, NoPixelIsEverNaNOrInfinite) {
    const ShaderEffect probe =
        test::customEffect(effect.id, kFiniteProbe + std::string(effect.fragmentSource), effect.id);
    for (const auto& c : kExtremes) {
        auto image =
            renderer().renderImage(probe, paramsFor(c.controls, effect), c.width, c.height, c.time);
        ASSERT_TRUE(image) << c.name;
        int red = 0;
        for (std::size_t i = 2; i < image->bgra.size(); i += 4) red += image->bgra[i] != 0;
        EXPECT_EQ(red, 0) << c.name;
    }
}

std::vector<std::string> catalogIds() {
    std::vector<std::string> ids;
    for (const auto& effect : allShaders()) ids.push_back(effect.id);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(Catalog, EveryEffect, ::testing::ValuesIn(catalogIds()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tavel
