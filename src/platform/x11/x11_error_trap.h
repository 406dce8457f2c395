#pragma once
// Asking about other clients' windows races with their owners: a window listed a moment
// ago may be gone by the time a request about it arrives. While a trap exists, the
// BadWindow and BadDrawable errors of requests sent on its display are dropped instead
// of logged; every other error still reaches the handler that was installed before.
//
// Main thread only, one trap at a time (not nested). Xlib's error handler is one for
// the whole process, so the trap hands on errors of other displays and of other kinds.

#include <X11/Xlib.h>

namespace tavel {

class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    // Waits for the server to answer every request sent so far (one round trip), so
    // that their errors arrive while the trap still stands, then restores the handler.
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

private:
    Display* display_;
    XErrorHandler previous_;
};

}  // namespace tavel
