#pragma once
// The screen's top-level windows in stacking order, read from the server for the
// coverage rule.

#include "platform/x11/x11_coverage_rule.h"

#include <X11/Xlib.h>

#include <optional>
#include <vector>

namespace tavel {

class X11Connection;

// Main thread; several round trips per window. With a window manager that announces
// itself (a live _NET_SUPPORTING_WM_CHECK window) and lists its clients on the root
// (_NET_CLIENT_LIST_STACKING), bottom to top in the server's order: those clients, each at
// its frame's place with its _NET_WM_STATE and its frame (the client's rectangle widened
// by _NET_FRAME_EXTENTS), and of the other root children only those in `own` (windows of
// ours the manager does not stack). Without such a manager: nothing, as every desktop
// session runs one. Input-only windows are left out. Windows that vanish meanwhile are
// left out or read as unviewable; call it under an X11ErrorCatch claiming
// X11ErrorCatch::windowGone, as their owners may destroy them any time.
std::vector<StackedWindow> readWindowStack(X11Connection& connection,
                                           const std::vector<Window>& own = {});

// The items of a 32-bit property of `type` on `window` (Xlib hands them out as longs), at
// most `most`; nothing when it is missing or of another type.
std::optional<std::vector<unsigned long>> propertyItems(Display* display, Window window, Atom name,
                                                        Atom type, long most);

// The running window manager's check window: _NET_SUPPORTING_WM_CHECK on the root, naming
// a window that names itself (one that died leaves the root's behind); None without one.
Window windowManagerCheck(X11Connection& connection);

// The child of the root that holds `window` (its manager's frame, or itself); None when
// it is gone.
Window topLevelOf(Display* display, Window root, Window window);

}  // namespace tavel
