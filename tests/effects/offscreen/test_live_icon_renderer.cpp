// The offscreen renderer beyond the golden images: caching, refusals, icons, average colour.

#include "effects/offscreen/live_icon_renderer.h"

#include "effects/offscreen/icon_compositor.h"
#include "support/render_helpers.h"

#include <array>
#include <thread>

namespace tavel {
namespace {

Image solid(int size, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    Image image{size, size, {}};
    for (int i = 0; i < size * size; ++i) image.bgra.insert(image.bgra.end(), {b, g, r, 255});
    return image;
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

using LiveIconRendererTest = test::RenderTest;

// An evicted program is rebuilt alike, on another thread too.
TEST_F(LiveIconRendererTest, EffectsComeBackAlikeAfterOthersAndOnAnotherThread) {
    const char* const ids[] = {"tiles", "dome", "orbits", "vortex"};
    std::vector<Image> first;
    for (const char* id : ids)
        first.push_back(renderer().renderImage(*shaderEffect(id), {}, 16, 9, 5.0f).value());
    std::thread([&] {
        for (std::size_t i = 0; i < std::size(ids); ++i) {
            auto image = renderer().renderImage(*shaderEffect(ids[i]), {}, 16, 9, 5.0f);
            ASSERT_TRUE(image) << ids[i];
            EXPECT_EQ(image->bgra, first[i].bgra) << ids[i];
        }
    }).join();
}

// A failed compile is logged, with the compiler's words, on every try: nothing is cached.
TEST_F(LiveIconRendererTest, AFailedCompileIsLoggedOnEveryTry) {
    auto broken =
        test::customEffect("Broken Glass", "vec4 fragmentMain(VSOut v, Uniforms u) { x }");
    EXPECT_FALSE(renderer().renderImage(broken, {}, 8, 8));
    EXPECT_FALSE(renderer().renderFrame(broken, {}, 1.0f));
    const std::string prefix = "Tavel: icon pipeline failed for Broken Glass: ";
    auto lines = takeLog();
    ASSERT_EQ(lines.size(), 2u);
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
    EXPECT_EQ(frame->dockIcon.bgra, composeDockIcon(solid(256, 153, 102, 51)).bgra);
    EXPECT_EQ(frame->statusIcon.bgra, composeStatusIcon(solid(256, 153, 102, 51)).bgra);
    EXPECT_EQ(frame->averageColor, (Rgba{0.2f, 0.4f, 0.6f, 1.0f}));
}

}  // namespace
}  // namespace tavel
