// The prelude's helpers, evaluated on the GPU by tiny programs.

#include "effects/offscreen/live_icon_renderer.h"
#include "support/render_helpers.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

// Runs `expression` (a vec3 in terms of v and u) for a 4x4 target and returns pixel
// (1, 1) as r, g, b in 0..255.
std::array<int, 3> evaluate(const std::string& expression, ShaderParams params = {}) {
    static MemoryLogSink quiet;
    static LiveIconRenderer renderer(quiet);
    auto effect =
        test::customEffect("probe", "vec4 fragmentMain(VSOut v, Uniforms u) { return vec4(" +
                                        expression + ", 1.0); }");
    auto image = renderer.renderImage(effect, params, 4, 4, 1.0f);
    EXPECT_TRUE(image) << expression;
    if (!image) return {-1, -1, -1};
    return {test::channel(*image, 1, 1, 2), test::channel(*image, 1, 1, 1),
            test::channel(*image, 1, 1, 0)};
}

TEST(Prelude, HueRotationTurnsAboutTheGreyAxis) {
    EXPECT_EQ(evaluate("hueRotate(vec3(1.0, 0.0, 0.0), 120.0)"), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(evaluate("hueRotate(vec3(0.2, 0.4, 0.6), 360.0)"),
              (std::array<int, 3>{51, 102, 153}));
    for (int c : evaluate("hueRotate(vec3(0.5), 77.0)")) EXPECT_NEAR(c, 128, 1);
}

TEST(Prelude, PostOnlyDithersAtNeutralSettingsAndClamps) {
    auto c = evaluate("post(vec3(0.5, 0.25, 0.75), v.position.xy, u)");
    EXPECT_NEAR(c[0], 128, 1);
    EXPECT_NEAR(c[1], 64, 1);
    EXPECT_NEAR(c[2], 191, 1);
    auto clamped = evaluate("post(vec3(2.0, -1.0, 1.0), v.position.xy, u)");
    EXPECT_EQ(clamped[0], 255);
    EXPECT_EQ(clamped[1], 0);
    ShaderParams dim;
    dim.intensity = 0.5f;
    EXPECT_NEAR(evaluate("post(vec3(0.8), v.position.xy, u)", dim)[0], 102, 1);
}

TEST(Prelude, AspectUVIsCentredAndGuardsAZeroHeight) {
    // The centre maps to the origin whatever the resolution.
    EXPECT_EQ(evaluate("vec3(aspectUV(vec2(0.5), u) + 0.5, 0.0)"),
              (std::array<int, 3>{128, 128, 0}));
    // A zero height counts as 1: x = (0.75 - 0.5) * 100 / 1 = 25, shown as 25 / 50.
    EXPECT_EQ(
        evaluate("vec3(aspectUV(vec2(0.75, 0.5), Uniforms(0.0, 1.0, 1.0, 0.0, vec2(100.0, 0.0), "
                 "vec2(0.0), vec4(0.0), vec4(0.0))).x / 50.0, 0.0, 0.0)"),
        (std::array<int, 3>{128, 0, 0}));
}

TEST(Prelude, ToneCurveAndVignette) {
    EXPECT_EQ(evaluate("filmic(vec3(0.0, -3.0, 100.0))"), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(evaluate("vec3(vig(vec2(0.5), 0.3))"), (std::array<int, 3>{255, 255, 255}));
    // At a corner: 1 - 0.3 * 0.5 * 2.2 = 0.67.
    EXPECT_NEAR(evaluate("vec3(vig(vec2(0.0), 0.3))")[0], 171, 1);
}

TEST(Prelude, ValueNoiseMeetsTheHashAtLatticePoints) {
    // Scaled up a thousandfold so that any disagreement shows.
    EXPECT_EQ(evaluate("vec3(abs(vnoise(vec2(3.0, -5.0)) - hash21(vec2(3.0, -5.0))) * 1000.0)"),
              (std::array<int, 3>{0, 0, 0}));
    // Halfway between two lattice points in x, on a lattice row: their mean.
    EXPECT_EQ(evaluate("vec3(abs(vnoise(vec2(3.5, 2.0)) - 0.5 * (hash21(vec2(3.0, 2.0)) + "
                       "hash21(vec2(4.0, 2.0)))) * 1000.0)"),
              (std::array<int, 3>{0, 0, 0}));
}

}  // namespace
}  // namespace tavel
