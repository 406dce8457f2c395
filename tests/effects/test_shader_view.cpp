// ShaderView on fakes and a hand-moved clock; its pause rule is tested in real windows.

#include "effects/shader_view.h"

#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "support/view_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace tavel {
namespace {

using namespace test;

constexpr double kStart = 42.25;

class ShaderViewTest : public ::testing::Test {
protected:
    // 100 x 50 points, in no window yet.
    std::unique_ptr<ShaderView> makeView() {
        return std::make_unique<ShaderView>(
            100, 50,
            ShaderViewServices{compiler, renderer, std::make_unique<FakeTimer>(timer),
                               [this] { return now; }, [] { return kStart; }, log});
    }
    // In a visible window of backing scale 2, showing tiles (program 1), timer running.
    std::unique_ptr<ShaderView> runningView() {
        compiler.known["tiles"] = {1, 7, {}};
        auto view = makeView();
        view->setEffect(shaderEffect("tiles"));
        view->moveToWindow(&surface, 2.0, false);
        return view;
    }
    // One tick of the frame timer at time `at`; false when the timer is not running.
    bool tickAt(double at) {
        now = at;
        if (timer->running) timer->tick();
        return timer->running;
    }

    FakeSurface surface;
    FakeRenderer renderer;
    FakeCompiler compiler;
    MemoryLogSink log;
    std::shared_ptr<TimerState> timer = std::make_shared<TimerState>();
    double now = 1000.0;
};

TEST_F(ShaderViewTest, TimeStepsAreClampedScaledAndSkipTheFirstFrameAfterAPause) {
    constexpr double kPause = -1;  // paused here, the clock moving on, then resumed
    const struct {
        float speed;
        std::vector<double> ticks;  // clock readings, the first one adds nothing
        double advance;
    } steps[] = {
        {1.0f, {10.0, 10.05, 10.08}, 0.08},  // follows the clock
        {2.0f, {10.0, 13.0}, 0.2},           // a stall: a tenth of a second, times speed
        {1.0f, {20.0, 20.05, kPause, 30.0, 30.05}, 0.1},  // goes on where it stopped
    };
    for (const auto& step : steps) {
        auto view = runningView();
        ShaderParams params;
        params.speed = step.speed;
        view->setParams(params);
        for (double at : step.ticks) {
            view->setRenderPaused(at == kPause);
            ASSERT_EQ(tickAt(at), at != kPause);
        }
        EXPECT_NEAR(view->virtualTime() - kStart, step.advance, 1e-9) << step.speed;
        EXPECT_EQ(view->framesDrawn(), std::count_if(step.ticks.begin(), step.ticks.end(),
                                                     [](double at) { return at != kPause; }));
    }
}

// Also: uniforms come from the params; a surface that refuses the context is no frame.
TEST_F(ShaderViewTest, TheDrawableAndFrameRateFollowScaleQualityFrameAndWhatADisplayShows) {
    auto view = runningView();
    EXPECT_EQ(view->drawableWidth(), 200);  // 100 points at scale 2
    view->setQualityScale(0.5);
    view->setBackingScale(3.0);
    view->setFrameSize(101, 51);
    EXPECT_DOUBLE_EQ(view->drawableWidth(), 151.5);
    EXPECT_DOUBLE_EQ(view->drawableHeight(), 76.5);
    ShaderParams params;
    params.hue = 90;
    view->setParams(params);
    tickAt(1.0);
    ASSERT_EQ(renderer.frames.size(), 1u);
    EXPECT_EQ(renderer.frames[0].sizes, (std::array{152, 77, 200, 100}));
    EXPECT_EQ(renderer.frames[0].uniforms.hue, 90.0f);
    EXPECT_EQ(renderer.frames[0].uniforms.time, float(kStart));

    surface.bindable = false;
    tickAt(1.05);
    EXPECT_EQ(renderer.frames.size(), 1u);
    EXPECT_EQ(surface.presented, 1);

    view->setFrameSize(0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(view->drawableWidth(), 1);  // at least one pixel, NaN too
    EXPECT_EQ(view->drawableHeight(), 1);

    const std::pair<std::int64_t, double> rates[] = {{60, 60}, {-5, 1}, {1'000'000'000, 240}};
    for (auto [set, drawn] : rates) {
        view->setPreferredFramesPerSecond(set);
        EXPECT_EQ(timer->fps, drawn) << set;
    }
    view->setRenderPaused(true);  // a paused view starts no timer for a new rate
    view->setPreferredFramesPerSecond(30);
    EXPECT_FALSE(timer->running);
}

TEST_F(ShaderViewTest, OnlyTheProgramOfTheCurrentEffectIsEverDrawnAndFailuresAreLogged) {
    auto view = makeView();
    view->moveToWindow(&surface, 1.0, false);
    view->setEffect(shaderEffect("tiles"));
    view->setEffect(shaderEffect("dome"));
    // The older request is withdrawn, so its compile can be skipped altogether.
    EXPECT_EQ(compiler.deliver("tiles", {4, 7, {}}), 0);
    tickAt(1.0);
    EXPECT_TRUE(renderer.frames.empty());  // nothing to draw until the program arrives
    EXPECT_EQ(compiler.deliver("dome", {5, 7, {}}), 1);
    tickAt(1.1);
    ASSERT_EQ(renderer.frames.size(), 1u);
    EXPECT_EQ(renderer.frames.back().program, 5u);

    // A failed compile is one log line and no frames.
    view->setEffect(shaderEffect("ridges"));
    EXPECT_EQ(compiler.deliver("ridges", {0, -1, "0:12(3): error: bad\n0:14(1): error: worse\n"}),
              1);
    tickAt(1.5);
    EXPECT_EQ(renderer.frames.size(), 1u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Tavel: failed to compile shader 'Ridgelines': 0:12(3): error: bad; "
                               "0:14(1): error: worse"}));

    // A view that goes withdraws its request and stops its timer.
    view->setEffect(shaderEffect("wiremesh"));
    view.reset();
    EXPECT_TRUE(compiler.waiting.back().second.expired());
    EXPECT_FALSE(timer->running);
}

}  // namespace
}  // namespace tavel
