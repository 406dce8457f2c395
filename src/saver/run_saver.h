#pragma once
// halvane's run: the window, the GL context and program library, the view and the
// 30-frames-a-second tick that draws it, on one main loop.

#include "effects/log_sink.h"
#include "saver/saver_arguments.h"

namespace tavel {

// Runs until SIGTERM or SIGINT (status 0), until the window is gone (one line for
// `log`, status 0) or its own window is closed (status 0). What stops it from starting
// (no display, no such window, no OpenGL) is one line on standard error, status 1.
int runSaver(const SaverTarget& target, LogSink& log);

}  // namespace tavel
