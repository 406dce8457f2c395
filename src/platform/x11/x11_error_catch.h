#pragma once
// Requests that may fail on purpose (asking about another client's window, which may be
// gone by then; a pixmap the server may refuse) take their errors through a catcher.
//
// Xlib has one error handler for the whole process, and swapping it from several threads
// would lose errors or put back the wrong handler. So the one handler installed when
// Xlib is prepared (x11_connection.h) offers each error to the catchers of its display,
// newest first, until one claims it; what none claims goes to the display's connection
// log as usual. Catchers may be made and destroyed on any thread, nested too.

#include <X11/Xlib.h>

#include <atomic>
#include <functional>

namespace tavel {

class X11ErrorCatch {
public:
    // Runs inside Xlib's error handler on whichever thread met the error: it must not
    // call Xlib and must return quickly (set a flag, post a task).
    using Claim = std::function<bool(const XErrorEvent&)>;

    // From now on the errors of `display` that `claim` returns true for (every error
    // without one) are kept here instead of logged.
    explicit X11ErrorCatch(Display* display, Claim claim = {});
    // Waits for the server to answer every request sent so far (one round trip), so that
    // their errors arrive while the catcher stands.
    ~X11ErrorCatch();
    X11ErrorCatch(const X11ErrorCatch&) = delete;
    X11ErrorCatch& operator=(const X11ErrorCatch&) = delete;

    // The first error code claimed so far (after a round trip), 0 for none; clears it.
    int take();

    // BadWindow and BadDrawable: what requests about other clients' windows meet when
    // those vanish, which they may at any moment.
    static bool windowGone(const XErrorEvent& error);

private:
    Display* display_;
    Claim claim_;
    std::atomic<int> first_{0};

    friend bool routeX11Error(Display* display, const XErrorEvent& error);
};

// For the process's one error handler: offers the error to the newest catcher of its
// display; true when one claimed it.
bool routeX11Error(Display* display, const XErrorEvent& error);

}  // namespace tavel
