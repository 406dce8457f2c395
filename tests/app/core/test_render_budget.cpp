// The views' CPU budget inside the application state, on a simulated machine.

#include "platform/render_budget.h"

#include "support/app_state_fixture.h"
#include "support/simulated_load.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using namespace std::chrono_literals;

constexpr const char* kLlvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";

TEST(SoftwareRenderer, IsKnownByTheRenderersName) {
    for (const char* name :
         {kLlvmpipe, "softpipe", "Mesa X11 swrast", "SWR (LLVM 12.0.0, 256 bits)",
          "D3D12 (Microsoft Basic Render Driver)"})
        EXPECT_TRUE(isSoftwareRenderer(name)) << name;
    for (const char* name : {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)",
                             "virgl (AMD Radeon RX 6600)", ""})
        EXPECT_FALSE(isSoftwareRenderer(name)) << name;
}

// The controller alone: near its share within 10 s, then at most one more move in ten
// minutes (a step up that cannot fit is not tried), and a rung at a time.
TEST(CpuBudget, SettlesNearItsShareAndStaysMovingOneRungAtATime) {
    struct Case {
        double fixed, perPixel, share;
        ViewLimits user;
    };
    const Case cases[] = {{0.008, 0.16, 0.25, {1.0, 30}},
                          {0.004, 0.04, 0.25, {1.0, 30}},
                          {0.002, 0.004, 0.25, {1.0, 30}},
                          {0.008, 0.16, 0.5, {0.5, 60}},
                          {0.004, 0.04, 0.1, {1.0, 24}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.share);
        test::ManualScheduler clock;
        test::FakeViewState view;
        view.front = true;
        test::SimulatedLoad load{clock, [&] { return std::vector{&std::as_const(view)}; }};
        load.fixed = c.fixed;
        load.perPixel = c.perPixel;
        CpuBudgetController budget(c.share);
        budget.setUserLimits(c.user);
        std::vector<std::size_t> rungs{budget.step()};
        std::size_t settledMoves = 0;
        for (int tick = 1; tick <= 10 * 60 * 5; ++tick) {  // ten minutes of 200 ms samples
            view.qualityScale = budget.limits().scale;
            view.fps = budget.limits().fps;
            clock.advance(200ms);
            budget.sample(clock.now(), load.cpuSeconds(), load.framesDrawn());
            if (budget.step() != rungs.back()) rungs.push_back(budget.step());
            if (tick % (10 * 5) == 0 && budget.step() > 0 && budget.step() + 1 < budget.steps()) {
                EXPECT_NEAR(budget.usage().value_or(0), c.share, c.share * 0.1) << tick / 5 << " s";
            }
            if (tick == 10 * 5) settledMoves = rungs.size();
        }
        EXPECT_LE(rungs.size(), settledMoves + 1) << "still moving after settling";
        for (std::size_t i = 1; i < rungs.size(); ++i)
            EXPECT_EQ(std::max(rungs[i], rungs[i - 1]) - std::min(rungs[i], rungs[i - 1]), 1u);
    }
}

class RenderBudgetTest : public test::AppStateTest {
protected:
    test::SimulatedLoad load{clock, [this] {
                                 std::vector<const test::FakeViewState*> views;
                                 for (auto& [name, view] : screens.made)
                                     views.push_back(view.get());
                                 return views;
                             }};
    std::unique_ptr<RenderBudget> owned;

    ~RenderBudgetTest() override { state.reset(); }  // before the budget it uses

    AppState& makeBudgeted() {
        state.reset();
        owned = std::make_unique<RenderBudget>(clock, load, 25, kLlvmpipe);
        budget = owned.get();
        return makeWith(R"({"fps":30,"retinaQuality":true})");
    }
    ViewLimits limitsOf(const std::string& name) {
        return ViewLimits{view(name).qualityScale, view(name).fps};
    }
    // The share of one core used over the next `period`.
    double shareOver(Duration period) {
        load.shareSinceLastAsked();
        clock.advance(period);
        return load.shareSinceLastAsked();
    }
};

