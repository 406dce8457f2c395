#pragma once
// The text `tavel status` prints about the running instance.

#include "app/core/app_state.h"
#include "app/integration/idle_saver.h"
#include "app/integration/live_lock_video.h"
#include "platform/process_activity_ledger.h"

#include <string>

namespace tavel {

struct StatusSources {
    const AppState& state;
    const IdleSaver& saver;
    const ProcessActivityLedger& activity;
    const LiveLockVideo* lockVideo = nullptr;  // null: this build has none
    std::size_t programsCompiled = 0;
    std::string gallery = "unavailable";  // the gallery window's state, as said
};

// Effect, frame count and drawing state per display; whether the views are paused and
// why; the process activity; the idle saver's state; the lock-screen video job; the
// registration at login; how many effect programs were compiled; the gallery window;
// the accent colour.
// Main thread.
std::string statusReport(const StatusSources& sources);

}  // namespace tavel
