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

// Effect, frame count, drawing state and what draws it (Tavel's own window, Plasma's
// wallpaper plugin) per display; whether the views are paused and
// why; the CPU budget (the renderer, the views' scale and frame rate, the share used);
// the process activity; the idle saver's state; the lock-screen video job; the
// registration at login; how many effect programs were compiled; the gallery window;
// the accent colour.
// Main thread.
std::string statusReport(const StatusSources& sources);

// The CPU budget's line: "cpu budget: 25% of a core (llvmpipe …), views at scale 0.50,
// 12 fps, using 24%", or why there is none.
std::string budgetStatus(const RenderBudget* budget, ViewLimits views);
// 25 -> "25%", 12.5 -> "12.5%".
std::string percentText(double percent);

}  // namespace tavel
