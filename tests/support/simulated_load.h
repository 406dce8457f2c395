#pragma once
// A RenderLoad that simulates the machine the views draw on: each drawing view (front,
// not paused, not closed) draws at its frame rate, unless the cores cannot keep up, and
// each frame costs fixed + perPixel x scale^2 CPU seconds. Time is the scheduler's.

#include "platform/render_load.h"
#include "platform/scheduler.h"
#include "support/fakes.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace tavel::test {

class SimulatedLoad final : public RenderLoad {
public:
    using Views = std::function<std::vector<const FakeViewState*>()>;
    SimulatedLoad(const Scheduler& clock, Views views) : clock_(clock), views_(std::move(views)) {}

    double cpuSeconds() const override {
        advance();
        return cpu_;
    }
    std::uint64_t framesDrawn() const override {
        advance();
        return static_cast<std::uint64_t>(frames_);
    }
    // The share of one core used since the last call.
    double shareSinceLastAsked() {
        advance();
        const double seconds = std::chrono::duration<double>(clock_.now() - askedAt_).count();
        const double share = seconds > 0 ? (cpu_ - askedCpu_) / seconds : 0.0;
        askedAt_ = clock_.now(), askedCpu_ = cpu_;
        return share;
    }

    double fixed = 0.008;    // the flagship at 1920x1080 on llvmpipe, in round figures
    double perPixel = 0.16;  // at scale 1
    double cores = 2.0;
    const FakeViewState* extra = nullptr;  // one more view to draw (the gallery's)

private:
    // What was drawn since the last look, at the views' settings now.
    void advance() const {
        const Duration now = clock_.now();
        const double dt = std::chrono::duration<double>(now - last_).count();
        last_ = now;
        std::vector<const FakeViewState*> drawing, all = views_();
        if (extra) all.push_back(extra);
        for (const FakeViewState* view : all)
            if (view->front && !view->paused && !view->closed) drawing.push_back(view);
        for (const FakeViewState* view : drawing) {
            const double cost = fixed + perPixel * view->qualityScale * view->qualityScale;
            const double fps = std::min(double(view->fps), cores / (cost * double(drawing.size())));
            frames_ += fps * dt;
            cpu_ += fps * dt * cost;
        }
    }

    const Scheduler& clock_;
    Views views_;
    mutable Duration last_{};
    mutable double frames_ = 0;
    mutable double cpu_ = 0;
    Duration askedAt_{};
    double askedCpu_ = 0;
};

}  // namespace tavel::test
