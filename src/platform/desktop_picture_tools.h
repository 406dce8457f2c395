#pragma once
// Desktop pictures set through the desktops' own tools (gsettings, kwriteconfig,
// xfconf-query). Where Tavel draws the desktop live through the compositor (sway's layer
// surfaces, Plasma's wallpaper plugin) only the lock screen gets the still: Plasma's own
// lock-screen image, and for sway's lockers the stable link beside the stills.

#include "platform/desktop_picture.h"
#include "platform/process_runner.h"

#include <memory>

namespace tavel {

// The setter for one of the tool-using kinds (not X11Root or Unsupported); `runner` must
// outlive it. Values that a tool parses are quoted for that tool: GVariant text for
// gsettings, percent-encoded file URIs where the key holds a URI.
std::unique_ptr<DesktopPicture> makeToolPicture(PictureSetter setter, ProcessRunner& runner);

}  // namespace tavel
