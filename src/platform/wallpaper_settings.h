#pragma once
// The desktop's own background settings, opened for the user (the lock-screen guide and
// the settings pane offer it).

#include "platform/desktop_picture.h"

#include <functional>
#include <string>
#include <vector>

namespace tavel {

// The commands that open the background settings of that desktop, in the order to try;
// none for a desktop without such a page (sway, a bare X11 session).
std::vector<std::vector<std::string>> wallpaperSettingsCommands(PictureSetter desktop);

// Starts the first of `commands` that is installed, without waiting for it; false when
// none could be started. `start` starts one command and says whether it could.
bool openWallpaperSettings(const std::vector<std::vector<std::string>>& commands,
                           const std::function<bool(const std::vector<std::string>&)>& start);

// Starts a program (searched on $PATH) with the arguments `command` and leaves it running
// on its own; false when it is not installed or cannot be started. Any thread.
bool startDetached(const std::vector<std::string>& command);

}  // namespace tavel
