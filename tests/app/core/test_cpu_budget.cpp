// The CPU budget's controller on a simulated machine: effects cost a fixed part plus a
// part per pixel each frame, the views draw at their frame cap unless the cores cannot
// keep up, and the controller samples every 200 ms of simulated time.

#include "platform/cpu_budget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;

constexpr Duration kTick = 200ms;

// CPU seconds per frame: fixed + perPixel x scale^2.
struct Effect {
    const char* name;
    double fixed;
    double perPixel;
    double cost(double scale) const { return fixed + perPixel * scale * scale; }
};

// Measured here for one 1920x1080 monitor on llvmpipe, in round figures.
constexpr Effect kFlagship{"flagship", 0.008, 0.160};
constexpr Effect kMedium{"medium", 0.004, 0.040};
constexpr Effect kCheap{"cheap", 0.002, 0.004};
constexpr Effect kMonstrous{"monstrous", 0.010, 0.600};

// The machine: `cores` free for the process; every tick the views draw what the cap and
// the cores allow, with `jitter` (a fraction) of deterministic noise on each frame's cost.
struct Machine {
    explicit Machine(CpuBudgetController& controller, double freeCores = 2.0, double noise = 0.04)
        : budget(controller), cores(freeCores), jitter(noise) {}

    CpuBudgetController& budget;
    double cores;
    double jitter;
    Duration now{};
    double cpu = 0;
    double frames = 0;
    std::uint64_t ticks = 0;
    std::vector<ViewLimits> changes;  // every limit the controller moved to, in order

    // Runs for `d` drawing `effect`; `drawing` false: the views are paused, nothing drawn.
    void run(Duration d, const Effect& effect, bool drawing = true) {
        for (Duration end = now + d; now < end;) {
            now += kTick;
            ++ticks;
            const ViewLimits limits = budget.limits();
            const double noise = 1.0 + jitter * std::sin(double(ticks) * 2.39996);
            const double cost = effect.cost(limits.scale) * noise;
            const double dt = std::chrono::duration<double>(kTick).count();
            if (drawing) {
                const double fps = std::min(double(limits.fps), cores / cost);
                frames += fps * dt;
                cpu += fps * dt * cost;
            }
            cpu += 0.002 * dt;  // the event loop and the rest of the process
            budget.sample(now, cpu, static_cast<std::uint64_t>(frames));
            if (budget.limits() != limits) changes.push_back(budget.limits());
        }
    }
    // The share the views use at the current limits, without noise.
    double share(const Effect& effect) const {
        const ViewLimits limits = budget.limits();
        const double cost = effect.cost(limits.scale);
        return std::min(double(limits.fps), cores / cost) * cost;
    }
};

struct SettleCase {
    Effect effect;
    double share;
    ViewLimits user;
    Duration within = 10s;
};

void PrintTo(const SettleCase& c, std::ostream* out) {
    *out << c.effect.name << " at " << c.share << " of a core, user " << c.user.scale << " / "
         << c.user.fps << " fps";
}

class CpuBudgetSettles : public ::testing::TestWithParam<SettleCase> {};

// From the user's limits the controller reaches the budget within 10 s (an effect far
// costlier than any we ship: 20 s) and stays there: within 10 % of it, or at the top
// when even that is cheaper, or at the bottom when even that is costlier. Afterwards it
// moves at most one more rung, and never back. It never leaves the user's limits nor
// drops under 5 frames a second.
TEST_P(CpuBudgetSettles, WithinTheBudgetAfterTenSecondsAndStays) {
    const SettleCase& c = GetParam();
    CpuBudgetController budget(c.share);
    budget.setUserLimits(c.user);
    Machine machine(budget);
    auto expectWithinBudget = [&] {
        const double share = machine.share(c.effect);
        if (budget.step() == 0) {
            EXPECT_LE(share, c.share * 1.1);
        } else if (budget.step() + 1 == budget.steps()) {
            EXPECT_GE(share, c.share * 0.9);
        } else {
            EXPECT_NEAR(share, c.share, c.share * 0.1)
                << "scale " << budget.limits().scale << ", " << budget.limits().fps << " fps";
        }
    };
    machine.run(c.within, c.effect);
    expectWithinBudget();
    const std::size_t moves = machine.changes.size();
    machine.run(10min, c.effect);
    expectWithinBudget();
    EXPECT_LE(machine.changes.size(), moves + 1) << "still moving after settling";
    for (const ViewLimits& limits : machine.changes) {
        EXPECT_LE(limits.scale, c.user.scale);
        EXPECT_LE(limits.fps, c.user.fps);
        EXPECT_GE(limits.fps, std::min<std::int64_t>(c.user.fps, 5));
    }
}

