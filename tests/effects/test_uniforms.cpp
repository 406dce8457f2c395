#include "effects/uniforms.h"

#include "effects/catalog.h"
#include "effects/shader_params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace tavel {
namespace {

TEST(ResolvedColors, WithoutEffectFallsBackToBlackAndWhite) {
    auto c = resolvedColorUniforms(nullptr, ShaderParams{});
    EXPECT_EQ(c.bg, (Float4{0, 0, 0, 0}));
    EXPECT_EQ(c.accent, (Float4{1, 1, 1, 0}));
}

TEST(ResolvedColors, FlagshipDefaults) {
    auto effect = shaderEffect("halvane");
    auto c = resolvedColorUniforms(&*effect, ShaderParams{});
    EXPECT_EQ(c.bg, (Float4{0.028f, 0.028f, 0.04f, 0.75f}));
    EXPECT_EQ(c.accent, (Float4{1.0f, 0.6f, 0.22f, 68.0f}));
}

TEST(ResolvedColors, OverridesWinEvenOutsideTheSliderRange) {
    auto effect = shaderEffect("halvane");
    ShaderParams p;
    p.bg = std::vector<float>{0.1f, 0.2f, 0.3f, 0.9f};  // the fourth is ignored
    p.custom1 = 5.0f;                                   // RISE tops out at 1.2
    p.custom2 = -1.0f;
    auto c = resolvedColorUniforms(&*effect, p);
    EXPECT_EQ(c.bg, (Float4{0.1f, 0.2f, 0.3f, 5.0f}));
    EXPECT_EQ(c.accent, (Float4{1.0f, 0.6f, 0.22f, -1.0f}));
}

TEST(ResolvedColors, SlidersWithoutEffectComeFromTheParameters) {
    ShaderParams p;
    p.custom2 = 3.0f;
    p.accent = std::vector<float>{0.5f, 0.5f, 0.5f};
    auto c = resolvedColorUniforms(nullptr, p);
    EXPECT_EQ(c.bg, (Float4{0, 0, 0, 0}));
    EXPECT_EQ(c.accent, (Float4{0.5f, 0.5f, 0.5f, 3.0f}));
}

TEST(Uniforms, ZoomGuard) {
    EXPECT_EQ(zoomUniform(0.0f), 10.0f);
    EXPECT_EQ(zoomUniform(-3.0f), 10.0f);
    EXPECT_EQ(zoomUniform(0.05f), 10.0f);
    EXPECT_EQ(zoomUniform(0.1f), 10.0f);
    EXPECT_EQ(zoomUniform(2.0f), 0.5f);
    EXPECT_EQ(zoomUniform(1.0f), 1.0f);
    EXPECT_EQ(zoomUniform(std::numeric_limits<float>::quiet_NaN()), 10.0f);
}

TEST(Uniforms, FillingOneFrame) {
    auto effect = shaderEffect("tiles");
    ShaderParams p{2.0f, 0.5f, 1.5f, 45.0f, std::nullopt, std::nullopt, std::nullopt, 0.5f};
    Uniforms u = makeUniforms(&*effect, p, 12.5f, 640, 360);
    EXPECT_EQ(u.time, 12.5f);  // already scaled by the caller
    EXPECT_EQ(u.zoom, 2.0f);
    EXPECT_EQ(u.intensity, 1.5f);
    EXPECT_EQ(u.hue, 45.0f);
    EXPECT_EQ(u.resolution, (Float2{640, 360}));
    EXPECT_EQ(u.pad, (Float2{0, 0}));
    EXPECT_EQ(u.bgColor, (Float4{0.01f, 0.01f, 0.013f, 5.5f}));
    EXPECT_EQ(u.accentColor, (Float4{0.86f, 0.9f, 1.0f, 0.5f}));
}

TEST(Uniforms, WireLayoutIsSixteenLittleEndianFloats) {
    Uniforms u;
    u.time = 1;
    u.zoom = 2;
    u.intensity = 3;
    u.hue = 4;
    u.resolution = {5, 6};
    u.pad = {7, 8};
    u.bgColor = {9, 10, 11, 12};
    u.accentColor = {13, 14, 15, 16};
    float words[16];
    std::memcpy(words, &u, sizeof words);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(words[i], float(i + 1)) << "word " << i;
}

}  // namespace
}  // namespace tavel
