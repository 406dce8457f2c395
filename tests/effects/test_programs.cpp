// Every catalog program, compiled and run on the GPU (Mesa llvmpipe on machines
// without one) at awkward sizes and at the ends of every control's range.

#include "effects/catalog.h"
#include "effects/offscreen/live_icon_renderer.h"
#include "effects/shader_program.h"
#include "support/render_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>

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

ShaderEffect probed(const ShaderEffect& effect) {
    return test::customEffect(effect.id, kFiniteProbe + std::string(effect.fragmentSource),
                              effect.id);
}

int badPixels(const Image& image) {
    int bad = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) bad += test::channel(image, x, y, 2) != 0;
    return bad;
}

struct Case {
    const char* label;
    int width, height;
    float time;
    ShaderParams params;
};

std::vector<Case> casesFor(const ShaderEffect& effect) {
    const CustomSpec& s1 = *effect.defaults.custom1;
    const CustomSpec& s2 = *effect.defaults.custom2;
    auto with = [](auto change) {
        ShaderParams p;
        change(p);
        return p;
    };
    return {
        {"1x1 (the centre pixel)", 1, 1, 7.5f, {}},
        {"4096x16", 4096, 16, 7.5f, {}},
        {"16x4096", 16, 4096, 7.5f, {}},
        {"odd size, centre lines on pixels", 97, 55, 0.0f, {}},
        {"zoomed out", 97, 55, 40.0f, with([](auto& p) { p.zoom = 0.4f; })},
        {"zoomed in", 97, 55, 40.0f, with([](auto& p) { p.zoom = 2.5f; })},
        {"sliders low, zoomed out", 97, 55, 3.0f, with([&](auto& p) {
             p.custom1 = s1.range.lower, p.custom2 = s2.range.lower, p.zoom = 0.4f;
         })},
        {"sliders high, zoomed out", 97, 55, 3.0f, with([&](auto& p) {
             p.custom1 = s1.range.upper, p.custom2 = s2.range.upper, p.zoom = 0.4f;
         })},
        {"slider 1 low, slider 2 high", 64, 64, 1000.0f,
         with([&](auto& p) { p.custom1 = s1.range.lower, p.custom2 = s2.range.upper; })},
        {"slider 1 high, slider 2 low", 64, 64, 1000.0f,
         with([&](auto& p) { p.custom1 = s1.range.upper, p.custom2 = s2.range.lower; })},
        {"late time", 97, 55, 99999.0f, {}},
        {"hue, intensity, speed", 97, 55, 12.0f,
         with([](auto& p) { p.hue = 270.0f, p.intensity = 1.8f, p.speed = 3.0f; })},
    };
}

class EveryProgram : public ::testing::TestWithParam<std::string> {
protected:
    static MemoryLogSink& log() {
        static MemoryLogSink sink;
        return sink;
    }
    static LiveIconRenderer& renderer() {
        static LiveIconRenderer instance(log());
        return instance;
    }
    void TearDown() override {
        for (const auto& line : log().lines()) ADD_FAILURE() << line;
    }
};

TEST_P(EveryProgram, CompilesAndDrawsAPictureThatVaries) {
    ASSERT_TRUE(renderer().available());
    auto effect = *shaderEffect(GetParam());
    auto image = renderer().renderImage(effect, {}, 192, 108, 7.5f);
    ASSERT_TRUE(image) << "did not compile or draw";
    int lo = 255, hi = 0;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            for (int c = 0; c < 3; ++c) {
                lo = std::min(lo, test::channel(*image, x, y, c));
                hi = std::max(hi, test::channel(*image, x, y, c));
            }
    EXPECT_GT(hi - lo, 8) << "the picture is flat";
    // Opaque everywhere.
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) ASSERT_EQ(test::channel(*image, x, y, 3), 255);
}

TEST_P(EveryProgram, NoPixelIsEverNaNOrInfinite) {
    auto effect = *shaderEffect(GetParam());
    ShaderEffect probe = probed(effect);
    for (const Case& c : casesFor(effect)) {
        auto image = renderer().renderImage(probe, c.params, c.width, c.height, c.time);
        ASSERT_TRUE(image) << c.label;
        EXPECT_EQ(badPixels(*image), 0) << c.label;
    }
}

TEST_P(EveryProgram, ChangesSmoothlyWithTime) {
    auto steady = *shaderEffect(GetParam());
    steady =
        test::customEffect(steady.id, kNoDither + std::string(steady.fragmentSource), steady.id);
    auto at = [&](float t) {
        auto image = renderer().renderImage(steady, {}, 96, 54, t);
        EXPECT_TRUE(image) << "did not compile or draw";
        return image.value_or(Image{});
    };
    auto difference = [](const Image& a, const Image& b) {
        double sum = 0;
        for (std::size_t i = 0; i < a.bgra.size(); ++i) sum += std::abs(a.bgra[i] - b.bgra[i]);
        return sum / a.bgra.size();
    };
    Image start = at(20.0f);
    // A slow backdrop: a fiftieth of a second changes far less than half a minute does.
    double step = difference(start, at(20.02f));
    double drift = difference(start, at(50.0f));
    EXPECT_LT(step, 0.25 * drift) << "step " << step << ", drift " << drift;
}

INSTANTIATE_TEST_SUITE_P(Catalog, EveryProgram, ::testing::ValuesIn([] {
                             std::vector<std::string> ids;
                             for (const auto& e : allShaders()) ids.push_back(e.id);
                             return ids;
                         }()),
                         [](const auto& info) { return info.param; });

TEST(FiniteProbe, CatchesANaNAndAnInfinity) {
    MemoryLogSink quiet;
    LiveIconRenderer renderer(quiet);
    auto nan = test::customEffect("nan", std::string(kFiniteProbe) + R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    vec3 col = vec3(sqrt(-1.0 - u.time));
    return vec4(post(col, v.position.xy, u), 1.0);
})");
    auto inf = test::customEffect("inf", std::string(kFiniteProbe) + R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    vec3 col = vec3(1.0 / (v.uv.x - v.uv.x));
    return vec4(post(col, v.position.xy, u), 1.0);
})");
    auto fine = test::customEffect("fine", std::string(kFiniteProbe) + R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    return vec4(post(vec3(v.uv, 0.5), v.position.xy, u), 1.0);
})");
    for (auto [effect, expected] : {std::pair{&nan, 16}, {&inf, 16}, {&fine, 0}}) {
        auto image = renderer.renderImage(*effect, {}, 4, 4, 1.0f);
        ASSERT_TRUE(image) << effect->name;
        EXPECT_EQ(badPixels(*image), expected) << effect->name;
    }
}

TEST(ProgramText, IsPreludeLineFeedFragment) {
    auto effect = *shaderEffect("orbits");
    std::string text = assembleProgram(effect);
    ASSERT_EQ(text.size(), shaderPrelude().size() + 1 + effect.fragmentSource.size());
    EXPECT_EQ(text.substr(0, shaderPrelude().size()), shaderPrelude());
    EXPECT_EQ(text[shaderPrelude().size()], '\n');
    EXPECT_TRUE(text.starts_with("#version 330 core"));
}

}  // namespace
}  // namespace tavel