INSTANTIATE_TEST_SUITE_P(Effects, CpuBudgetSettles,
                         ::testing::Values(SettleCase{kFlagship, 0.25, {1.0, 30}},
                                           SettleCase{kMedium, 0.25, {1.0, 30}},
                                           SettleCase{kCheap, 0.25, {1.0, 30}},
                                           SettleCase{kMonstrous, 0.25, {1.0, 30}, 20s},
                                           SettleCase{kFlagship, 0.5, {0.5, 60}},
                                           SettleCase{kMedium, 0.1, {1.0, 24}},
                                           SettleCase{kFlagship, 0.25, {1.0, 3}}),
                         [](const auto& info) {
                             return std::string(info.param.effect.name) + "_" +
                                    std::to_string(int(info.param.share * 100)) + "pc_" +
                                    std::to_string(info.param.user.fps) + "fps";
                         });

// The ladder: the user's limits on top, scales first (at the user's rate), then rates
// (at the lowest scale), never rising, each rung at most ~22 % cheaper than the one above.
TEST(CpuBudgetLadder, ScalesBeforeRatesWithinTheUsersLimits) {
    struct Case {
        ViewLimits user;
        double lowestScale;
        std::int64_t lowestFps;
    };
    for (const Case& c :
         {Case{{1.0, 30}, 0.25, 5}, Case{{0.5, 60}, 0.25, 5}, Case{{0.2, 30}, 0.2, 5},
          Case{{1.0, 4}, 0.25, 4}, Case{{1.0, 0}, 0.25, 1}, Case{{1.0, 100000}, 0.25, 5}}) {
        SCOPED_TRACE(std::to_string(c.user.scale) + " " + std::to_string(c.user.fps));
        std::vector<ViewLimits> ladder = budgetLadder(c.user);
        ASSERT_FALSE(ladder.empty());
        EXPECT_EQ(ladder.front().scale, c.user.scale);
        EXPECT_EQ(ladder.front().fps, std::clamp<std::int64_t>(c.user.fps, 1, 240));
        EXPECT_EQ(ladder.back().scale, c.lowestScale);
        EXPECT_EQ(ladder.back().fps, c.lowestFps);
        for (std::size_t i = 1; i < ladder.size(); ++i) {
            const ViewLimits& above = ladder[i - 1];
            const ViewLimits& below = ladder[i];
            EXPECT_TRUE(below.scale <= above.scale && below.fps <= above.fps);
            EXPECT_TRUE(below.scale < above.scale || below.fps < above.fps) << "rung " << i;
            // A lower rate only once the scale is as low as it goes.
            if (below.fps < above.fps) {
                EXPECT_EQ(above.scale, c.lowestScale);
            }
            const double ratio = (above.scale * above.scale * double(above.fps)) /
                                 (below.scale * below.scale * double(below.fps));
            EXPECT_LE(ratio, 1.222) << "rung " << i;
        }
    }
}

// Every change moves exactly one rung, and the rate goes down only after the scale.
TEST(CpuBudget, StepsOneRungAtATimeScaleBeforeRate) {
    CpuBudgetController budget(0.25);
    budget.setUserLimits({1.0, 30});
    const std::vector<ViewLimits> ladder = budgetLadder({1.0, 30});
    Machine machine(budget);
    machine.run(30s, kFlagship);
    ASSERT_FALSE(machine.changes.empty());
    std::size_t at = 0;
    for (const ViewLimits& limits : machine.changes) {
        auto it = std::find(ladder.begin(), ladder.end(), limits);
        ASSERT_NE(it, ladder.end());
        const std::size_t rung = std::size_t(it - ladder.begin());
        EXPECT_EQ(rung > at ? rung - at : at - rung, 1u);
        at = rung;
    }
    // The flagship does not fit at 30 fps at any scale: the scale went all the way down
    // first, then the rate.
    EXPECT_EQ(budget.limits().scale, CpuBudgetController::kMinScale);
    EXPECT_LT(budget.limits().fps, 30);
}

