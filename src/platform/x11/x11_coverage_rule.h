#pragma once
// Whether the windows above a wallpaper window hide one monitor's rectangle: the rule
// alone, on a snapshot of the stacking order, so that it holds no server state.

#include "platform/x11/pixel_rect.h"

#include <X11/Xlib.h>

#include <vector>

namespace tavel {

// One top-level window as the rule sees it.
struct StackedWindow {
    Window id = None;
    PixelRect frame;          // outer rectangle in root pixels, the manager's frame included
    bool viewable = false;    // mapped, with every ancestor
    bool hidden = false;      // minimised (_NET_WM_STATE_HIDDEN)
    bool fullscreen = false;  // _NET_WM_STATE_FULLSCREEN
    bool maximized = false;   // both _NET_WM_STATE_MAXIMIZED_VERT and _HORZ
    bool seeThrough = false;  // a desktop program's icons on an alpha channel
};

// Whether `rect` counts as covered: a window above `own` in `stack` (bottom to top),
// not one of `ignored`, viewable, not hidden and not see-through, either holds all of `rect` or is
// full-screen or maximised with the centre of its frame in `rect` (a maximised window
// leaves panels uncovered, yet it hides the desktop of its monitor). When `own` is not
// in `stack`, every window there counts as above it: a wallpaper belongs at the bottom.
bool rectCovered(const PixelRect& rect, Window own, const std::vector<StackedWindow>& stack,
                 const std::vector<Window>& ignored);

}  // namespace tavel
