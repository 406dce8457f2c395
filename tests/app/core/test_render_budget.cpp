// The views' CPU budget inside the application state: two desktop views on a simulated
// machine and the manual clock.

#include "platform/render_budget.h"

#include "support/app_state_fixture.h"
#include "support/simulated_load.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using namespace std::chrono_literals;

constexpr const char* kLlvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";

TEST(SoftwareRenderer, IsKnownByTheRenderersName) {
    struct Case {
        const char* renderer;
        bool software;
    };
    const Case cases[] = {
        {kLlvmpipe, true},
        {"softpipe", true},
        {"Software Rasterizer", true},
        {"Mesa X11 swrast", true},
        {"SWR (LLVM 12.0.0, 256 bits)", true},
        {"zink Vulkan 1.3(llvmpipe (LLVM 15.0.6, 256 bits))", true},
        {"D3D12 (Microsoft Basic Render Driver)", true},
        {"Google SwiftShader", true},
        {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)", false},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
        {"NVIDIA GeForce RTX 3060/PCIe/SSE2", false},
        {"virgl (AMD Radeon RX 6600)", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isSoftwareRenderer(c.renderer), c.software) << c.renderer;
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

    AppState& makeBudgeted(const std::string& settings, double percent = 25,
                           std::string renderer = kLlvmpipe) {
        state.reset();
        owned = std::make_unique<RenderBudget>(clock, load, percent, std::move(renderer));
        budget = owned.get();
        return makeWith(settings);
    }
    ViewLimits limitsOf(const std::string& name) {
        return ViewLimits{view(name).qualityScale, view(name).fps};
    }
};

// From full quality both desktop views come down together, the scale first, and settle
// within 10 % of the budget: a quarter of a core between them.
TEST_F(RenderBudgetTest, OnASoftwareRendererTheDesktopViewsSettleWithinTheBudget) {
    AppState& s = makeBudgeted(R"({"fps":30,"retinaQuality":true})");
    EXPECT_EQ(limitsOf("Left"), (ViewLimits{1.0, 30}));
    clock.advance(15s);
    const ViewLimits left = limitsOf("Left");
    EXPECT_EQ(limitsOf("Right"), left);
    EXPECT_EQ(s.viewLimits(), left);
    EXPECT_LT(left.scale, 1.0);
    EXPECT_GE(left.fps, 5);
    load.shareSinceLastAsked();
    clock.advance(10s);
    EXPECT_NEAR(load.shareSinceLastAsked(), 0.25, 0.025);
    ASSERT_TRUE(owned->usage());
    EXPECT_NEAR(*owned->usage(), 0.25, 0.025);
}

// A hardware renderer, or a budget of 0, leaves the settings as they are, under any load,
// and measures nothing.
TEST_F(RenderBudgetTest, NothingIsLimitedOnHardwareOrWithoutABudget) {
    struct Case {
        const char* renderer;
        double percent;
    };
    for (const Case& c : {Case{"AMD Radeon RX 6600 (navi23)", 25}, Case{kLlvmpipe, 0}}) {
        SCOPED_TRACE(c.renderer);
        AppState& s = makeBudgeted(R"({"fps":30,"retinaQuality":true})", c.percent, c.renderer);
        clock.advance(30s);
        EXPECT_FALSE(owned->applies());
        EXPECT_EQ(limitsOf("Left"), (ViewLimits{1.0, 30}));
        EXPECT_EQ(s.budgeted({1.0, 60}), (ViewLimits{1.0, 60}));
        EXPECT_FALSE(owned->usage());
    }
}

// The settings bound the budget: a lower frame rate or half quality are never exceeded,
// whatever the load, and an effect that fits is drawn exactly as set.
TEST_F(RenderBudgetTest, NeverAboveTheSettings) {
    struct Case {
        double perPixel;
        bool limited;
    };
    for (const Case& c : {Case{0.16, true}, Case{0.002, false}}) {
        SCOPED_TRACE(c.perPixel);
        load.perPixel = c.perPixel;
        makeBudgeted(R"({"fps":12,"retinaQuality":false})");
        for (int i = 0; i < 100; ++i) {
            clock.advance(200ms);
            EXPECT_LE(view("Left").qualityScale, 0.5);
            EXPECT_LE(view("Left").fps, 12);
        }
        EXPECT_EQ(limitsOf("Left") != (ViewLimits{0.5, 12}), c.limited);
    }
}

// Paused views are not measured (the process's other work is not theirs): the limits
// stay, and the sampling stops until the views run again.
TEST_F(RenderBudgetTest, PausedViewsAreNotMeasured) {
    AppState& s = makeBudgeted(R"({"fps":30})");
    clock.advance(15s);
    const ViewLimits settled = limitsOf("Left");
    const std::size_t timers = clock.pendingTimerCount();
    s.togglePaused();
    EXPECT_EQ(clock.pendingTimerCount(), timers - 1);
    load.perPixel = 0.001;  // whatever the process does now
    clock.advance(5min);
    EXPECT_EQ(limitsOf("Left"), settled);
    EXPECT_FALSE(owned->usage());
    s.togglePaused();
    EXPECT_EQ(clock.pendingTimerCount(), timers);
}

// Another effect is measured afresh: rungs that were over the budget for the old one
// are tried again at once, so a cheaper effect climbs back without waiting.
TEST_F(RenderBudgetTest, AnotherEffectIsMeasuredAfresh) {
    AppState& s = makeBudgeted(R"({"fps":30,"globalShaderID":"aurora"})");
    clock.advance(15s);
    const ViewLimits settled = limitsOf("Left");
    ASSERT_LT(settled.fps, 30);
    load.perPixel = 0.002;
    load.fixed = 0.001;
    s.setShader("vortex");
    clock.advance(5s);
    const ViewLimits after = limitsOf("Left");
    EXPECT_TRUE(after.fps > settled.fps || after.scale > settled.scale);
    clock.advance(2min);
    EXPECT_EQ(limitsOf("Left"), (ViewLimits{1.0, 30}));
}

// A view that wishes for more than the desktop (the idle saver's at another rate) gets
// the budget's share of the desktop's scale and at most its frame rate.
TEST_F(RenderBudgetTest, OtherViewsAreLoweredInTheSameProportion) {
    AppState& s = makeBudgeted(R"({"fps":30,"retinaQuality":false})");
    clock.advance(15s);
    const ViewLimits desktop = limitsOf("Left");
    ASSERT_LT(desktop.scale, 0.5);
    const ViewLimits wider = s.budgeted({1.0, 60});
    EXPECT_DOUBLE_EQ(wider.scale, desktop.scale / 0.5);
    EXPECT_EQ(wider.fps, desktop.fps);
    EXPECT_EQ(s.budgeted({1.0, 2}).fps, 2);
}

// While the gallery is open its pictures have a budget of their own: the whole process
// settles near four times the desktop's, the desktop views keep the limits they had,
// and once it closes the desktop's budget holds again.
TEST_F(RenderBudgetTest, AnOpenGalleryHasABudgetOfItsOwnAndStarvesNoView) {
    test::FakeViewState gallery;
    load.extra = &gallery;
    load.cores = 4;  // room for more than the gallery's budget
    AppState& s = makeBudgeted(R"({"fps":30,"retinaQuality":true})");
    clock.advance(15s);
    const ViewLimits desktop = limitsOf("Left");
    s.setGalleryOpen(true);
    gallery.front = true;
    auto draw = [&](Duration period) {
        for (Duration t{}; t < period; t += 200ms) {
            const ViewLimits limits = s.galleryBudgeted({1.0, 30});
            gallery.qualityScale = limits.scale, gallery.fps = limits.fps;
            clock.advance(200ms);
        }
    };
    draw(20s);
    EXPECT_EQ(limitsOf("Left"), desktop);
    EXPECT_LT(s.galleryBudgeted({1.0, 30}).scale, 1.0);
    load.shareSinceLastAsked();
    draw(10s);
    EXPECT_NEAR(load.shareSinceLastAsked(), 1.0, 0.1);
    ASSERT_TRUE(owned->usage());
    EXPECT_NEAR(*owned->usage(), 1.0, 0.1);

    s.setGalleryOpen(false);
    gallery.front = false;
    clock.advance(30s);
    load.shareSinceLastAsked();
    clock.advance(10s);
    EXPECT_NEAR(load.shareSinceLastAsked(), 0.25, 0.03);
}

}  // namespace
}  // namespace tavel
