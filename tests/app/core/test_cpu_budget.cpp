// The CPU budget's controller on a simulated machine, sampled every 200 ms of the manual clock.

#include "platform/cpu_budget.h"

#include "support/manual_scheduler.h"
#include "support/simulated_load.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavel {
namespace {

using namespace std::chrono_literals;

// CPU seconds per frame at 1920x1080 on llvmpipe, in round figures: fixed + perPixel x scale^2.
struct Effect {
    const char* name;
    double fixed, perPixel;
};
constexpr Effect kFlagship{"flagship", 0.008, 0.160}, kMedium{"medium", 0.004, 0.040},
    kCheap{"cheap", 0.002, 0.004}, kMonstrous{"monstrous", 0.010, 0.600};

struct Machine {
    test::ManualScheduler clock;
    test::FakeViewState view;
    test::SimulatedLoad load{clock, [this] { return std::vector{&std::as_const(view)}; }};
    CpuBudgetController budget;
    std::vector<ViewLimits> changes;  // every limit the controller moved to, in order
    std::uint64_t framesBefore = 0;   // frames of views made before, not counted

    Machine(double share, ViewLimits user, double cores = 2, double jitter = 0.04) : budget(share) {
        budget.setUserLimits(user);
        load.cores = cores;
        load.jitter = jitter;
        load.background = 0.002;
        view.front = true;
    }
    void use(const Effect& effect) { load.fixed = effect.fixed, load.perPixel = effect.perPixel; }
    void run(Duration d, bool drawing = true) {
        for (Duration end = clock.now() + d; clock.now() < end;) {
            const ViewLimits limits = budget.limits();
            view.qualityScale = limits.scale;
            view.fps = limits.fps;
            view.paused = !drawing;
            clock.advance(200ms);
            budget.sample(clock.now(), load.cpuSeconds(), load.framesDrawn() - framesBefore);
            if (budget.limits() != limits) changes.push_back(budget.limits());
        }
    }
};

struct SettleCase {
    Effect effect;
    double share;
    ViewLimits user;
    Duration within = 10s;
    double cores = 2;
    const Effect* before = nullptr;
    ViewLimits beforeUser{1.0, 30};  // with `before`: drawn 20 s at these, then a change
};

class CpuBudgetSettles : public ::testing::TestWithParam<SettleCase> {};

// Within 10 % of the budget in time, then at most one more move, each one rung of the ladder.
TEST_P(CpuBudgetSettles, WithinTheBudgetInTimeAndStays) {
    const SettleCase& c = GetParam();
    Machine m(c.share, c.before ? c.beforeUser : c.user, c.cores);
    if (c.before) {
        m.use(*c.before);
        m.run(20s);
        const ViewLimits was = m.budget.limits();
        m.budget.setUserLimits(c.user);
        if (c.before->name != c.effect.name) m.budget.workChanged();
        EXPECT_LE(m.budget.limits().scale, std::min(was.scale, c.user.scale));
        EXPECT_LE(m.budget.limits().fps, std::min(was.fps, c.user.fps));
        m.changes.clear();
    }
    m.use(c.effect);
    const std::vector<ViewLimits> ladder = budgetLadder(c.user);
    std::size_t at = m.budget.step();
    // Climbing back, the prediction errs high: it may stop a rung short.
    const double low = c.before ? 0.75 : 0.9;
    auto expectWithinBudget = [&] {
        const double share = m.load.share();
        if (m.budget.step() > 0) {
            EXPECT_GE(share, c.share * low) << "rung " << m.budget.step();
        }
        if (m.budget.step() + 1 < m.budget.steps()) {
            EXPECT_LE(share, c.share * 1.1) << "rung " << m.budget.step();
        }
    };
    m.run(c.within);
    expectWithinBudget();
    const std::size_t moves = m.changes.size();
    m.run(10min);
    expectWithinBudget();
    EXPECT_LE(m.changes.size(), moves + 1) << "still moving after settling";
    for (const ViewLimits& limits : m.changes) {
        const auto rung = std::size_t(std::ranges::find(ladder, limits) - ladder.begin());
        ASSERT_LT(rung, ladder.size());
        EXPECT_EQ(std::max(rung, at) - std::min(rung, at), 1u);
        at = rung;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Effects, CpuBudgetSettles,
    ::testing::Values(SettleCase{kFlagship, 0.25, {1.0, 30}}, SettleCase{kMedium, 0.25, {1.0, 30}},
                      SettleCase{kCheap, 0.25, {1.0, 30}},
                      SettleCase{kMonstrous, 0.25, {1.0, 30}, 20s},
                      SettleCase{kFlagship, 0.5, {0.5, 60}}, SettleCase{kMedium, 0.1, {1.0, 24}},
                      SettleCase{kFlagship, 0.25, {1.0, 3}},
                      // With half a core free frames are fewer, not dearer.
                      SettleCase{kFlagship, 0.25, {1.0, 30}, 1min, 0.5},
                      // Climbing back once the effect is cheaper.
                      SettleCase{kCheap, 0.25, {1.0, 30}, 2min, 2, &kFlagship},
                      SettleCase{kMedium, 0.25, {1.0, 30}, 2min, 2, &kFlagship},
                      // The user's limits lowered, then raised again.
                      SettleCase{kMedium, 0.25, {0.5, 10}, 1min, 2, &kMedium},
                      SettleCase{kCheap, 0.25, {1.0, 30}, 2min, 2, &kMedium, {0.5, 10}}),
    [](const auto& info) { return std::to_string(info.index); });

// The user's limits on top, then scales, then rates; each rung at most ~22 % cheaper.
TEST(CpuBudgetLadder, ScalesBeforeRatesWithinTheUsersLimits) {
    // The user's limits, then the lowest rung.
    const std::pair<ViewLimits, ViewLimits> cases[] = {
        {{1.0, 30}, {0.25, 5}}, {{0.5, 60}, {0.25, 5}}, {{0.2, 30}, {0.2, 5}},
        {{1.0, 4}, {0.25, 4}},  {{1.0, 0}, {0.25, 1}},  {{1.0, 100000}, {0.25, 5}}};
    for (const auto& [user, lowest] : cases) {
        SCOPED_TRACE(std::to_string(user.scale) + " " + std::to_string(user.fps));
        std::vector<ViewLimits> ladder = budgetLadder(user);
        ASSERT_FALSE(ladder.empty());
        EXPECT_EQ(ladder.front(),
                  (ViewLimits{user.scale, std::clamp<std::int64_t>(user.fps, 1, 240)}));
        EXPECT_EQ(ladder.back(), lowest);
        for (std::size_t i = 1; i < ladder.size(); ++i) {
            const ViewLimits &above = ladder[i - 1], &below = ladder[i];
            EXPECT_TRUE(below.scale <= above.scale && below.fps <= above.fps);
            EXPECT_TRUE(below.scale < above.scale || below.fps < above.fps) << "rung " << i;
            if (below.fps < above.fps) {
                EXPECT_EQ(above.scale, lowest.scale) << "rung " << i;
            }
            const double ratio = (above.scale * above.scale * double(above.fps)) /
                                 (below.scale * below.scale * double(below.fps));
            EXPECT_LE(ratio, 1.222) << "rung " << i;
        }
    }
}

// No frames, or a frame counter that went back (views made anew), measure nothing.
TEST(CpuBudget, NoStepsWithoutFrames) {
    Machine m(0.25, {1.0, 30});
    m.use(kFlagship);
    m.run(20s);
    const ViewLimits settled = m.budget.limits();
    m.budget.restartMeasure();
    m.run(5min, false);
    EXPECT_EQ(m.budget.limits(), settled);
    EXPECT_FALSE(m.budget.usage());
    m.framesBefore = m.load.framesDrawn();
    m.run(1s);
    EXPECT_EQ(m.budget.limits(), settled);
}

// A rung costlier than predicted (a jump above scale 0.5) is retried ever more rarely.
TEST(CpuBudget, ARungLeftForBeingOverIsRetriedEverMoreRarely) {
    Machine m(0.25, {1.0, 30}, 2, 0);
    m.use({"cliff", 0, 0});
    std::vector<Duration> visits;  // when the views went above the cliff again
    bool above = false;
    for (int i = 0; i < 15 * 60 * 5; ++i) {
        const bool nowAbove = m.budget.limits().scale > 0.5;
        m.load.fixed = nowAbove ? 0.03 : 0.005;
        if (nowAbove && !above && m.clock.now() > 20s) visits.push_back(m.clock.now());
        above = nowAbove;
        m.run(200ms);
    }
    ASSERT_GE(visits.size(), 2u) << "never tried the costlier rung again";
    EXPECT_LE(visits.size(), 6u);
    for (std::size_t i = 2; i < visits.size(); ++i)
        EXPECT_GT(visits[i] - visits[i - 1], visits[i - 1] - visits[i - 2]);
}

}  // namespace
}  // namespace tavel
