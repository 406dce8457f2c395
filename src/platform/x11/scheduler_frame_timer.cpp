#include "platform/x11/scheduler_frame_timer.h"

#include <chrono>

namespace tavel {

void SchedulerFrameTimer::start(double framesPerSecond, std::function<void()> tick) {
    timer_.cancel();
    double fps = framesPerSecond > 0.0 ? framesPerSecond : 1.0;  // also catches NaN
    auto interval = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(1.0 / fps));
    if (interval <= Duration::zero()) interval = Duration(1);
    timer_ = scheduler_.scheduleRepeating(interval, std::move(tick));
}

}  // namespace tavel
