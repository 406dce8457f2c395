// HalvaneSaver, the view class, against fakes of its view's services: what it logs at
// which frame, and that each host tick (and nothing else) draws one frame of the
// selection.

#include "saver/halvane_saver.h"

#include "effects/catalog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavel {
namespace {

class FakeSurface final : public RenderSurface {
public:
    bool makeCurrent() override { return true; }
    void present() override {}
    int pixelWidth() const override { return 64; }
    int pixelHeight() const override { return 36; }
};

class RecordingRenderer final : public FrameRenderer {
public:
    void drawFrame(unsigned, int, const Uniforms& uniforms, int, int, int, int, float) override {
        drawn.push_back(uniforms);
    }
    std::vector<Uniforms> drawn;
};

// Links every program at once.
class ReadyCompiler final : public ProgramCompiler {
public:
    Request request(const ShaderEffect& effect, std::function<void(const Outcome&)> done) override {
        requested.push_back(effect.id);
        done(Outcome{7, -1, {}});
        return {};
    }
    std::vector<std::string> requested;
};

class RecordingTimer final : public FrameTimer {
public:
    explicit RecordingTimer(int& starts) : starts_(starts) {}
    void start(double, std::function<void()>) override { ++starts_; }
    void stop() override {}

private:
    int& starts_;
};

TEST(HalvaneSaver, EachTickDrawsTheSelectionAndFramesOneToThreeAndEvery150thAreLogged) {
    MemoryLogSink log;
    ReadyCompiler compiler;
    RecordingRenderer renderer;
    FakeSurface surface;
    int timerStarts = 0;
    double now = 0;
    ShaderParams params;
    params.intensity = 0.25f;
    params.hue = 45;
    const ShaderEffect effect = *shaderEffect("ridges");
    HalvaneSaver saver(
        64, 36,
        ShaderViewServices{compiler, renderer, std::make_unique<RecordingTimer>(timerStarts),
                           [&now] { return now; }, [] { return 0.0; }, log},
        {effect, params}, log);
    saver.shaderView().moveToWindow(&surface, 1.0, false);
    saver.startAnimation();
    for (int i = 0; i < 450; ++i) {
        now += saver.animationTimeInterval();
        saver.animateOneFrame();
    }

    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "HalvaneSaver: startAnimation, interval=0.03333333333333333",
                               "HalvaneSaver: animateOneFrame #1",
                               "HalvaneSaver: animateOneFrame #2",
                               "HalvaneSaver: animateOneFrame #3",
                               "HalvaneSaver: animateOneFrame #150",
                               "HalvaneSaver: animateOneFrame #300",
                               "HalvaneSaver: animateOneFrame #450",
                           }));
    EXPECT_EQ(saver.frameCount(), 450);
    EXPECT_EQ(compiler.requested, std::vector<std::string>{"ridges"});
    // The view's own frame loop never runs: the host's ticks are the only frames.
    EXPECT_EQ(timerStarts, 0);
    ASSERT_EQ(renderer.drawn.size(), 450u);
    EXPECT_EQ(renderer.drawn.back().intensity, 0.25f);
    EXPECT_EQ(renderer.drawn.back().hue, 45.0f);
    // Effect time follows the ticks (speed 1).
    EXPECT_NEAR(renderer.drawn.back().time - renderer.drawn.front().time, 449.0 / 30.0, 1e-3);
}

}  // namespace
}  // namespace tavel
