#pragma once
// Keeps the views within a share of the CPU when the GL renderer is a software
// rasteriser, where a full-quality effect would take every core.
//
// Pure logic: it is fed the time, the process's CPU seconds and the frames drawn, and
// answers with the render scale and frame rate the views may use. It moves along a
// ladder of settings, one rung at a time: first lower scales below the user's quality,
// then lower frame rates down to kMinFramesPerSecond. A rung is left downwards when the
// measured share is over the budget, upwards only when the next rung up is predicted to
// stay within it. A rung left for being over is not taken again until the work changes
// (another effect, other limits) or it has been avoided for kForgetOver, twice that after
// the next time, and so on: it never swings between two rungs. Main thread only.

#include "platform/scheduler.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tavel {

// What the views draw at: a fraction of their backing resolution and frames a second.
struct ViewLimits {
    double scale = 1.0;
    std::int64_t fps = 30;
    bool operator==(const ViewLimits&) const = default;
};

class CpuBudgetController {
public:
    static constexpr double kMinScale = 0.25;
    static constexpr std::int64_t kMinFramesPerSecond = 5;
    // Each rung down draws at least 0.9 of the width and height (0.81 of the pixels), or
    // about 0.87 of the frames: fine enough that some rung lands within 10 % of the budget.
    static constexpr double kScaleStep = 0.9;
    static constexpr double kFpsStep = 0.87;
    // The smoothing window of the measure.
    static constexpr Duration kWindow = std::chrono::seconds(3);
    // After a step: how long before the next step down when very far over (kRushOver times
    // the budget), far over (kFastOver times), just over (kOver times), and before a step
    // up. The first measures after a step still hold part of a frame drawn before it, at
    // most one rung costlier: the shorter the hold, the further over it must be for the
    // step to be right whatever that part was.
    static constexpr Duration kRushHold = std::chrono::milliseconds(150);
    static constexpr Duration kFastHold = std::chrono::milliseconds(400);
    static constexpr Duration kHold = std::chrono::milliseconds(1500);
    static constexpr Duration kUpHold = std::chrono::seconds(3);
    static constexpr Duration kForgetOver = std::chrono::seconds(20);
    static constexpr int kMaxForgetDoublings = 5;
    static constexpr double kRushOver = 2.0;
    static constexpr double kFastOver = 1.3;
    static constexpr double kOver = 1.08;
    // A step up is taken when the rung above is predicted at most this times the budget.
    static constexpr double kUpTo = 1.0;

    // `share`: the CPU seconds a second that the views may use together (0.25 is a quarter
    // of one core); must be positive.
    explicit CpuBudgetController(double share);

    double share() const { return share_; }

    // The user's settings: the top rung, never exceeded. New limits keep the views at a
    // rung no costlier than the one they are at (the cost is known only there), and the
    // measure starts again.
    void setUserLimits(ViewLimits user);
    const ViewLimits& userLimits() const { return ladder_.front(); }

    // One measurement: the time, and the CPU seconds used and frames drawn so far. A
    // counter that goes back starts the measure again. May step one rung.
    void sample(Duration now, double cpuSeconds, std::uint64_t frames);
    // Drops what was measured (the views paused, or resumed after a pause): what the
    // process did meanwhile says nothing about the views.
    void restartMeasure();
    // The views draw something else now (another effect, parameters, screens): the
    // costs measured before no longer hold, rungs left for being over may be tried again.
    void workChanged();

    // What the views may use now; never above the user's limits.
    ViewLimits limits() const { return ladder_[step_]; }
    // The rung, 0 at the user's limits, and how many rungs there are.
    std::size_t step() const { return step_; }
    std::size_t steps() const { return ladder_.size(); }
    // The share measured over the current window; none until a window with frames.
    std::optional<double> usage() const { return usage_; }

private:
    struct Sample {
        Duration time;
        double cpu;
        std::uint64_t frames;
    };
    void moveTo(std::size_t step, Duration now);
    bool recentlyOver(std::size_t step, Duration now) const;

    double share_;
    std::vector<ViewLimits> ladder_;
    std::size_t step_ = 0;
    std::deque<Sample> samples_;  // since the last step, at most one window back
    // Per rung: when it was last left for being over, and how often since the work changed.
    struct Over {
        Duration at{};
        int times = 0;
    };
    std::vector<Over> over_;
    std::optional<double> usage_;
};

// The rungs for `user`: the user's limits first, then lower scales down to kMinScale at
// the user's frame rate, then lower frame rates down to kMinFramesPerSecond at the lowest
// scale. Neither ever rises from one rung to the next.
std::vector<ViewLimits> budgetLadder(ViewLimits user);

}  // namespace tavel
