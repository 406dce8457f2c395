// Compares the GPU renders of every catalog effect with the CPU reference, over times,
// zooms, slider extremes and colour controls. Mean differences of more than a few 8-bit
// levels mean the program and the reference disagree about a formula.

#include "effects/catalog.h"
#include "effects/offscreen/live_icon_renderer.h"
#include "effects/shader_params.h"
#include "effects/uniforms.h"
#include "reference_effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tavel {
namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 54;
// Anti-aliased edges, noise hashes and transcendental functions differ slightly between
// the GPU and the CPU (measured: under 0.1 level on average); a formula fault moves
// whole regions by far more. One level still lets a sparse effect's faint glow through
// unnoticed only when its constant is off by a hair.
constexpr double kMaxMeanLevels = 1.0;

const char* const kEffectIds[] = {"halvane",    "neontopo",   "dotwave",  "filament",
                                  "nebulamesh", "tiles",      "dome",     "dothalo",
                                  "glasscubes", "signalwall", "wiremesh", "orbits",
                                  "horizon",    "ridges",     "vortex",   "gridtunnel"};

struct Case {
    std::string name;
    ShaderParams params;
    float time = 0.0f;  // wall-clock seconds handed to the renderer
};

struct Difference {
    double mean = 0.0;
    int max = 0;
};

std::vector<Case> casesFor(const ShaderEffect& effect) {
    std::vector<Case> cases;
    cases.push_back({"default t=0", ShaderParams{}, 0.0f});
    cases.push_back({"default t=7.5", ShaderParams{}, 7.5f});
    cases.push_back({"default t=40", ShaderParams{}, 40.0f});

    ShaderParams fast;
    fast.speed = 2.0f;
    cases.push_back({"speed 2 t=6.2", fast, 6.2f});

    ShaderParams zoomIn;
    zoomIn.zoom = 0.5f;
    cases.push_back({"zoom 0.5 t=11", zoomIn, 11.0f});
    ShaderParams zoomOut;
    zoomOut.zoom = 2.0f;
    cases.push_back({"zoom 2 t=11", zoomOut, 11.0f});

    const auto& d = effect.defaults;
    if (d.custom1) {
        ShaderParams low;
        low.custom1 = d.custom1->range.lower;
        cases.push_back({d.custom1->label + " low", low, 7.5f});
        ShaderParams high;
        high.custom1 = d.custom1->range.upper;
        cases.push_back({d.custom1->label + " high", high, 7.5f});
    }
    if (d.custom2) {
        ShaderParams low;
        low.custom2 = d.custom2->range.lower;
        cases.push_back({d.custom2->label + " low", low, 7.5f});
        ShaderParams high;
        high.custom2 = d.custom2->range.upper;
        cases.push_back({d.custom2->label + " high", high, 7.5f});
    }

    ShaderParams hued;
    hued.hue = 120.0f;
    hued.intensity = 1.4f;
    cases.push_back({"hue 120 intensity 1.4", hued, 7.5f});
    ShaderParams dimmed;
    dimmed.hue = -45.0f;
    dimmed.intensity = 0.6f;
    cases.push_back({"hue -45 intensity 0.6", dimmed, 23.0f});

    ShaderParams recoloured;
    recoloured.bg = std::vector<float>{0.08f, 0.05f, 0.12f};
    recoloured.accent = std::vector<float>{0.25f, 0.75f, 1.0f};
    cases.push_back({"colour overrides", recoloured, 7.5f});
    return cases;
}

std::vector<std::uint8_t> renderGpu(LiveIconRenderer& renderer, const ShaderEffect& effect,
                                    const ShaderParams& params, float time) {
    std::vector<std::uint8_t> bgra(std::size_t(kWidth) * kHeight * 4, 0);
    if (!renderer.renderBGRA(effect, params, kWidth, kHeight, time, bgra.data(), kWidth * 4)) {
        bgra.clear();
    }
    return bgra;
}

