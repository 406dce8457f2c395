#pragma once
// The running application: the desktop on X11, the single instance on the session bus,
// power and sleep from the system bus, and the main loop until quit or a signal.

#include "effects/log_sink.h"

namespace tavel {

// Runs until `tavel quit`, SIGTERM or SIGINT; returns the exit status. Without an X
// display: one line on standard error and 1. When another instance runs: activates it
// and returns 0. The gallery opens at start unless `background` (started at login).
int runApplication(LogSink& log, bool background = false);

}  // namespace tavel
