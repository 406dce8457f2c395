#include "effects/offscreen/live_icon_renderer.h"

#include "effects/offscreen/icon_compositor.h"
#include "support/render_helpers.h"

#include <cstring>
#include <thread>

namespace tavel {
namespace {

using test::channel;
using LiveIconRendererTest = test::RenderTest;

TEST_F(LiveIconRendererTest, RowsComeTopFirstAndPositionsStartAtTheTop) {
    // Red = uv.y (1 at the top), green = the pixel row from the top / height.
    auto rows = test::customEffect("rows", R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    return vec4(v.uv.y, v.position.y / u.resolution.y, 0.0, 1.0);
})");
    auto image = renderer().renderImage(rows, {}, 8, 100);
    ASSERT_TRUE(image);
    EXPECT_GE(channel(*image, 3, 0, 2), 250);
    EXPECT_LE(channel(*image, 3, 99, 2), 5);
    EXPECT_LE(channel(*image, 3, 0, 1), 5);
    EXPECT_GE(channel(*image, 3, 99, 1), 250);
}

// Only the latest programs stay; an effect whose program went is built again, alike.
TEST_F(LiveIconRendererTest, EffectsComeBackAlikeAfterOthers) {
    const std::vector<const char*> ids = {"tiles", "dome", "orbits"};
    std::vector<Image> first;
    for (int round = 0; round < 2; ++round)
        for (std::size_t i = 0; i < ids.size(); ++i) {
            auto image = renderer().renderImage(*shaderEffect(ids[i]), {}, 16, 9, 5.0f);
            ASSERT_TRUE(image) << ids[i];
            if (round == 0)
                first.push_back(*image);
            else
                EXPECT_EQ(image->bgra, first[i].bgra) << ids[i];
        }
}

TEST_F(LiveIconRendererTest, PaddedRowsLeaveThePaddingAlone) {
    auto effect = *shaderEffect("tiles");
    constexpr int w = 37, h = 11;
    auto tight = renderer().renderImage(effect, {}, w, h, 5.0f);
    ASSERT_TRUE(tight);
    for (std::size_t stride : {std::size_t(w * 4 + 64), std::size_t(w * 4 + 3)}) {
        std::vector<std::uint8_t> memory(stride * h, 0xAB);
        ASSERT_TRUE(renderer().renderBGRA(effect, {}, w, h, 5.0f, memory.data(), stride));
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = memory.data() + y * stride;
            ASSERT_EQ(0, std::memcmp(row, tight->bgra.data() + y * w * 4, w * 4))
                << "stride " << stride << " row " << y;
            for (std::size_t i = w * 4; i < stride; ++i) ASSERT_EQ(row[i], 0xAB);
        }
    }
}

TEST_F(LiveIconRendererTest, RefusesWhatItCannotRenderAndLeavesMemoryAlone) {
    auto tiles = *shaderEffect("tiles");
    auto broken =
        test::customEffect("Broken Glass", "vec4 fragmentMain(VSOut v, Uniforms u) { x }");
    std::vector<std::uint8_t> memory(8 * 8 * 4, 7);
    EXPECT_FALSE(renderer().renderBGRA(tiles, {}, 8, 8, 1.0f, memory.data(), 8 * 4 - 1));
    EXPECT_FALSE(renderer().renderImage(tiles, {}, 0, 10));
    EXPECT_FALSE(renderer().renderImage(tiles, {}, 10, -1));
    // A failed compile is logged on every try: nothing is cached.
    EXPECT_FALSE(renderer().renderImage(broken, {}, 8, 8));
    EXPECT_FALSE(renderer().renderBGRA(broken, {}, 8, 8, 1.0f, memory.data(), 8 * 4));
    EXPECT_FALSE(renderer().renderFrame(broken, {}, 1.0f));
    EXPECT_EQ(memory, std::vector<std::uint8_t>(8 * 8 * 4, 7));
    const std::string prefix = "Tavel: icon pipeline failed for Broken Glass: ";
    auto lines = takeLog();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_TRUE(line.starts_with(prefix)) << line;
        EXPECT_GT(line.size(), prefix.size()) << "no compiler log";
    }
}

// The icons are the compositor's, of the rendered frame.
TEST_F(LiveIconRendererTest, FrameBecomesIconsAndAverage) {
    auto flat = test::customEffect(
        "flat", "vec4 fragmentMain(VSOut v, Uniforms u) { return vec4(0.2, 0.4, 0.6, 1.0); }");
    auto frame = renderer().renderFrame(flat, {}, 1.0f);
    ASSERT_TRUE(frame);
    Image solid{256, 256, {}};
    for (int i = 0; i < 256 * 256; ++i) solid.bgra.insert(solid.bgra.end(), {153, 102, 51, 255});
    EXPECT_EQ(frame->dockIcon.bgra, composeDockIcon(solid).bgra);
    EXPECT_EQ(frame->statusIcon.bgra, composeStatusIcon(solid).bgra);
    EXPECT_EQ(frame->averageColor, (Rgba{0.2f, 0.4f, 0.6f, 1.0f}));
}

TEST_F(LiveIconRendererTest, MovesBetweenThreads) {
    auto effect = *shaderEffect("vortex");
    auto here = renderer().renderImage(effect, {}, 32, 32, 3.0f);
    std::optional<Image> there;
    std::thread([&] { there = renderer().renderImage(effect, {}, 32, 32, 3.0f); }).join();
    ASSERT_TRUE(here && there);
    EXPECT_EQ(here->bgra, there->bgra);
}

}  // namespace
}  // namespace tavel
