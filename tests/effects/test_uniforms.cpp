// How parameters and catalog defaults fill the uniform block. The block's layout as
// the programs read it is checked on the GPU (test_prelude.cpp).

#include "effects/uniforms.h"

#include "effects/catalog.h"
#include "effects/shader_params.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavel {
namespace {

TEST(ResolvedColors, OverridesWinOverDefaultsAndSlidersLandInAlpha) {
    ShaderParams overridden;
    overridden.bg = std::vector<float>{0.1f, 0.2f, 0.3f, 0.9f};  // the fourth is ignored
    overridden.custom1 = 5.0f;  // RISE tops out at 1.2: overrides are not clamped
    overridden.custom2 = -1.0f;
    ShaderParams noEffect;
    noEffect.custom2 = 3.0f;
    noEffect.accent = std::vector<float>{0.5f, 0.5f, 0.5f};
    ShaderParams tooShort;
    tooShort.bg = std::vector<float>{0.5f, 0.5f};
    const struct {
        const char* label;
        const char* effect;  // nullptr: no effect
        ShaderParams params;
        Float4 bg, accent;
    } kCases[] = {
        {"no effect: black and white", nullptr, {}, {0, 0, 0, 0}, {1, 1, 1, 0}},
        {"no effect, overrides", nullptr, noEffect, {0, 0, 0, 0}, {0.5f, 0.5f, 0.5f, 3}},
        {"flagship defaults", "halvane", {}, {0.028f, 0.028f, 0.04f, 0.75f}, {1, 0.6f, 0.22f, 68}},
        {"overrides", "halvane", overridden, {0.1f, 0.2f, 0.3f, 5}, {1, 0.6f, 0.22f, -1}},
        {"short colour", "halvane", tooShort, {0.028f, 0.028f, 0.04f, 0.75f}, {1, 0.6f, 0.22f, 68}},
    };
    for (const auto& c : kCases) {
        auto effect = c.effect ? shaderEffect(c.effect) : std::nullopt;
        auto colors = resolvedColorUniforms(effect ? &*effect : nullptr, c.params);
        EXPECT_EQ(colors.bg, c.bg) << c.label;
        EXPECT_EQ(colors.accent, c.accent) << c.label;
    }
}

TEST(Uniforms, ZoomControlsAtOrBelowTheGuardCountAsTheGuard) {
    const std::pair<float, float> kZooms[] = {{0.0f, 10.0f},
                                              {-3.0f, 10.0f},
                                              {0.05f, 10.0f},
                                              {0.1f, 10.0f},
                                              {2.0f, 0.5f},
                                              {1.0f, 1.0f},
                                              {std::numeric_limits<float>::quiet_NaN(), 10.0f}};
    for (auto [control, uniform] : kZooms) EXPECT_EQ(zoomUniform(control), uniform) << control;
}

}  // namespace
}  // namespace tavel
