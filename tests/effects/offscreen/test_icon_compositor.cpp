#include "effects/offscreen/icon_compositor.h"

#include <gtest/gtest.h>

#include <array>

namespace tavel {
namespace {

Image solid(int size, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    Image image{size, size, {}};
    for (int i = 0; i < size * size; ++i) image.bgra.insert(image.bgra.end(), {b, g, r, 255});
    return image;
}

TEST(IconCompositor, AverageSamplesEverySixteenthPixelBlueFirst) {
    Image frame = solid(256, 0, 0, 0);
    // Pixels that the sampling rule visits are pure blue; the others stay black.
    for (std::size_t offset = 0; offset < frame.bgra.size(); offset += 64) frame.bgra[offset] = 255;
    EXPECT_EQ(sampledAverageColor(frame), (Rgba{0, 0, 1, 1}));
}

TEST(IconCompositor, TilesAreRoundedWithAHairline) {
    const Image frame = solid(256, 10, 20, 30);
    const Image dock = composeDockIcon(frame), status = composeStatusIcon(frame);
    ASSERT_EQ(dock.width * dock.height, 256 * 256);
    ASSERT_EQ(status.width * status.height, 19 * 19);
    const struct {
        const Image* icon;
        int x, y;
        std::array<int, 4> bgra;
        const char* where;
    } kPixels[] = {
        {&dock, 0, 0, {0, 0, 0, 0}, "outside the tile"},
        {&dock, 18, 128, {0, 0, 0, 0}, "left of the tile and its hairline"},
        {&dock, 19, 128, {255, 255, 255, 32}, "half covered by the hairline alone"},
        {&dock, 128, 20, {41, 49, 58, 255}, "edge: hairline over the frame"},
        {&dock, 30, 30, {0, 0, 0, 0}, "outside the corner arc"},
        {&dock, 128, 128, {10, 20, 30, 255}, "inside: the frame"},
        {&status, 0, 0, {0, 0, 0, 0}, "outside the corner arc"},
        {&status, 9, 9, {10, 20, 30, 255}, "inside: the frame"},
    };
    for (const auto& p : kPixels) {
        const std::uint8_t* px = p.icon->pixel(p.x, p.y);
        EXPECT_EQ((std::array<int, 4>{px[0], px[1], px[2], px[3]}), p.bgra)
            << p.where << " at " << p.x << ", " << p.y;
    }
    for (const Image* icon : {&dock, &status})
        for (int i = 0; i < icon->width; ++i) {  // mirror symmetric in both axes
            const int mid = icon->width / 2, last = icon->width - 1;
            EXPECT_EQ(icon->pixel(i, mid)[3], icon->pixel(last - i, mid)[3]);
            EXPECT_EQ(icon->pixel(mid, i)[3], icon->pixel(mid, last - i)[3]);
        }
}

}  // namespace
}  // namespace tavel
