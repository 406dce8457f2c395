#pragma once
// Helpers for tests that render through the offscreen renderer (Mesa llvmpipe on
// machines without a GPU).

#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "effects/offscreen/image.h"
#include "effects/offscreen/live_icon_renderer.h"
#include "effects/shader_params.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

// An effect whose program is `body` (the fragment part after the prelude), with the
// catalog defaults of `base` (colours and sliders) so the uniforms are filled as for
// that effect. The id differs for every body, so renderers never reuse another
// body's cached program.
inline ShaderEffect customEffect(const std::string& name, const std::string& body,
                                 const std::string& base = "halvane") {
    static std::deque<std::string> texts;  // the effect refers to its text; keep it alive
    const std::string& text = texts.emplace_back(body);
    ShaderEffect effect = *shaderEffect(base);
    effect.id = "test-" + name + "-" + std::to_string(std::hash<std::string>{}(body));
    effect.name = name;
    effect.fragmentSource = text;
    return effect;
}

// Every effect's id, for suites run over the whole catalog.
inline std::vector<std::string> catalogIds() {
    std::vector<std::string> ids;
    for (const auto& effect : allShaders()) ids.push_back(effect.id);
    return ids;
}

// Channel c (0 = blue, 1 = green, 2 = red, 3 = alpha) of pixel (x, y), top row first.
inline int channel(const Image& image, int x, int y, int c) {
    return image.pixel(x, y)[c];
}

// The controls of one case in a table of renders; sliders as -1 (lower end of the
// effect's range), 0 (the effect's default) or 1 (upper end).
struct Controls {
    float speed = 1, zoom = 1, hue = 0, intensity = 1;
    int slider1 = 0, slider2 = 0;
    bool recoloured = false;  // background and accent overridden
};

inline ShaderParams paramsFor(const Controls& c, const ShaderEffect& effect) {
    auto slider = [](int end, const CustomSpec& custom) -> std::optional<float> {
        if (end == 0) return std::nullopt;
        return end < 0 ? custom.range.lower : custom.range.upper;
    };
    ShaderParams p;
    p.speed = c.speed, p.zoom = c.zoom, p.hue = c.hue, p.intensity = c.intensity;
    p.custom1 = slider(c.slider1, *effect.defaults.custom1);
    p.custom2 = slider(c.slider2, *effect.defaults.custom2);
    if (c.recoloured) {
        p.bg = std::vector<float>{0.08f, 0.05f, 0.12f};
        p.accent = std::vector<float>{0.25f, 0.75f, 1.0f};
    }
    return p;
}

// One renderer (one GL context) for every GL test of the binary, as the application
// keeps one. A test fails on any log line it did not take with takeLog().
class RenderTest : public ::testing::Test {
protected:
    static MemoryLogSink& log() {
        static MemoryLogSink sink;
        return sink;
    }
    static LiveIconRenderer& renderer() {
        static LiveIconRenderer instance(log());
        return instance;
    }
    void SetUp() override {
        ASSERT_TRUE(renderer().available()) << "no GL 3.3 context, not even llvmpipe";
        seen_ = log().lines().size();
    }
    void TearDown() override {
        for (const auto& line : takeLog()) ADD_FAILURE() << "unexpected log line: " << line;
    }
    // The lines logged since the test began (or since the last call).
    std::vector<std::string> takeLog() {
        auto lines = log().lines();
        std::vector<std::string> fresh(lines.begin() + std::ptrdiff_t(seen_), lines.end());
        seen_ = lines.size();
        return fresh;
    }

private:
    std::size_t seen_ = 0;
};

}  // namespace tavel::test
