#pragma once
// Helpers for tests that render through the offscreen renderer (llvmpipe without a GPU).

#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "effects/offscreen/image.h"
#include "effects/offscreen/live_icon_renderer.h"
#include "effects/shader_params.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tavel::test {

// An effect whose fragment part is `body`, with the defaults of `base`; an id per body.
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

// One renderer (one GL context) per binary, as in the application; a test fails on any
// log line it did not take with takeLog().
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
