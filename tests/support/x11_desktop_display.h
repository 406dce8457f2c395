#pragma once
// What the X11 desktop session's two halves share: its screen's size, the launcher's
// colour, and readings of the X display that both its start and its checks need.

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
// The window manager's check window's client; -1 while there is none.
long windowManagerPid(Display* display);
// The desktop program's window (of the desktop type), at the top level or in a window
// manager's frame, and that top-level window; {0, 0} when there is none.
std::pair<Window, Window> desktopWindow(Display* display);
// A panel shows: a mapped client of the dock type.
bool dockShown(Display* display);

}  // namespace tavel::test