Difference compareWithReference(const std::vector<std::uint8_t>& bgra, const std::string& id,
                                const Uniforms& u) {
    Difference diff;
    double sum = 0.0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            glm::vec3 ref = reference::referencePixel(id, u, x, y);
            const std::uint8_t* px = &bgra[(std::size_t(y) * kWidth + x) * 4];
            const int gpu[3] = {px[2], px[1], px[0]};
            for (int c = 0; c < 3; ++c) {
                int expected = int(std::lround(double(ref[c]) * 255.0));
                int delta = std::abs(gpu[c] - expected);
                sum += delta;
                diff.max = std::max(diff.max, delta);
            }
        }
    }
    diff.mean = sum / (double(kWidth) * kHeight * 3);
    return diff;
}

class EffectReferenceTest : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { renderer_ = std::make_unique<LiveIconRenderer>(log_); }
    static void TearDownTestSuite() { renderer_.reset(); }

    static MemoryLogSink log_;
    static std::unique_ptr<LiveIconRenderer> renderer_;
};

MemoryLogSink EffectReferenceTest::log_;
std::unique_ptr<LiveIconRenderer> EffectReferenceTest::renderer_;

TEST(EffectReferenceCoverage, ReferenceCoversExactlyTheCatalog) {
    std::vector<std::string> catalogIds;
    for (const ShaderEffect& effect : allShaders()) {
        catalogIds.push_back(effect.id);
        EXPECT_TRUE(reference::hasReference(effect.id)) << effect.id;
    }
    std::vector<std::string> expected(std::begin(kEffectIds), std::end(kEffectIds));
    EXPECT_EQ(catalogIds, expected);
    EXPECT_FALSE(reference::hasReference("Halvane"));
}

TEST_P(EffectReferenceTest, GpuRenderMatchesReference) {
    if (!renderer_->available()) {
        GTEST_SKIP() << "no usable GL context on this machine";
    }
    const std::string id = GetParam();
    std::optional<ShaderEffect> effect = shaderEffect(id);
    ASSERT_TRUE(effect.has_value()) << id;

    std::ostringstream failures;
    double worstMean = -1.0;
    int worstMax = 0;
    std::string worstCase;
    for (const Case& c : casesFor(*effect)) {
        std::vector<std::uint8_t> bgra = renderGpu(*renderer_, *effect, c.params, c.time);
        ASSERT_FALSE(bgra.empty()) << id << " [" << c.name << "]: the GPU rendered nothing";
        Uniforms u = reference::referenceUniforms(*effect, c.params, c.params.speed * c.time,
                                                  float(kWidth), float(kHeight));
        Difference d = compareWithReference(bgra, id, u);
        if (d.mean > worstMean) {
            worstMean = d.mean;
            worstCase = c.name;
        }
        worstMax = std::max(worstMax, d.max);
        if (d.mean > kMaxMeanLevels) {
            failures << "  " << id << " [" << c.name << "]: mean " << d.mean << " levels, max "
                     << d.max << "\n";
        }
    }
    std::printf("[reference] %-10s worst mean %.3f (%s), max %d\n", id.c_str(), worstMean,
                worstCase.c_str(), worstMax);
    EXPECT_TRUE(failures.str().empty())
        << "mean difference above " << kMaxMeanLevels << " levels:\n"
        << failures.str();
}

INSTANTIATE_TEST_SUITE_P(AllEffects, EffectReferenceTest, ::testing::ValuesIn(kEffectIds),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

// The comparison must notice a wrong formula: halvane's tone height follows RISE, so a
// render at the top of its range cannot pass for the reference at the bottom.
TEST_F(EffectReferenceTest, ComparisonRejectsAWrongSliderValue) {
    if (!renderer_->available()) {
        GTEST_SKIP() << "no usable GL context on this machine";
    }
    std::optional<ShaderEffect> effect = shaderEffect("halvane");
    ASSERT_TRUE(effect.has_value());
    ASSERT_TRUE(effect->defaults.custom1.has_value());
    ShaderParams rendered;
    rendered.custom1 = effect->defaults.custom1->range.upper;
    ShaderParams expected;
    expected.custom1 = effect->defaults.custom1->range.lower;
    std::vector<std::uint8_t> bgra = renderGpu(*renderer_, *effect, rendered, 7.5f);
    ASSERT_FALSE(bgra.empty());
    Uniforms u =
        reference::referenceUniforms(*effect, expected, 7.5f, float(kWidth), float(kHeight));
    EXPECT_GT(compareWithReference(bgra, "halvane", u).mean, kMaxMeanLevels);
}

}  // namespace
}  // namespace tavel
