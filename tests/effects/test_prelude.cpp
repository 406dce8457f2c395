// The prelude's helpers and the uniform block as the programs see them, evaluated on
// the GPU by tiny programs.

#include "support/render_helpers.h"

#include <array>

namespace tavel {
namespace {

// Every word of the block distinct, each within 0..255 so that it shows as a level.
const ShaderParams kDistinct = [] {
    ShaderParams p;
    p.speed = 3;     // time 1 x speed 3
    p.zoom = 0.05f;  // below the guard: counts as 0.1
    p.intensity = 5;
    p.hue = 6;
    p.bg = std::vector<float>{9, 10, 11};
    p.custom1 = 12.0f;
    p.accent = std::vector<float>{13, 14, 15};
    p.custom2 = 16.0f;
    return p;
}();

const ShaderParams kDim = [] {
    ShaderParams p;
    p.intensity = 0.5f;
    return p;
}();

struct Probe {
    const char* expression;  // a vec3 in terms of v and u
    std::array<int, 3> rgb;  // expected levels of pixel (1, 1) of a 4x4 target at time 1
    int tolerance = 0;
    ShaderParams params = {};
};

const Probe kProbes[] = {
    // Rotation about the grey axis.
    {"hueRotate(vec3(1.0, 0.0, 0.0), 120.0)", {0, 255, 0}},
    {"hueRotate(vec3(0.2, 0.4, 0.6), 360.0)", {51, 102, 153}},
    {"hueRotate(vec3(0.5), 77.0)", {128, 128, 128}, 1},
    // post() only dithers at neutral settings, scales by intensity, clamps.
    {"post(vec3(0.5, 0.25, 0.75), v.position.xy, u)", {128, 64, 191}, 1},
    {"post(vec3(2.0, -1.0, 1.0), v.position.xy, u)", {255, 0, 255}, 1},
    {"post(vec3(0.8), v.position.xy, u)", {102, 102, 102}, 1, kDim},
    // The centre maps to the origin; a zero height counts as 1: x = 0.25 * 100 = 25.
    {"vec3(aspectUV(vec2(0.5), u) + 0.5, 0.0)", {128, 128, 0}},
    {"vec3(aspectUV(vec2(0.75, 0.5), Uniforms(0.0, 1.0, 1.0, 0.0, vec2(100.0, 0.0), "
     "vec2(0.0), vec4(0.0), vec4(0.0))).x / 50.0, 0.0, 0.0)",
     {128, 0, 0}},
    // Tone curve and vignette (at a corner: 1 - 0.3 * 0.5 * 2.2 = 0.67).
    {"filmic(vec3(0.0, -3.0, 100.0))", {0, 0, 255}},
    {"vec3(vig(vec2(0.5), 0.3))", {255, 255, 255}},
    {"vec3(vig(vec2(0.0), 0.3))", {171, 171, 171}, 1},
    // Value noise meets the hash at lattice points and is their mean halfway between;
    // scaled up a thousandfold so that any disagreement shows.
    {"vec3(abs(vnoise(vec2(3.0, -5.0)) - hash21(vec2(3.0, -5.0))) * 1000.0)", {0, 0, 0}},
    {"vec3(abs(vnoise(vec2(3.5, 2.0)) - 0.5 * (hash21(vec2(3.0, 2.0)) + "
     "hash21(vec2(4.0, 2.0)))) * 1000.0)",
     {0, 0, 0}},
    // The host's 64-byte block lands word for word in the program's std140 block.
    {"vec3(u.time, u.zoom, u.intensity) / 255.0", {3, 10, 5}, 0, kDistinct},
    {"vec3(u.hue, u.resolution) / 255.0", {6, 4, 4}, 0, kDistinct},
    {"vec3(u.pad, u.bgColor.r) / 255.0", {0, 0, 9}, 0, kDistinct},
    {"u.bgColor.gba / 255.0", {10, 11, 12}, 0, kDistinct},
    {"vec3(u.accentColor.rgb) / 255.0", {13, 14, 15}, 0, kDistinct},
    {"vec3(u.accentColor.a) / 255.0", {16, 16, 16}, 0, kDistinct},
};

using Prelude = test::RenderTest;

TEST_F(Prelude, HelpersAndUniformBlock) {
    for (const Probe& probe : kProbes) {
        auto effect = test::customEffect(
            "probe", std::string("vec4 fragmentMain(VSOut v, Uniforms u) { return vec4(") +
                         probe.expression + ", 1.0); }");
        auto image = renderer().renderImage(effect, probe.params, 4, 4, 1.0f);
        ASSERT_TRUE(image) << probe.expression;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(test::channel(*image, 1, 1, 2 - c), probe.rgb[c], probe.tolerance)
                << probe.expression << ", channel "
                << "rgb"[c];
    }
}

}  // namespace
}  // namespace tavel
