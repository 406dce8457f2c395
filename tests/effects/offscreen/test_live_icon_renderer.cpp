// The offscreen renderer beyond the golden images: caching, icons, average colour.

#include "effects/offscreen/live_icon_renderer.h"

#include "effects/offscreen/icon_compositor.h"
#include "support/render_helpers.h"

#include <thread>

namespace tavel {
namespace {

Image solid(int size, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    Image image{size, size, {}};
    for (int i = 0; i < size * size; ++i) image.bgra.insert(image.bgra.end(), {b, g, r, 255});
    return image;
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
