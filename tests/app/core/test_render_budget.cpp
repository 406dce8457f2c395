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
         {kLlvmpipe, "softpipe", "Software Rasterizer", "Mesa X11 swrast",
          "SWR (LLVM 12.0.0, 256 bits)", "zink Vulkan 1.3(llvmpipe (LLVM 15.0.6, 256 bits))",
          "D3D12 (Microsoft Basic Render Driver)", "Google SwiftShader"})
        EXPECT_TRUE(isSoftwareRenderer(name)) << name;
    for (const char* name : {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)",
                             "Mesa Intel(R) UHD Graphics 620 (KBL GT2)",
                             "NVIDIA GeForce RTX 3060/PCIe/SSE2", "virgl (AMD Radeon RX 6600)", ""})
        EXPECT_FALSE(isSoftwareRenderer(name)) << name;
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
    // The share of one core used over the next `period`.
    double shareOver(Duration period) {
        load.shareSinceLastAsked();
        clock.advance(period);
        return load.shareSinceLastAsked();
    }
};

TEST_F(RenderBudgetTest, DesktopViewsSettleWithinTheBudgetAndTheSettings) {
    AppState& s = makeBudgeted(R"({"fps":30,"retinaQuality":true})");
    EXPECT_EQ(limitsOf("Left"), (ViewLimits{1.0, 30}));
    // Both views come down together to a quarter of a core between them.
    clock.advance(15s);
    const ViewLimits settled = limitsOf("Left");
    EXPECT_EQ(limitsOf("Right"), settled);
    EXPECT_EQ(s.viewLimits(), settled);
    EXPECT_LT(settled.fps, 30);
    EXPECT_NEAR(shareOver(10s), 0.25, 0.025);
    ASSERT_TRUE(owned->usage());
    EXPECT_NEAR(*owned->usage(), 0.25, 0.025);

    // Lower settings bound every view at once; the idle saver's gets the desktop's share.
    s.updateSettings([](AppSettings& x) { x.fps = 12, x.retinaQuality = false; });
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

// A hardware renderer, or a budget of 0, leaves the settings as they are and measures nothing.
TEST_F(RenderBudgetTest, NothingIsLimitedOnHardwareOrWithoutABudget) {
    for (auto [renderer, percent] :
         {std::pair{"AMD Radeon RX 6600 (navi23)", 25}, {kLlvmpipe, 0}}) {
        SCOPED_TRACE(renderer);
        AppState& s = makeBudgeted(R"({"fps":30,"retinaQuality":true})", percent, renderer);
        clock.advance(30s);
        EXPECT_FALSE(owned->applies());
        EXPECT_EQ(limitsOf("Left"), (ViewLimits{1.0, 30}));
        EXPECT_EQ(s.budgeted({1.0, 60}), (ViewLimits{1.0, 60}));
        EXPECT_FALSE(owned->usage());
    }
}

// The open gallery's pictures get four times the desktop's budget, taking none of it.
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
        load.shareSinceLastAsked();
        for (Duration t{}; t < period; t += 200ms) {
            const ViewLimits limits = s.galleryBudgeted({1.0, 30});
            gallery.qualityScale = limits.scale;
            gallery.fps = limits.fps;
            clock.advance(200ms);
        }
        return load.shareSinceLastAsked();
    };
    draw(20s);
    EXPECT_EQ(limitsOf("Left"), desktop);
    EXPECT_LT(s.galleryBudgeted({1.0, 30}).scale, 1.0);
    EXPECT_NEAR(draw(10s), 1.0, 0.1);
    ASSERT_TRUE(owned->usage());
    EXPECT_NEAR(*owned->usage(), 1.0, 0.1);

    s.setGalleryOpen(false);
    gallery.front = false;
    clock.advance(30s);
    EXPECT_NEAR(shareOver(10s), 0.25, 0.03);
}

}  // namespace
}  // namespace tavel
