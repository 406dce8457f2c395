#include "platform/x11/x11_render_services.h"

#include "platform/x11/scheduler_frame_timer.h"

#include <chrono>
#include <random>

namespace tavel {

ShaderViewServices X11RenderServices::viewServices() const {
    Scheduler& loop = scheduler;
    return ShaderViewServices{
        compiler,
        renderer,
        std::make_unique<SchedulerFrameTimer>(scheduler),
        [&loop] { return std::chrono::duration<double>(loop.now()).count(); },
        [seed = std::random_device{}()] {
            std::mt19937 engine(seed);
            return std::uniform_real_distribution<double>(0.0, 100.0)(engine);
        },
        log,
    };
}

}  // namespace tavel
