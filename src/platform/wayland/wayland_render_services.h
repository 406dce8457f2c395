#pragma once
// What the Wayland windows that hold effect views share: the connection, the one EGL
// context, the program compiler, the frame renderer, the main loop and the log. All of
// them outlive every window made with them. Main thread only.

#include "effects/log_sink.h"
#include "effects/shader_view.h"
#include "platform/scheduler.h"
#include "platform/wayland/egl_context.h"
#include "platform/wayland/frame_pacer.h"
#include "platform/wayland/wayland_connection.h"

namespace tavel {

struct WaylandRenderServices {
    WaylandConnection& connection;
    EglContext& context;
    ProgramCompiler& compiler;
    FrameRenderer& renderer;
    Scheduler& scheduler;
    LogSink& log;

    // A view's services: a frame timer paced by `pacer` (which outlives the view), the
    // loop's clock, a random start time of its own.
    ShaderViewServices viewServices(FramePacer& pacer) const;
};

}  // namespace tavel
