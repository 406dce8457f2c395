#pragma once
// What the X11 windows that hold effect views share: the connection, the one GLX
// context, the program compiler, the frame renderer, the main loop, the log and (when
// given) the watcher of other windows covering the desktop and the keeper of the
// desktop windows' place. All of them outlive every window made with them. Main thread
// only.

#include "effects/log_sink.h"
#include "effects/shader_view.h"
#include "platform/scheduler.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_coverage.h"
#include "platform/x11/x11_desktop_program.h"

namespace tavel {

struct X11RenderServices {
    X11Connection& connection;
    GlxContext& context;
    ProgramCompiler& compiler;
    FrameRenderer& renderer;
    Scheduler& scheduler;
    LogSink& log;
    X11CoverageWatcher* coverage = nullptr;
    // Keeps the desktop windows next to the desktop program's (when given).
    X11DesktopStackKeeper* stacking = nullptr;

    // A view's services: a frame timer on the main loop, the loop's clock, a random
    // start time of its own.
    ShaderViewServices viewServices() const;
};

}  // namespace tavel
