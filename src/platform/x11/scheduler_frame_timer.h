#pragma once
// A view's frame timer as a repeating timer of the main loop. Main thread only.

#include "effects/shader_view.h"
#include "platform/scheduler.h"

namespace tavel {

class SchedulerFrameTimer final : public FrameTimer {
public:
    explicit SchedulerFrameTimer(Scheduler& scheduler) : scheduler_(scheduler) {}

    // Replaces a running timer. A rate that is not a positive number draws once a second.
    void start(double framesPerSecond, std::function<void()> tick) override;
    void stop() override { timer_.cancel(); }

private:
    Scheduler& scheduler_;
    TimerHandle timer_;
};

}  // namespace tavel