TEST_F(RenderBudgetTest, DesktopViewsSettleWithinTheBudgetAndTheSettings) {
    AppState& s = makeBudgeted();
    EXPECT_EQ(limitsOf("Left"), (ViewLimits{1.0, 30}));
    // Both views come down together to a quarter of a core between them, and stay.
    clock.advance(15s);
    const ViewLimits settled = limitsOf("Left");
    EXPECT_EQ(limitsOf("Right"), settled);
    EXPECT_EQ(s.viewLimits(), settled);
    EXPECT_LT(settled.fps, 30);
    EXPECT_NEAR(shareOver(10s), 0.25, 0.025);
    ASSERT_TRUE(owned->usage());
    EXPECT_NEAR(*owned->usage(), 0.25, 0.025);
    for (int second = 1; second <= 600; ++second) {  // no tries up that cannot fit
        clock.advance(1s);
        ASSERT_EQ(limitsOf("Left"), settled) << second << " s later";
    }

    // Lower settings bound every view at once; the idle saver's gets the desktop's share.
    s.updateSettings([](AppSettings& x) {
        x.fps = 12;
        x.retinaQuality = false;
    });
    for (int i = 0; i < 75; ++i) {
        EXPECT_LE(view("Left").qualityScale, 0.5);
        EXPECT_LE(view("Left").fps, 12);
        clock.advance(200ms);
    }
    const ViewLimits desktop = limitsOf("Left");
    ASSERT_LT(desktop.scale, 0.5);
    EXPECT_EQ(s.budgeted({1.0, 60}), (ViewLimits{desktop.scale / 0.5, desktop.fps}));
    EXPECT_EQ(s.budgeted({1.0, 2}).fps, 2);

    // Paused views are not measured (the process's other work is not theirs).
    const std::size_t timers = clock.pendingTimerCount();
    s.togglePaused();
    EXPECT_EQ(clock.pendingTimerCount(), timers - 1);
    load.background = 1;
    clock.advance(5min);
    EXPECT_EQ(limitsOf("Left"), desktop);
    EXPECT_FALSE(owned->usage());
    load.background = 0;
    s.togglePaused();
    EXPECT_EQ(clock.pendingTimerCount(), timers);

    // A cheaper effect is measured afresh: it climbs back without waiting.
    load.perPixel = 0.002;
    load.fixed = 0.001;
    s.setShader("vortex");
    clock.advance(5s);
    const ViewLimits after = limitsOf("Left");
    EXPECT_TRUE(after.fps > desktop.fps || after.scale > desktop.scale);
    clock.advance(2min);
    EXPECT_EQ(limitsOf("Left"), (ViewLimits{0.5, 12}));
}

// The open gallery's pictures get four times the desktop's budget, taking none of it.
TEST_F(RenderBudgetTest, AnOpenGalleryHasABudgetOfItsOwnAndStarvesNoView) {
    test::FakeViewState gallery;
    load.extra = &gallery;
    load.cores = 4;  // room for more than the gallery's budget
    AppState& s = makeBudgeted();
    clock.advance(15s);
    const ViewLimits desktop = limitsOf("Left");
    s.setGalleryOpen(true);
    gallery.front = true;
    load.shareSinceLastAsked();
    for (Duration t{}; t < 30s; t += 200ms) {
        const ViewLimits limits = s.galleryBudgeted({1.0, 30});
        gallery.qualityScale = limits.scale;
        gallery.fps = limits.fps;
        clock.advance(200ms);
    }
    EXPECT_EQ(limitsOf("Left"), desktop);
    EXPECT_LT(s.galleryBudgeted({1.0, 30}).scale, 1.0);
    ASSERT_TRUE(owned->usage());
    EXPECT_NEAR(*owned->usage(), 1.0, 0.1);

    s.setGalleryOpen(false);
    gallery.front = false;
    clock.advance(30s);
    EXPECT_NEAR(shareOver(10s), 0.25, 0.03);
}

}  // namespace
}  // namespace tavel
