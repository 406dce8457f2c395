#pragma once
// A simulated machine: each drawing view draws at its rate unless the cores cannot keep up,
// each frame costing fixed + perPixel x scale^2 CPU seconds of the scheduler's time.

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
        askedAt_ = clock_.now();
        askedCpu_ = cpu_;
        return share;
    }

    double fixed = 0.008;    // the flagship at 1920x1080 on llvmpipe, in round figures
    double perPixel = 0.16;  // at scale 1
    double cores = 2.0;
    double background = 0;                 // the share the rest of the process uses, drawing or not
    const FakeViewState* extra = nullptr;  // one more view to draw (the gallery's)

private:
    void advance() const {
        const double dt = std::chrono::duration<double>(clock_.now() - last_).count();
        if (dt <= 0) return;
        last_ = clock_.now();
        std::vector<const FakeViewState*> all = views_();
        if (extra) all.push_back(extra);
        std::erase_if(all, [](auto* view) { return !view->front || view->paused || view->closed; });
        for (const FakeViewState* view : all) {
            const double cost = fixed + perPixel * view->qualityScale * view->qualityScale;
            const double fps = std::min(double(view->fps), cores / (cost * double(all.size())));
            frames_ += fps * dt;
            cpu_ += fps * dt * cost;
        }
        cpu_ += background * dt;
    }

    const Scheduler& clock_;
    Views views_;
    mutable Duration last_{};
    mutable double frames_ = 0, cpu_ = 0;
    Duration askedAt_{};
    double askedCpu_ = 0;
};

}  // namespace tavel::test
