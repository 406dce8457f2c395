#pragma once
// The running application: the desktop on X11, the single instance on the session bus,
// power and sleep from the system bus, and the main loop until quit or a signal.

#include "effects/log_sink.h"

namespace tavel {

struct ApplicationOptions {
    // The gallery stays closed at start (started at login).
    bool background = false;
    // Of one core, for all on-screen views together when OpenGL is a software
    // rasteriser; 0: no budget.
    double cpuBudgetPercent = 25;
};

// Runs until `tavel quit`, SIGTERM or SIGINT; returns the exit status. Without an X
// display: one line on standard error and 1. When another instance runs: activates it
// and returns 0.
int runApplication(LogSink& log, const ApplicationOptions& options = {});

}  // namespace tavel
