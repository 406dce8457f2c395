// ShaderView against fakes of its surface, renderer, compiler and frame timer, on a
// clock the test moves by hand: no GL, no real time.

#include "effects/shader_view.h"

#include "effects/catalog.h"
#include "effects/log_sink.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel {
namespace {

class FakeSurface final : public RenderSurface {
public:
    bool makeCurrent() override { return bindable; }
    void present() override { ++presented; }
    int pixelWidth() const override { return width; }
    int pixelHeight() const override { return height; }

    bool bindable = true;
    int presented = 0;
    int width = 200, height = 100;
};

class FakeRenderer final : public FrameRenderer {
public:
    struct Call {
        unsigned program;
        int topRowFirstLocation;
        Uniforms uniforms;
        int drawableWidth, drawableHeight, surfaceWidth, surfaceHeight;
        float fade;
    };
    void drawFrame(unsigned program, int topRowFirstLocation, const Uniforms& uniforms,
                   int drawableWidth, int drawableHeight, int surfaceWidth, int surfaceHeight,
                   float fade) override {
        calls.push_back(Call{program, topRowFirstLocation, uniforms, drawableWidth, drawableHeight,
                             surfaceWidth, surfaceHeight, fade});
    }
    std::vector<Call> calls;
};

class FakeCompiler final : public ProgramCompiler {
public:
    struct Request {
        std::string effectId;
        std::function<void(Outcome)> done;
    };
    void compile(const ShaderEffect& effect, std::function<void(Outcome)> done) override {
        requests.push_back(Request{effect.id, std::move(done)});
    }
    void release(unsigned program) override { released.push_back(program); }

    // Delivers request `index` as a success with program `program`.
    void succeed(std::size_t index, unsigned program, int location = 7) {
        Outcome outcome;
        outcome.program = program;
        outcome.topRowFirstLocation = location;
        requests.at(index).done(outcome);
    }
    void fail(std::size_t index, std::string error) {
        Outcome outcome;
        outcome.error = std::move(error);
        requests.at(index).done(outcome);
    }

    std::vector<Request> requests;
    std::vector<unsigned> released;
};

struct TimerState {
    bool running = false;
    double fps = 0;
    int starts = 0;
    std::function<void()> tick;
};

class FakeTimer final : public FrameTimer {
public:
    explicit FakeTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
    void start(double framesPerSecond, std::function<void()> tick) override {
        state_->running = true;
        state_->fps = framesPerSecond;
        state_->tick = std::move(tick);
        ++state_->starts;
    }
    void stop() override {
        state_->running = false;
        state_->tick = nullptr;
    }

private:
    std::shared_ptr<TimerState> state_;
};

constexpr double kStart = 42.25;

class ShaderViewTest : public ::testing::Test {
protected:
    std::unique_ptr<ShaderView> makeView(double width = 100, double height = 50) {
        return std::make_unique<ShaderView>(
            width, height,
            ShaderViewServices{compiler, renderer, std::make_unique<FakeTimer>(timer),
                               [this] { return now; }, [] { return kStart; }, log});
    }

    // A view in a visible window of backing scale 2, showing `effectId` compiled as
    // program 1, with its frame timer running.
    std::unique_ptr<ShaderView> runningView(const char* effectId = "tiles") {
        auto view = makeView();
        view->setEffect(shaderEffect(effectId));
        compiler.succeed(compiler.requests.size() - 1, 1);
        view->moveToWindow(&surface, 2.0, false);
        return view;
    }

    // One tick of the frame timer at time `at`; false when the timer is not running.
    bool tickAt(double at) {
        now = at;
        if (!timer->running) return false;
        timer->tick();
        return true;
    }

