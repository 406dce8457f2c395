#include "effects/offscreen/icon_compositor.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

Image solid(int size, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    Image image{size, size, {}};
    for (int i = 0; i < size * size; ++i) image.bgra.insert(image.bgra.end(), {b, g, r, 255});
    return image;
}

TEST(IconCompositor, AverageSamplesEverySixteenthPixel) {
    Image frame = solid(256, 0, 0, 0);
    // Pixels that the sampling rule visits are white; the others stay black.
    for (std::size_t offset = 0; offset < frame.bgra.size(); offset += 64)
        frame.bgra[offset] = frame.bgra[offset + 1] = frame.bgra[offset + 2] = 255;
    Rgba average = sampledAverageColor(frame);
    EXPECT_FLOAT_EQ(average.r, 1.0f);
    EXPECT_FLOAT_EQ(average.g, 1.0f);
    EXPECT_FLOAT_EQ(average.b, 1.0f);

    // Channel order: blue first in memory.
    Rgba bgr = sampledAverageColor(solid(256, 255, 0, 0));
    EXPECT_FLOAT_EQ(bgr.b, 1.0f);
    EXPECT_FLOAT_EQ(bgr.r, 0.0f);
}

TEST(IconCompositor, DockTileIsRoundedAndSymmetric) {
    Image dock = composeDockIcon(solid(256, 10, 20, 30));
    for (int i = 0; i < 256; ++i) {
        // Mirror symmetry of the coverage in both axes.
        EXPECT_EQ(dock.pixel(i, 100)[3], dock.pixel(255 - i, 100)[3]);
        EXPECT_EQ(dock.pixel(100, i)[3], dock.pixel(100, 255 - i)[3]);
    }
    EXPECT_EQ(dock.pixel(18, 128)[3], 0);   // left of the tile and its hairline
    EXPECT_EQ(dock.pixel(19, 128)[3], 32);  // half covered by the hairline (0.25 / 2)
    EXPECT_EQ(dock.pixel(30, 30)[3], 0);    // outside the corner arc
    EXPECT_EQ(dock.pixel(40, 128)[3], 255);
    EXPECT_EQ(dock.pixel(40, 128)[2], 30);
}

}  // namespace
}  // namespace tavel
