#pragma once
// The status bar menu of the running application, built from the application state each
// time the panel is about to open it:
//
//   Open Tavel…            Ctrl+O   the caller's openGallery
//   ─────────
//   <category> ▸ <effect>…          pickShader (checked: the effect on all displays)
//   ─────────
//   Shuffle Now            Ctrl+S   AppState::shuffleNow
//   Pause | Resume         Ctrl+P   AppState::togglePaused
//   ─────────
//   Quit Tavel             Ctrl+Q   the caller's quit
//
// Hand buildStatusMenu to StatusNotifierItem as its menu provider. The actions refer to
// `state` and to the callbacks: both must outlive the menu's actions (the item posts them
// to the main queue). Main thread only.

#include "app/core/app_state.h"
#include "platform/status_item.h"

#include <functional>
#include <string>
#include <vector>

namespace tavel {

struct StatusMenuCallbacks {
    std::function<void()> openGallery;  // shows the gallery window
    std::function<void()> quit;         // ends the application
};

std::vector<StatusMenuItem> buildStatusMenu(AppState& state, const StatusMenuCallbacks& callbacks);

// The effect `id` on every display: three separate writes of the settings (all displays
// the same, no per-display choices, the global effect), each running the settings
// reaction. The gallery's display target and browse position stay as they are.
void pickShader(AppState& state, const std::string& id);

}  // namespace tavel