    FakeSurface surface;
    FakeRenderer renderer;
    FakeCompiler compiler;
    MemoryLogSink log;
    std::shared_ptr<TimerState> timer = std::make_shared<TimerState>();
    double now = 1000.0;
};

TEST_F(ShaderViewTest, StartsAtTheRandomTimeOutsideAnyWindowAndPaused) {
    auto view = makeView();
    EXPECT_EQ(view->virtualTime(), kStart);
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(timer->running);
    EXPECT_FALSE(view->hasPipeline());
    EXPECT_EQ(view->preferredFramesPerSecond(), 30);
    EXPECT_EQ(view->qualityScale(), 1.0);
}

TEST_F(ShaderViewTest, FirstFrameAddsNothingThenTimeFollowsTheClock) {
    auto view = runningView();
    ASSERT_TRUE(timer->running);
    EXPECT_EQ(timer->fps, 30.0);
    ASSERT_TRUE(tickAt(1000.0));
    EXPECT_EQ(view->virtualTime(), kStart);
    ASSERT_TRUE(tickAt(1000.04));
    EXPECT_NEAR(view->virtualTime(), kStart + 0.04, 1e-9);
    EXPECT_EQ(view->framesDrawn(), 2u);
    EXPECT_EQ(surface.presented, 2);
}

TEST_F(ShaderViewTest, StepIsScaledBySpeedInDoublePrecision) {
    auto view = runningView();
    ShaderParams params;
    params.speed = 2.5f;
    view->setParams(params);
    tickAt(1000.0);
    tickAt(1000.02);
    EXPECT_NEAR(view->virtualTime(), kStart + 0.05, 1e-12);
}

TEST_F(ShaderViewTest, AStallAdvancesAtMostATenthOfASecondTimesSpeed) {
    auto view = runningView();
    ShaderParams params;
    params.speed = 3.0f;
    view->setParams(params);
    tickAt(1000.0);
    tickAt(1002.0);  // a 2-second stall
    EXPECT_NEAR(view->virtualTime(), kStart + 0.3, 1e-9);
}

TEST_F(ShaderViewTest, AClockThatGoesBackAddsNothing) {
    auto view = runningView();
    tickAt(1000.0);
    tickAt(999.0);
    EXPECT_EQ(view->virtualTime(), kStart);
    tickAt(999.05);
    EXPECT_NEAR(view->virtualTime(), kStart + 0.05, 1e-9);
}

TEST_F(ShaderViewTest, SpeedZeroStillDrawsTheSameImage) {
    auto view = runningView();
    ShaderParams params;
    params.speed = 0.0f;
    view->setParams(params);
    tickAt(1000.0);
    tickAt(1000.03);
    tickAt(1000.5);
    ASSERT_EQ(renderer.calls.size(), 3u);
    EXPECT_EQ(view->virtualTime(), kStart);
    EXPECT_EQ(renderer.calls[0].uniforms, renderer.calls[2].uniforms);
    EXPECT_EQ(renderer.calls[2].uniforms.time, static_cast<float>(kStart));
}

TEST_F(ShaderViewTest, RenderPauseStopsTheTimerAndResumesWithoutAJump) {
    auto view = runningView();
    tickAt(1000.0);
    tickAt(1000.05);
    double before = view->virtualTime();

    view->setRenderPaused(true);
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(timer->running);
    EXPECT_FALSE(tickAt(1100.0));

    view->setRenderPaused(false);
    EXPECT_FALSE(view->isPaused());
    ASSERT_TRUE(timer->running);
    tickAt(1200.0);  // first frame after the pause
    EXPECT_EQ(view->virtualTime(), before);
    tickAt(1200.05);
    EXPECT_NEAR(view->virtualTime(), before + 0.05, 1e-9);
}

TEST_F(ShaderViewTest, OcclusionPausesLikeTheOwner) {
    auto view = runningView();
    tickAt(1000.0);
    view->setWindowOccluded(true);
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(timer->running);

    // Either reason alone keeps it paused.
    view->setRenderPaused(true);
    view->setWindowOccluded(false);
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(timer->running);
    view->setRenderPaused(false);
    EXPECT_FALSE(view->isPaused());
    EXPECT_TRUE(timer->running);

    tickAt(1050.0);
    EXPECT_EQ(view->virtualTime(), kStart);
}

TEST_F(ShaderViewTest, LeavingTheWindowPausesAndSizesAtScaleTwo) {
    auto view = runningView();
    view->moveToWindow(&surface, 1.0, false);
    EXPECT_EQ(view->drawableWidth(), 100.0);
    view->moveToWindow(nullptr, 1.0, false);
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(timer->running);
    EXPECT_EQ(view->drawableWidth(), 200.0);
    EXPECT_EQ(view->drawableHeight(), 100.0);
    // Occlusion news for a view in no window changes nothing.
    view->setWindowOccluded(false);
    EXPECT_TRUE(view->isPaused());
}

TEST_F(ShaderViewTest, FrameRateChangesRestartARunningTimerOnly) {
    auto view = runningView();
    int starts = timer->starts;
    view->setPreferredFramesPerSecond(60);
    EXPECT_EQ(timer->starts, starts + 1);
    EXPECT_EQ(timer->fps, 60.0);
    view->setPreferredFramesPerSecond(60);
    EXPECT_EQ(timer->starts, starts + 1);

    view->setRenderPaused(true);
    view->setPreferredFramesPerSecond(15);
    EXPECT_FALSE(timer->running);
    view->setRenderPaused(false);
    EXPECT_EQ(timer->fps, 15.0);
}

TEST_F(ShaderViewTest, AFrameRateBelowOneDrawsOnceASecond) {
    auto view = runningView();
    view->setPreferredFramesPerSecond(0);
    EXPECT_EQ(view->preferredFramesPerSecond(), 0);
    EXPECT_EQ(timer->fps, 1.0);
}

TEST_F(ShaderViewTest, DrawableFollowsScaleQualityAndFrame) {
    auto view = makeView(100, 50);
    EXPECT_EQ(view->drawableWidth(), 200.0);  // no window: scale 2
    EXPECT_EQ(view->drawableHeight(), 100.0);
    view->moveToWindow(&surface, 1.0, false);
    EXPECT_EQ(view->drawableWidth(), 100.0);
    view->setQualityScale(0.5);
    EXPECT_EQ(view->drawableWidth(), 50.0);
    EXPECT_EQ(view->drawableHeight(), 25.0);
    view->setBackingScale(2.0);
    EXPECT_EQ(view->drawableWidth(), 100.0);
    view->setFrameSize(33, 21);
    EXPECT_EQ(view->drawableWidth(), 33.0);
    EXPECT_EQ(view->drawableHeight(), 21.0);
    view->setQualityScale(1.0);
    view->setBackingScale(1.5);
    EXPECT_EQ(view->drawableWidth(), 49.5);  // not rounded
}

TEST_F(ShaderViewTest, DrawableIsAtLeastOnePixel) {
    auto view = makeView(0.3, 0.0);
    view->moveToWindow(&surface, 1.0, false);
    view->setQualityScale(0.5);
    EXPECT_EQ(view->drawableWidth(), 1.0);
    EXPECT_EQ(view->drawableHeight(), 1.0);
}

TEST_F(ShaderViewTest, FramesUseTheDrawableInWholePixelsAndTheSurfaceSize) {
    auto view = runningView();
    view->setBackingScale(1.5);       // 100 x 50 points: 150 x 75
    view->setFrameSize(100.3, 50.4);  // 150.45 x 75.6
    view->setFade(0.25f);
    tickAt(1000.0);
    ASSERT_EQ(renderer.calls.size(), 1u);
    const auto& call = renderer.calls[0];
    EXPECT_EQ(call.program, 1u);
    EXPECT_EQ(call.topRowFirstLocation, 7);
    EXPECT_EQ(call.drawableWidth, 150);
    EXPECT_EQ(call.drawableHeight, 76);
    EXPECT_EQ(call.uniforms.resolution, (Float2{150, 76}));
    EXPECT_EQ(call.surfaceWidth, 200);
    EXPECT_EQ(call.surfaceHeight, 100);
    EXPECT_EQ(call.fade, 0.25f);
}

TEST_F(ShaderViewTest, UniformsComeFromTheParamsWithZoomZeroAsATenth) {
    auto view = runningView("tiles");
    ShaderParams params;
    params.zoom = 0.0f;
    params.intensity = 1.25f;
    params.hue = 30.0f;
    view->setParams(params);
    tickAt(1000.0);
    ASSERT_EQ(renderer.calls.size(), 1u);
    const Uniforms& u = renderer.calls[0].uniforms;
    EXPECT_EQ(u.zoom, 10.0f);
    EXPECT_EQ(u.intensity, 1.25f);
    EXPECT_EQ(u.hue, 30.0f);
    EXPECT_EQ(u.time, static_cast<float>(kStart));
    auto tiles = shaderEffect("tiles");
    ColorUniforms colours = resolvedColorUniforms(&*tiles, params);
    EXPECT_EQ(u.bgColor, colours.bg);
    EXPECT_EQ(u.accentColor, colours.accent);
}

TEST_F(ShaderViewTest, NoFrameWithoutPipelineOrWhenTheSurfaceRefuses) {
    auto view = makeView();
    view->moveToWindow(&surface, 1.0, false);
    ASSERT_TRUE(timer->running);
    tickAt(1000.0);
    EXPECT_TRUE(renderer.calls.empty());

    view->setEffect(shaderEffect("tiles"));
    compiler.succeed(0, 5);
    surface.bindable = false;
    tickAt(1001.0);
    EXPECT_TRUE(renderer.calls.empty());
    EXPECT_EQ(view->framesDrawn(), 0u);
    surface.bindable = true;
    tickAt(1002.0);
    tickAt(1002.05);
    EXPECT_EQ(renderer.calls.size(), 2u);
    // The skipped frames did not move the effect.
    EXPECT_NEAR(view->virtualTime(), kStart + 0.05, 1e-9);
}

TEST_F(ShaderViewTest, OnlyTheLatestRequestIsInstalledWhateverTheOrder) {
    auto view = makeView();
    view->setEffect(shaderEffect("tiles"));
    view->setEffect(shaderEffect("halvane"));
    ASSERT_EQ(compiler.requests.size(), 2u);
    EXPECT_EQ(compiler.requests[0].effectId, "tiles");
    EXPECT_EQ(compiler.requests[1].effectId, "halvane");
    EXPECT_EQ(view->pipelineGeneration(), 2);

    compiler.succeed(1, 22);  // the newer finishes first
    EXPECT_TRUE(view->hasPipeline());
    compiler.succeed(0, 11);  // the older arrives late
    EXPECT_EQ(compiler.released, (std::vector<unsigned>{11}));

    view->moveToWindow(&surface, 1.0, false);
    tickAt(1000.0);
    ASSERT_EQ(renderer.calls.size(), 1u);
    EXPECT_EQ(renderer.calls[0].program, 22u);
}

TEST_F(ShaderViewTest, AnOlderResultArrivingFirstIsNotInstalled) {
    auto view = makeView();
    view->setEffect(shaderEffect("tiles"));
    view->setEffect(shaderEffect("halvane"));
    compiler.succeed(0, 11);
    EXPECT_FALSE(view->hasPipeline());
    EXPECT_EQ(compiler.released, (std::vector<unsigned>{11}));
    compiler.succeed(1, 22);
    EXPECT_TRUE(view->hasPipeline());
    EXPECT_EQ(compiler.released.size(), 1u);
}

TEST_F(ShaderViewTest, SameIdentifierDoesNotRecompileOrBlank) {
    auto view = runningView("tiles");
    auto copy = shaderEffect("tiles");
    copy->name = "Renamed copy";
    view->setEffect(copy);
    view->setEffect(shaderEffect("tiles"));
    EXPECT_EQ(compiler.requests.size(), 1u);
    EXPECT_EQ(view->pipelineGeneration(), 1);
    EXPECT_TRUE(view->hasPipeline());
    EXPECT_TRUE(compiler.released.empty());
    tickAt(1000.0);
    EXPECT_EQ(renderer.calls.size(), 1u);
}

TEST_F(ShaderViewTest, EffectNoneDropsThePipelineAndStopsFrames) {
    auto view = runningView("tiles");
    tickAt(1000.0);
    view->setEffect(std::nullopt);
    EXPECT_FALSE(view->hasPipeline());
    EXPECT_EQ(compiler.released, (std::vector<unsigned>{1}));
    EXPECT_EQ(compiler.requests.size(), 1u);  // nothing to compile
    EXPECT_EQ(view->pipelineGeneration(), 2);
    tickAt(1000.05);
    tickAt(1000.1);
    EXPECT_EQ(renderer.calls.size(), 1u);
    // None again is no change.
    view->setEffect(std::nullopt);
    EXPECT_EQ(view->pipelineGeneration(), 2);
}

TEST_F(ShaderViewTest, ChangingEffectBlanksUntilTheNewProgramArrives) {
    auto view = runningView("tiles");
    view->setEffect(shaderEffect("halvane"));
    EXPECT_FALSE(view->hasPipeline());
    EXPECT_EQ(compiler.released, (std::vector<unsigned>{1}));
    tickAt(1000.0);
    EXPECT_TRUE(renderer.calls.empty());
    compiler.succeed(1, 2);
    tickAt(1000.05);
    ASSERT_EQ(renderer.calls.size(), 1u);
    EXPECT_EQ(renderer.calls[0].program, 2u);
}

TEST_F(ShaderViewTest, CompileFailureLogsOneLineAndDrawsNothing) {
    auto view = makeView();
    view->moveToWindow(&surface, 1.0, false);
    view->setEffect(shaderEffect("tiles"));
    compiler.fail(0, "0:12(3): error: syntax error");
    auto tiles = shaderEffect("tiles");
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Tavel: failed to compile shader '" + tiles->name +
                                        "': 0:12(3): error: syntax error"}));
    EXPECT_FALSE(view->hasPipeline());
    tickAt(1000.0);
    EXPECT_TRUE(renderer.calls.empty());
    // Another effect recovers.
    view->setEffect(shaderEffect("halvane"));
    compiler.succeed(1, 3);
    tickAt(1000.05);
    EXPECT_EQ(renderer.calls.size(), 1u);
}

TEST_F(ShaderViewTest, AResultForADestroyedViewIsReleased) {
    auto view = makeView();
    view->setEffect(shaderEffect("tiles"));
    view.reset();
    compiler.succeed(0, 9);
    EXPECT_EQ(compiler.released, (std::vector<unsigned>{9}));
}

TEST_F(ShaderViewTest, DestroyingTheViewReleasesItsProgramAndStopsTheTimer) {
    auto view = runningView();
    ASSERT_TRUE(timer->running);
    view.reset();
    EXPECT_FALSE(timer->running);
    EXPECT_EQ(compiler.released, (std::vector<unsigned>{1}));
}

}  // namespace
}  // namespace tavel
