#include "platform/cpu_budget.h"

#include <algorithm>
#include <cmath>

namespace tavel {

namespace {

// The same bounds as the views' own: at least one frame a second, at most 240.
constexpr std::int64_t kMaxFramesPerSecond = 240;

double seconds(Duration d) {
    return std::chrono::duration<double>(d).count();
}

// What a rung costs relative to another, by the pixels and frames drawn. Fixed costs
// (the stretch to the window, presenting) make a larger picture cost less than its
// pixels say, so going up this predicts too much, never too little.
double costRatio(const ViewLimits& to, const ViewLimits& from) {
    double scale = to.scale / from.scale;
    return scale * scale * double(to.fps) / double(from.fps);
}

}  // namespace

std::vector<ViewLimits> budgetLadder(ViewLimits user) {
    // A scale outside (0, 1] is no quality anybody set: full resolution is the most a
    // view draws, nothing is never right.
    if (!(user.scale > 0.0) || user.scale > 1.0) user.scale = 1.0;
    user.fps = std::clamp<std::int64_t>(user.fps, 1, kMaxFramesPerSecond);
    std::vector<ViewLimits> ladder{user};
    // Evenly spaced from the user's scale down to the floor, each at most kScaleStep of
    // the one above.
    const double floor = CpuBudgetController::kMinScale;
    if (user.scale > floor) {
        const int rungs = static_cast<int>(
            std::ceil(std::log(floor / user.scale) / std::log(CpuBudgetController::kScaleStep)));
        const double step = std::pow(floor / user.scale, 1.0 / rungs);
        for (int i = 1; i < rungs; ++i)
            ladder.push_back({user.scale * std::pow(step, i), user.fps});
        ladder.push_back({floor, user.fps});
    }
    const double scale = ladder.back().scale;
    for (std::int64_t f = user.fps; f > CpuBudgetController::kMinFramesPerSecond;) {
        f = std::min<std::int64_t>(f - 1, std::llround(double(f) * CpuBudgetController::kFpsStep));
        f = std::max(f, CpuBudgetController::kMinFramesPerSecond);
        ladder.push_back({scale, f});
    }
    return ladder;
}

CpuBudgetController::CpuBudgetController(double share)
    : share_(share), ladder_(budgetLadder({})), over_(ladder_.size()) {}

void CpuBudgetController::setUserLimits(ViewLimits user) {
    std::vector<ViewLimits> ladder = budgetLadder(user);
    if (ladder == ladder_) return;
    const ViewLimits now = limits();
    ladder_ = std::move(ladder);
    // The first rung that costs no more than the current one in either measure; the
    // bottom rung when none does (the user's own limits are lower still there).
    step_ = ladder_.size() - 1;
    for (std::size_t i = 0; i < ladder_.size(); ++i) {
        if (ladder_[i].scale <= now.scale + 1e-9 && ladder_[i].fps <= now.fps) {
            step_ = i;
            break;
        }
    }
    over_.assign(ladder_.size(), Over{});
    restartMeasure();
}

void CpuBudgetController::restartMeasure() {
    samples_.clear();
    usage_.reset();
}

void CpuBudgetController::workChanged() {
    std::fill(over_.begin(), over_.end(), Over{});
    restartMeasure();
}

void CpuBudgetController::moveTo(std::size_t step, Duration now) {
    step_ = step;
    // The next window starts here: what came before was drawn at the old rung.
    Sample last = samples_.back();
    samples_.clear();
    samples_.push_back({now, last.cpu, last.frames});
}

bool CpuBudgetController::recentlyOver(std::size_t step, Duration now) const {
    const Over& over = over_[step];
    if (over.times == 0) return false;
    const int doublings = std::min(over.times - 1, kMaxForgetDoublings);
    return now - over.at < kForgetOver * (1 << doublings);
}

void CpuBudgetController::sample(Duration now, double cpuSeconds, std::uint64_t frames) {
    if (!samples_.empty()) {
        const Sample& last = samples_.back();
        if (now <= last.time) return;
        // A counter that went back (views made anew): nothing to compare with.
        if (frames < last.frames || cpuSeconds < last.cpu) samples_.clear();
    }
    samples_.push_back({now, cpuSeconds, frames});
    // Keep the newest sample at least a window old as the window's start.
    while (samples_.size() > 2 && samples_[1].time <= now - kWindow) samples_.pop_front();
    if (samples_.size() < 2) return;

    const Sample& first = samples_.front();
    const double span = seconds(now - first.time);
    const std::uint64_t drawn = frames - first.frames;
    // Without frames the CPU was not the views' (they are hidden or still compiling).
    if (drawn < 2) return;
    const double usage = (cpuSeconds - first.cpu) / span;
    usage_ = usage;
    const Duration held = now - first.time;

    const bool over = (usage > kRushOver * share_ && held >= kRushHold) ||
                      (usage > kFastOver * share_ && held >= kFastHold) ||
                      (usage > kOver * share_ && held >= kHold);
    if (over && step_ + 1 < ladder_.size()) {
        over_[step_].at = now;
        ++over_[step_].times;
        moveTo(step_ + 1, now);
        return;
    }
    if (step_ > 0 && held >= kUpHold && !recentlyOver(step_ - 1, now) &&
        usage * costRatio(ladder_[step_ - 1], ladder_[step_]) <= kUpTo * share_)
        moveTo(step_ - 1, now);
}

}  // namespace tavel
