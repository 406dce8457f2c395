#pragma once
// What a frameless window asks of the window manager and the X server: moves and
// resizes the manager carries out (_NET_WM_MOVERESIZE), taskbar presence, and a
// rounded outline. Works on any connection and window (the gallery's are GLFW's).
// Main thread of that connection.

#include <X11/Xlib.h>

namespace tavel {

// _NET_WM_MOVERESIZE directions.
enum class WindowDrag {
    sizeTopLeft = 0,
    sizeTop = 1,
    sizeTopRight = 2,
    sizeRight = 3,
    sizeBottomRight = 4,
    sizeBottom = 5,
    sizeBottomLeft = 6,
    sizeLeft = 7,
    move = 8,
};

// Hands the pointer to the window manager, which moves or resizes `window` while
// `button` stays pressed; (rootX, rootY) is where the pointer went down.
void beginWindowDrag(Display* display, Window window, WindowDrag drag, int rootX, int rootY,
                     int button);

// Whether the window appears in taskbars and pagers (_NET_WM_STATE_SKIP_TASKBAR and
// _SKIP_PAGER): set on the window for the next map, and asked of the manager when mapped.
void setShownInTaskbar(Display* display, Window window, bool shown);

// Clips the window to a rectangle with corners of `radius` pixels (the X server's SHAPE
// extension: no compositor needed); 0 makes it square again. True when the corners are
// cut away now; false when the server has no SHAPE or the window is too small for them.
bool setRoundedOutline(Display* display, Window window, int width, int height, int radius);

}  // namespace tavel
