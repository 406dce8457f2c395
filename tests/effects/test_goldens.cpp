// Every catalog effect against golden images: one PNG per effect under
// tests/effects/golden/, one 96x54 tile per case, left to right in the order of kCases.
// The goldens were rendered by this renderer after an independent CPU transcription of
// every program had confirmed its output.
//
// To regenerate them after an intended change of a program, run
//     TAVEL_UPDATE_GOLDEN=1 build/tests/test_render --gtest_filter='*Goldens*'
// which rewrites the files instead of comparing, then look at the new images before
// committing them.

#include "effects/catalog.h"
#include "effects/offscreen/png_encode.h"
#include "support/render_helpers.h"

#include <png.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tavel {
namespace {

constexpr int kTileWidth = 96;
constexpr int kTileHeight = 54;
// Mean absolute difference per tile over r, g and b, in 8-bit levels. Measured: llvmpipe
// restricted to SSE2, SSE4.1 or AVX (GALLIUM_OVERRIDE_CPU_CAPS) moves no tile by more
// than 0.01 (at 64x36 one row of a signalwall tile flipped across a floor() edge: 0.08).
// A slider left at its default instead of at one end moves the least sensitive tile, the
// sparse dots of dotwave and vortex, by 0.16 (at 64x36 by 0.08, hence the larger tiles).
constexpr double kMaxMeanLevels = 0.1;

const struct {
    const char* name;
    float time;  // wall-clock seconds; the renderer scales them by speed
    test::Controls controls;
} kCases[] = {
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
constexpr int kTiles = int(std::size(kCases));

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

// Mean absolute difference over r, g and b of one tile.
double tileDifference(const Image& a, const Image& b, int tile) {
    long sum = 0;
    for (int y = 0; y < kTileHeight; ++y)
        for (int x = tile * kTileWidth; x < (tile + 1) * kTileWidth; ++x)
            for (int c = 0; c < 3; ++c) sum += std::abs(a.pixel(x, y)[c] - b.pixel(x, y)[c]);
    return double(sum) / (kTileWidth * kTileHeight * 3);
}

class Goldens : public test::RenderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Goldens, EveryCaseMatchesItsTile) {
    const ShaderEffect effect = *shaderEffect(GetParam());
    Image strip{kTiles * kTileWidth, kTileHeight,
                std::vector<std::uint8_t>(std::size_t(kTiles) * kTileWidth * kTileHeight * 4)};
    const std::size_t stride = std::size_t(strip.width) * 4;
    for (int i = 0; i < kTiles; ++i) {
        ShaderParams params = test::paramsFor(kCases[i].controls, effect);
        ASSERT_TRUE(renderer().renderBGRA(effect, params, kTileWidth, kTileHeight, kCases[i].time,
                                          &strip.bgra[std::size_t(i) * kTileWidth * 4], stride))
            << kCases[i].name;
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
    for (int i = 0; i < kTiles; ++i) {
        double mean = tileDifference(strip, *golden, i);
        EXPECT_LE(mean, kMaxMeanLevels) << kCases[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalog, Goldens, ::testing::ValuesIn(test::catalogIds()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tavel
