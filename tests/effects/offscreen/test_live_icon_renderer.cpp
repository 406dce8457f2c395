#include "effects/offscreen/live_icon_renderer.h"

#include "support/render_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace tavel {
namespace {

using test::channel;
using test::customEffect;

// A flat colour, written without post() so no dither touches it.
ShaderEffect flat(float r, float g, float b) {
    char body[256];
    std::snprintf(body, sizeof body,
                  "vec4 fragmentMain(VSOut v, Uniforms u) { return vec4(%f, %f, %f, 1.0); }", r, g,
                  b);
    return customEffect("flat", body);
}

// Red = uv.y (1 at the top), green = the pixel row from the top / height.
ShaderEffect rows() {
    return customEffect("rows", R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    return vec4(v.uv.y, v.position.y / u.resolution.y, 0.0, 1.0);
})");
}

TEST(LiveIconRenderer, RowsComeTopFirstAndPositionsStartAtTheTop) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    ASSERT_TRUE(renderer.available());
    auto image = renderer.renderImage(rows(), {}, 8, 100);
    ASSERT_TRUE(image);
    EXPECT_GE(channel(*image, 3, 0, 2), 250);  // top row: uv.y near 1
    EXPECT_LE(channel(*image, 3, 99, 2), 5);   // bottom row: uv.y near 0
    EXPECT_LE(channel(*image, 3, 0, 1), 5);    // position.y near 0 at the top
    EXPECT_GE(channel(*image, 3, 99, 1), 250);
}

TEST(LiveIconRenderer, FlagshipBandsRiseFromTheBottomEdge) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto image = renderer.renderImage(*shaderEffect("halvane"), {}, 64, 64, 7.5f);
    ASSERT_TRUE(image);
    auto rowBrightness = [&](int y) {
        int sum = 0;
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) sum += channel(*image, x, y, c);
        return sum;
    };
    EXPECT_GT(rowBrightness(62), 3 * rowBrightness(1));
}

TEST(LiveIconRenderer, PaddedRowsLeaveThePaddingAlone) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto effect = *shaderEffect("tiles");
    constexpr int w = 37, h = 11;
    auto tight = renderer.renderImage(effect, {}, w, h, 5.0f);
    ASSERT_TRUE(tight);
    for (std::size_t stride : {std::size_t(w * 4 + 64), std::size_t(w * 4 + 3)}) {
        std::vector<std::uint8_t> memory(stride * h, 0xAB);
        ASSERT_TRUE(renderer.renderBGRA(effect, {}, w, h, 5.0f, memory.data(), stride));
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = memory.data() + y * stride;
            ASSERT_EQ(0, std::memcmp(row, tight->bgra.data() + y * w * 4, w * 4))
                << "stride " << stride << " row " << y;
            for (std::size_t i = w * 4; i < stride; ++i) ASSERT_EQ(row[i], 0xAB);
        }
    }
    std::vector<std::uint8_t> small(w * 4 * h);
    EXPECT_FALSE(renderer.renderBGRA(effect, {}, w, h, 5.0f, small.data(), w * 4 - 1));
}

TEST(LiveIconRenderer, TimeIsScaledBySpeed) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto effect = *shaderEffect("orbits");
    ShaderParams doubled;
    doubled.speed = 2.0f;
    auto a = renderer.renderImage(effect, doubled, 48, 48, 10.0f);
    auto b = renderer.renderImage(effect, {}, 48, 48, 20.0f);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->bgra, b->bgra);
}

TEST(LiveIconRenderer, ZoomBelowTheGuardRendersAsTheGuard) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto effect = *shaderEffect("dome");
    ShaderParams zero, guard;
    zero.zoom = 0.0f;
    guard.zoom = 0.1f;
    auto a = renderer.renderImage(effect, zero, 40, 30);
    auto b = renderer.renderImage(effect, guard, 40, 30);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->bgra, b->bgra);
}

TEST(LiveIconRenderer, FailedCompileIsLoggedEveryTimeAndNothingIsCached) {
    MemoryLogSink log;
    LiveIconRenderer renderer(log);
    auto broken = customEffect("Broken Glass", "vec4 fragmentMain(VSOut v, Uniforms u) { oops }");
    EXPECT_FALSE(renderer.renderImage(broken, {}, 8, 8));
    std::vector<std::uint8_t> memory(8 * 8 * 4, 7);
    EXPECT_FALSE(renderer.renderBGRA(broken, {}, 8, 8, 1.0f, memory.data(), 32));
    EXPECT_EQ(memory, std::vector<std::uint8_t>(8 * 8 * 4, 7));
    EXPECT_FALSE(renderer.renderFrame(broken, {}));
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_TRUE(line.starts_with("Tavel: icon pipeline failed for Broken Glass: ")) << line;
        EXPECT_GT(line.size(),
                  std::string("Tavel: icon pipeline failed for Broken Glass: ").size());
    }
}

TEST(LiveIconRenderer, RejectsEmptyTargets) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto effect = *shaderEffect("tiles");
    EXPECT_FALSE(renderer.renderImage(effect, {}, 0, 10));
    EXPECT_FALSE(renderer.renderImage(effect, {}, 10, -1));
}

TEST(LiveIconRenderer, FrameOfAUniformColourAveragesToThatColour) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto frame = renderer.renderFrame(flat(0.2f, 0.4f, 0.6f), {});
    ASSERT_TRUE(frame);
    EXPECT_NEAR(frame->averageColor.r, 0.2f, 1.0f / 255);
    EXPECT_NEAR(frame->averageColor.g, 0.4f, 1.0f / 255);
    EXPECT_NEAR(frame->averageColor.b, 0.6f, 1.0f / 255);
    EXPECT_EQ(frame->averageColor.a, 1.0f);

    const Image& dock = frame->dockIcon;
    ASSERT_EQ(dock.width, 256);
    ASSERT_EQ(dock.height, 256);
    EXPECT_EQ(channel(dock, 0, 0, 3), 0);        // outside the tile: transparent
    EXPECT_EQ(channel(dock, 25, 25, 3), 0);      // cut off by the rounded corner
    EXPECT_EQ(channel(dock, 128, 128, 3), 255);  // inside: the frame itself
    EXPECT_NEAR(channel(dock, 128, 128, 2), 51, 1);
    EXPECT_NEAR(channel(dock, 128, 128, 1), 102, 1);
    EXPECT_NEAR(channel(dock, 128, 128, 0), 153, 1);
    // The hairline on the tile's top edge is lighter than the frame below it.
    EXPECT_GT(channel(dock, 128, 20, 2), channel(dock, 128, 24, 2));

    const Image& status = frame->statusIcon;
    ASSERT_EQ(status.width, 19);
    ASSERT_EQ(status.height, 19);
    EXPECT_EQ(channel(status, 0, 0, 3), 0);
    EXPECT_EQ(channel(status, 9, 9, 3), 255);
    EXPECT_NEAR(channel(status, 9, 9, 1), 102, 1);
}

TEST(LiveIconRenderer, ARendererMovesBetweenThreads) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto effect = *shaderEffect("vortex");
    auto here = renderer.renderImage(effect, {}, 32, 32, 3.0f);
    std::optional<Image> there;
    std::thread([&] { there = renderer.renderImage(effect, {}, 32, 32, 3.0f); }).join();
    ASSERT_TRUE(here && there);
    EXPECT_EQ(here->bgra, there->bgra);
}

}  // namespace
}  // namespace tavel