// After a cheaper effect is set the views climb back, to the user's limits when they fit.
TEST(CpuBudget, RecoversWhenTheEffectGetsCheaper) {
    for (const Effect& after : {kCheap, kMedium}) {
        SCOPED_TRACE(after.name);
        CpuBudgetController budget(0.25);
        budget.setUserLimits({1.0, 30});
        Machine machine(budget);
        machine.run(20s, kFlagship);
        const std::size_t heavy = budget.step();
        ASSERT_GT(heavy, 0u);
        budget.workChanged();
        machine.run(2min, after);
        EXPECT_LT(budget.step(), heavy);
        const double share = machine.share(after);
        EXPECT_LE(share, 0.25 * 1.1);
        if (budget.step() > 0) {
            EXPECT_GE(share, 0.25 * 0.75);
        }
    }
    // The cheap effect fits at full quality: all the way back up.
    CpuBudgetController budget(0.25);
    budget.setUserLimits({1.0, 30});
    Machine machine(budget);
    machine.run(20s, kFlagship);
    budget.workChanged();
    machine.run(2min, kCheap);
    EXPECT_EQ(budget.step(), 0u);
    EXPECT_EQ(budget.limits(), (ViewLimits{1.0, 30}));
}

// The user's new limits bound the budget at once; a higher one lets it climb again.
TEST(CpuBudget, NeverAboveTheUsersLimitsWhenTheyChange) {
    CpuBudgetController budget(0.25);
    budget.setUserLimits({1.0, 30});
    Machine machine(budget);
    machine.run(20s, kMedium);
    const ViewLimits settled = budget.limits();
    ASSERT_LT(settled.scale, 1.0);

    budget.setUserLimits({0.5, 10});
    EXPECT_LE(budget.limits().scale, std::min(settled.scale, 0.5));
    EXPECT_LE(budget.limits().fps, 10);
    machine.changes.clear();
    machine.run(1min, kMedium);
    for (const ViewLimits& limits : machine.changes) {
        EXPECT_LE(limits.scale, 0.5);
        EXPECT_LE(limits.fps, 10);
    }

    budget.setUserLimits({1.0, 30});
    machine.run(2min, kCheap);
    EXPECT_EQ(budget.limits(), (ViewLimits{1.0, 30}));
}

// CPU time, not wall time: a machine whose other processes leave the views half a core
// draws fewer frames, but each costs the same; the views end where they would anyway.
TEST(CpuBudget, ABusyMachineDoesNotPushTheViewsDown) {
    CpuBudgetController quiet(0.25), busy(0.25);
    quiet.setUserLimits({1.0, 30});
    busy.setUserLimits({1.0, 30});
    Machine q(quiet);
    Machine b(busy, 0.5);
    q.run(1min, kFlagship);
    b.run(1min, kFlagship);
    EXPECT_LE(busy.step(), quiet.step());
}

// While nothing is drawn (paused or hidden views) nothing moves, whatever the process's
// CPU does; a counter that goes back (views made anew) is no measure either.
TEST(CpuBudget, NoStepsWithoutFrames) {
    CpuBudgetController budget(0.25);
    budget.setUserLimits({1.0, 30});
    Machine machine(budget);
    machine.run(20s, kFlagship);
    const ViewLimits settled = budget.limits();
    budget.restartMeasure();
    machine.run(5min, kFlagship, false);
    EXPECT_EQ(budget.limits(), settled);
    EXPECT_FALSE(budget.usage());

    machine.frames = 0;
    machine.run(1s, kFlagship);
    EXPECT_EQ(budget.limits(), settled);
}

// A rung that proves costlier than predicted (here: the cost jumps above scale 0.5) is
// left and then avoided ever longer: no swinging between it and the rung below.
TEST(CpuBudget, ARungLeftForBeingOverIsRetriedEverMoreRarely) {
    CpuBudgetController budget(0.25);
    budget.setUserLimits({1.0, 30});
    // Cheap at scale 0.5 and below, far costlier above: the pixel model cannot see it.
    Effect cliff{"cliff", 0.0, 0.0};
    Machine machine(budget, 2.0, 0.0);
    std::vector<Duration> visits;  // when the views went above the cliff again
    bool above = false;
    for (int i = 0; i < 15 * 60 * 5; ++i) {
        const bool nowAbove = budget.limits().scale > 0.5;
        cliff.fixed = nowAbove ? 0.03 : 0.005;
        if (nowAbove && !above && machine.now > 20s) visits.push_back(machine.now);
        above = nowAbove;
        machine.run(kTick, cliff);
    }
    ASSERT_GE(visits.size(), 2u) << "never tried the costlier rung again";
    EXPECT_LE(visits.size(), 6u);
    for (std::size_t i = 2; i < visits.size(); ++i)
        EXPECT_GT(visits[i] - visits[i - 1], visits[i - 1] - visits[i - 2]);
}

}  // namespace
}  // namespace tavel
