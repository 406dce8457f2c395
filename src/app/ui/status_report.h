#pragma once
// The text `tavel status` prints about the running instance.

#include "app/core/app_state.h"
#include "app/integration/idle_saver.h"
#include "platform/process_activity_ledger.h"

#include <string>

namespace tavel {

// Effect, frame count and drawing state per display; whether the views are paused and
// why; the process activity; the idle saver's state; how many effect programs were
// compiled. Main thread.
std::string statusReport(const AppState& state, const IdleSaver& saver,
                         const ProcessActivityLedger& activity, std::size_t programsCompiled);

}  // namespace tavel
