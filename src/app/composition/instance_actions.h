#pragma once
// The actions other processes may run on the application (through the session bus):
// what each does to the application state, and how its arguments are checked.

#include "app/core/app_state.h"
#include "platform/result.h"

#include <string>
#include <vector>

namespace tavel {

// "set" with [id] or [id, display key]: the effect for every display, or for one listed
// display (which then becomes the current target, as when chosen in the gallery).
// A failure says why the arguments are refused.
Result<void> setEffectAction(AppState& state, const std::vector<std::string>& arguments);

// "pause" and "resume": the user's pause switch, set rather than toggled.
void setPausedAction(AppState& state, bool paused);

}  // namespace tavel
