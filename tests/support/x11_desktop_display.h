#pragma once
// What the X11 desktop session's two halves share: its screen's size, the launcher's
// colour, and readings of the X display.

#include "support/x11_desktop_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <utility>

namespace tavel::test {

constexpr int kWidth = 1280, kHeight = 720;
constexpr std::uint32_t kLauncherColour = 0xff00ff;  // the launcher's icon, a square

// The process of the X client that made `window` (X-Resource extension); -1 if unknown.
long pidOf(Display* display, Window window);
long windowManagerPid(Display* display);  // -1 while there is none
// The desktop program's window, at the top level or in a frame, and that top-level window.
std::pair<Window, Window> desktopWindow(Display* display);
bool dockShown(Display* display);  // a mapped client of the dock type

}  // namespace tavel::test
