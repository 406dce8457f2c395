// ShaderView against fakes of its surface, renderer, compiler and frame timer, on a
// clock the test moves by hand: no GL, no real time.

#include "effects/shader_view.h"

#include "effects/catalog.h"
#include "effects/log_sink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavel {
namespace {

class FakeSurface final : public RenderSurface {
public:
    bool makeCurrent() override { return bindable; }
    void present() override { ++presented; }
    int pixelWidth() const override { return 200; }
    int pixelHeight() const override { return 100; }
    bool bindable = true;
    int presented = 0;
};

class FakeRenderer final : public FrameRenderer {
public:
    struct Call {
        unsigned program;
        Uniforms uniforms;
        int drawableWidth, drawableHeight, surfaceWidth, surfaceHeight;
    };
    void drawFrame(unsigned program, int, const Uniforms& uniforms, int drawableWidth,
                   int drawableHeight, int surfaceWidth, int surfaceHeight, float) override {
        calls.push_back(
            {program, uniforms, drawableWidth, drawableHeight, surfaceWidth, surfaceHeight});
    }
    std::vector<Call> calls;
};

// Answers known effects at once, queues the rest until the test delivers them.
class FakeCompiler final : public ProgramCompiler {
public:
    using Done = std::function<void(const Outcome&)>;
    Request request(const ShaderEffect& effect, Done done) override {
        if (auto it = known.find(effect.id); it != known.end()) {
            done(it->second);
            return {};
        }
        auto waiter = std::make_shared<Done>(std::move(done));
        waiting.push_back({effect.id, waiter});
        return Request(waiter);
    }
    // Delivers the outcome to every request for `id` still held.
    void deliver(const std::string& id, Outcome outcome) {
        for (auto& [waitingId, weak] : waiting)
            if (auto waiter = weak.lock(); waiter && waitingId == id) (*waiter)(outcome);
    }
    int held(const std::string& id) const {
        int n = 0;
        for (auto& [waitingId, weak] : waiting) n += waitingId == id && !weak.expired();
        return n;
    }
    std::map<std::string, Outcome> known;
    std::vector<std::pair<std::string, std::weak_ptr<Done>>> waiting;
};

struct TimerState {
    bool running = false;
    double fps = 0;
    std::function<void()> tick;
};

class FakeTimer final : public FrameTimer {
public:
    explicit FakeTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
    void start(double framesPerSecond, std::function<void()> tick) override {
        *state_ = {true, framesPerSecond, std::move(tick)};
    }
    void stop() override { *state_ = {}; }

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
    // In a visible window of backing scale 2, showing `id` (program 1), timer running.
    std::unique_ptr<ShaderView> runningView(const char* id = "tiles") {
        compiler.known[id] = {1, 7, {}};
        auto view = makeView();
        view->setEffect(shaderEffect(id));
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

TEST_F(ShaderViewTest, TimeStepsAreClampedScaledAndSkipTheFirstFrameAfterAPause) {
    struct Step {
        float speed;
        std::vector<double> ticks;  // clock readings, the first one adds nothing
        double advance;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Step steps[] = {
        {1.0f, {10.0, 10.05, 10.08}, 0.08},  // follows the clock
        {0.5f, {10.0, 10.04}, 0.02},         // times speed
        {2.0f, {10.0, 13.0}, 0.2},           // a stall counts as a tenth of a second
        {1.0f, {10.0, 9.0, 9.05}, 0.05},     // a clock going back adds nothing
        {1.0f, {10.0, nan, 10.05}, 0.0},     // nor does one that went NaN
        {0.0f, {10.0, 11.0, 12.0}, 0.0},     // speed 0 draws the same image
    };
    for (const Step& step : steps) {
        auto view = runningView();
        ShaderParams params;
        params.speed = step.speed;
        view->setParams(params);
        for (double at : step.ticks) ASSERT_TRUE(tickAt(at));
        EXPECT_NEAR(view->virtualTime() - kStart, step.advance, 1e-9) << step.speed;
        EXPECT_EQ(view->framesDrawn(), step.ticks.size());
    }

    // After a pause the effect goes on where it stopped, whatever the clock did meanwhile.
    auto view = runningView();
    tickAt(20.0);
    tickAt(20.05);
    view->setRenderPaused(true);
    EXPECT_FALSE(tickAt(25.0));
    view->setRenderPaused(false);
    tickAt(30.0);
    tickAt(30.05);
    EXPECT_NEAR(view->virtualTime() - kStart, 0.1, 1e-9);
}

TEST_F(ShaderViewTest, ThePauseRuleCoversTheOwnerOcclusionAndLeavingTheWindow) {
    auto view = makeView();
    EXPECT_TRUE(view->isPaused());  // in no window
    EXPECT_DOUBLE_EQ(view->virtualTime(), kStart);
    view->moveToWindow(&surface, 1.0, true);
    EXPECT_TRUE(view->isPaused());  // hidden
    view->setWindowOccluded(false);
    EXPECT_FALSE(view->isPaused());
    EXPECT_TRUE(timer->running);
    view->setRenderPaused(true);
    EXPECT_TRUE(view->isPaused());
    EXPECT_FALSE(timer->running);
    view->setRenderPaused(false);
    view->moveToWindow(nullptr, 1.0, false);  // left the window: hidden, whatever is said
    EXPECT_TRUE(view->isPaused());
    view->setWindowOccluded(false);
    EXPECT_TRUE(view->isPaused());
}

TEST_F(ShaderViewTest, TheFrameRateIsKeptWithinOneAndWhatADisplayShows) {
    auto view = runningView();
    struct Case {
        std::int64_t fps;
        double drawn;
    };
    for (Case c : {Case{60, 60}, {0, 1}, {-5, 1}, {1'000'000'000, 240}, {240, 240}}) {
        view->setPreferredFramesPerSecond(c.fps);
        EXPECT_EQ(timer->fps, c.drawn) << c.fps;
    }
    // A paused view starts no timer for a new rate.
    view->setRenderPaused(true);
    view->setPreferredFramesPerSecond(30);
    EXPECT_FALSE(timer->running);
}

TEST_F(ShaderViewTest, TheDrawableFollowsScaleQualityAndFrameInWholePixels) {
    auto view = runningView();
    EXPECT_EQ(view->drawableWidth(), 200);  // 100 points at scale 2
    view->setQualityScale(0.5);
    view->setBackingScale(3.0);
    view->setFrameSize(101, 51);
    EXPECT_DOUBLE_EQ(view->drawableWidth(), 151.5);
    EXPECT_DOUBLE_EQ(view->drawableHeight(), 76.5);
    tickAt(1.0);
    ASSERT_EQ(renderer.calls.size(), 1u);
    const auto& call = renderer.calls.back();
    EXPECT_EQ((std::array{call.drawableWidth, call.drawableHeight, call.surfaceWidth,
                          call.surfaceHeight}),
              (std::array{152, 77, 200, 100}));
    EXPECT_EQ(call.uniforms.resolution[0], 152.0f);
    view->setFrameSize(0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(view->drawableWidth(), 1);  // at least one pixel, NaN too
    EXPECT_EQ(view->drawableHeight(), 1);
}

TEST_F(ShaderViewTest, UniformsComeFromTheParamsWithZoomZeroAsATenth) {
    auto view = runningView("tiles");
    ShaderParams params;
    params.zoom = 0;
    params.intensity = 1.5f;
    params.hue = 90;
    view->setParams(params);
    tickAt(1.0);
    const Uniforms& u = renderer.calls.back().uniforms;
    EXPECT_FLOAT_EQ(u.zoom, 10.0f);
    EXPECT_FLOAT_EQ(u.intensity, 1.5f);
    EXPECT_FLOAT_EQ(u.hue, 90.0f);
    EXPECT_FLOAT_EQ(u.time, static_cast<float>(kStart));
}

TEST_F(ShaderViewTest, OnlyTheProgramOfTheCurrentEffectIsEverDrawn) {
    auto view = makeView();
    view->moveToWindow(&surface, 1.0, false);
    view->setEffect(shaderEffect("tiles"));
    view->setEffect(shaderEffect("dome"));
    // The older request is withdrawn, so its compile can be skipped altogether.
    EXPECT_EQ(compiler.held("tiles"), 0);
    EXPECT_EQ(compiler.held("dome"), 1);
    tickAt(1.0);
    EXPECT_TRUE(renderer.calls.empty());  // nothing to draw until the program arrives
    compiler.deliver("dome", {5, 7, {}});
    tickAt(1.1);
    ASSERT_EQ(renderer.calls.size(), 1u);
    EXPECT_EQ(renderer.calls.back().program, 5u);

    // The same identifier again neither asks again nor blanks the view.
    view->setEffect(shaderEffect("dome"));
    EXPECT_EQ(compiler.waiting.size(), 2u);
    tickAt(1.2);
    EXPECT_EQ(renderer.calls.size(), 2u);

    // No effect: no program, no frames.
    view->setEffect(std::nullopt);
    EXPECT_FALSE(view->hasPipeline());
    tickAt(1.3);
    EXPECT_EQ(renderer.calls.size(), 2u);
}

TEST_F(ShaderViewTest, AProgramLinkedBeforeIsShownAtOnce) {
    compiler.known["orbits"] = {9, 7, {}};
    auto view = makeView();
    view->setEffect(shaderEffect("orbits"));
    EXPECT_TRUE(view->hasPipeline());
    EXPECT_TRUE(compiler.waiting.empty());
}

TEST_F(ShaderViewTest, NoFrameWhenTheSurfaceRefusesTheContext) {
    auto view = runningView();
    surface.bindable = false;
    tickAt(1.0);
    EXPECT_TRUE(renderer.calls.empty());
    EXPECT_EQ(surface.presented, 0);
    EXPECT_DOUBLE_EQ(view->virtualTime(), kStart);
}

TEST_F(ShaderViewTest, ACompileFailureIsOneLogLineAndNoFrames) {
    auto view = makeView();
    view->moveToWindow(&surface, 1.0, false);
    view->setEffect(shaderEffect("ridges"));
    compiler.deliver("ridges", {0, -1, "0:12(3): error: bad\n0:14(1): error: worse\n"});
    tickAt(1.0);
    EXPECT_TRUE(renderer.calls.empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Tavel: failed to compile shader 'Ridgelines': 0:12(3): error: bad; "
                               "0:14(1): error: worse"}));
}

TEST_F(ShaderViewTest, ADestroyedViewWithdrawsItsRequestAndStopsItsTimer) {
    auto view = runningView();
    view->setEffect(shaderEffect("dome"));
    view.reset();
    EXPECT_EQ(compiler.held("dome"), 0);
    EXPECT_FALSE(timer->running);
    compiler.deliver("dome", {3, 7, {}});  // reaches nothing
}

}  // namespace
}  // namespace tavel
