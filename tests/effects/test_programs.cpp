// Every catalog program at awkward sizes and at the ends of every control's range: no
// NaN or infinity may reach a pixel, and the picture moves smoothly with time.

#include "effects/catalog.h"
#include "effects/shader_program.h"
#include "support/render_helpers.h"

#include <cstdlib>

namespace tavel {
namespace {

// Replaces the prelude's post() with one that paints pixels whose colour reached it
// as NaN or infinity pure red, and every finite pixel with red 0. The test is done on
// the float's bits, which no compiler may fold away as it may an isnan().
const char* const kFiniteProbe = R"(
bool probeBad(float x) { return (floatBitsToUint(x) & 0x7f800000u) == 0x7f800000u; }
vec3 probePost(vec3 col, vec2 px, Uniforms u) {
    bool bad = probeBad(col.r) || probeBad(col.g) || probeBad(col.b);
    return bad ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 0.5, 0.0);
}
#define post probePost
)";

// post() without its dither, which changes every frame by design.
const char* const kNoDither = R"(
vec3 steadyPost(vec3 col, vec2 px, Uniforms u) {
    return clamp(hueRotate(col, u.hue) * u.intensity, 0.0, 1.0);
}
#define post steadyPost
)";

ShaderEffect withPrefix(const char* prefix, const ShaderEffect& effect) {
    return test::customEffect(effect.id, prefix + std::string(effect.fragmentSource), effect.id);
}

int badPixels(const Image& image) {
    int bad = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) bad += test::channel(image, x, y, 2) != 0;
    return bad;
}

struct Extremes {
    const char* label;
    int width, height;
    float time;
    test::Controls controls;
};

const Extremes kExtremes[] = {
    {"1x1 (the centre pixel)", 1, 1, 7.5f, {}},
    {"4096x16", 4096, 16, 7.5f, {}},
    {"16x4096", 16, 4096, 7.5f, {}},
    {"odd size, centre lines on pixels", 97, 55, 0.0f, {}},
    {"zoomed out", 97, 55, 40.0f, {.zoom = 0.4f}},
    {"zoomed in", 97, 55, 40.0f, {.zoom = 2.5f}},
    {"sliders low, zoomed out", 97, 55, 3.0f, {.zoom = 0.4f, .slider1 = -1, .slider2 = -1}},
    {"sliders high, zoomed out", 97, 55, 3.0f, {.zoom = 0.4f, .slider1 = 1, .slider2 = 1}},
    {"slider 1 low, slider 2 high", 64, 64, 1000.0f, {.slider1 = -1, .slider2 = 1}},
    {"slider 1 high, slider 2 low", 64, 64, 1000.0f, {.slider1 = 1, .slider2 = -1}},
    {"late time", 97, 55, 99999.0f, {}},
    {"hue, intensity, speed", 97, 55, 12.0f, {.speed = 3, .hue = 270, .intensity = 1.8f}},
};

class EveryProgram : public test::RenderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(EveryProgram, NoPixelIsEverNaNOrInfinite) {
    const ShaderEffect effect = *shaderEffect(GetParam());
    const ShaderEffect probe = withPrefix(kFiniteProbe, effect);
    for (const Extremes& c : kExtremes) {
        auto image = renderer().renderImage(probe, test::paramsFor(c.controls, effect), c.width,
                                            c.height, c.time);
        ASSERT_TRUE(image) << c.label;
        EXPECT_EQ(badPixels(*image), 0) << c.label;
    }
}

// A slow backdrop: a fiftieth of a second changes far less than half a minute does.
TEST_P(EveryProgram, ChangesSmoothlyWithTime) {
    const ShaderEffect steady = withPrefix(kNoDither, *shaderEffect(GetParam()));
    auto at = [&](float t) { return renderer().renderImage(steady, {}, 96, 54, t); };
    auto start = at(20.0f), step = at(20.02f), drift = at(50.0f);
    ASSERT_TRUE(start && step && drift);
    auto difference = [&](const Image& other) {
        long sum = 0;
        for (std::size_t i = 0; i < other.bgra.size(); ++i)
            sum += std::abs(start->bgra[i] - other.bgra[i]);
        return double(sum) / double(other.bgra.size());
    };
    EXPECT_LT(difference(*step), 0.25 * difference(*drift));
}

INSTANTIATE_TEST_SUITE_P(Catalog, EveryProgram, ::testing::ValuesIn(test::catalogIds()),
                         [](const auto& info) { return info.param; });

using FiniteProbe = test::RenderTest;

TEST_F(FiniteProbe, CatchesANaNAndAnInfinity) {
    const struct {
        const char* colour;
        int bad;
    } kBodies[] = {{"vec3(sqrt(-1.0 - u.time))", 16},
                   {"vec3(1.0 / (v.uv.x - v.uv.x))", 16},
                   {"vec3(v.uv, 0.5)", 0}};
    for (const auto& body : kBodies) {
        auto effect = test::customEffect(
            "probe", std::string(kFiniteProbe) + "vec4 fragmentMain(VSOut v, Uniforms u) {" +
                         "return vec4(post(" + body.colour + ", v.position.xy, u), 1.0); }");
        auto image = renderer().renderImage(effect, {}, 4, 4, 1.0f);
        ASSERT_TRUE(image) << body.colour;
        EXPECT_EQ(badPixels(*image), body.bad) << body.colour;
    }
}

}  // namespace
}  // namespace tavel
