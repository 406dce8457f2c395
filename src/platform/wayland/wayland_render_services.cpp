#include "platform/wayland/wayland_render_services.h"

#include <chrono>
#include <random>

namespace tavel {

ShaderViewServices WaylandRenderServices::viewServices(FramePacer& pacer) const {
    Scheduler& loop = scheduler;
    return ShaderViewServices{
        compiler,
        renderer,
        std::make_unique<PacedFrameTimer>(scheduler, pacer),
        [&loop] { return std::chrono::duration<double>(loop.now()).count(); },
        [seed = std::random_device{}()] {
            std::mt19937 engine(seed);
            return std::uniform_real_distribution<double>(0.0, 100.0)(engine);
        },
        log,
    };
}

}  // namespace tavel
