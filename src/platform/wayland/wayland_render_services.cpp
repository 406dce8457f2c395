#include "platform/wayland/wayland_render_services.h"

#include <chrono>

namespace tavel {

ShaderViewServices WaylandRenderServices::viewServices(FramePacer& pacer) const {
    Scheduler& loop = scheduler;
    return ShaderViewServices{
        compiler,
        renderer,
        std::make_unique<PacedFrameTimer>(scheduler, pacer),
        [&loop] { return std::chrono::duration<double>(loop.now()).count(); },
        randomStartTime,
        log,
    };
}

}  // namespace tavel
