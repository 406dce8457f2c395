#include "platform/x11/x11_render_services.h"

#include "platform/x11/scheduler_frame_timer.h"

#include <chrono>

namespace tavel {

ShaderViewServices X11RenderServices::viewServices() const {
    Scheduler& loop = scheduler;
    return ShaderViewServices{
        compiler,
        renderer,
        std::make_unique<SchedulerFrameTimer>(scheduler),
        [&loop] { return std::chrono::duration<double>(loop.now()).count(); },
        randomStartTime,
        log,
    };
}

}  // namespace tavel
