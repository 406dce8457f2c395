#pragma once
// Requests that may fail on purpose (asking about another client's window, which may be
// gone by then; a pixmap the server may refuse) take their errors through a route.
//
// Xlib has one error handler for the whole process, and swapping it from several threads
// would lose errors or put back the wrong handler. So the one handler installed when
// Xlib is prepared (x11_connection.h) offers each error to the routes of its display,
// newest first, until one takes it; what none takes goes to the display's connection log
// as usual. Routes may be made and destroyed on any thread, nested too; each is used by
// the thread that made it.

#include <X11/Xlib.h>

#include <atomic>
#include <functional>

namespace tavel {

class X11ErrorRoute {
public:
    // From now on, errors of `display` are offered to `claim` on whichever thread met them
    // (it must not call Xlib and must return quickly); true takes the error, false lets
    // it be logged.
    X11ErrorRoute(Display* display, std::function<bool(const XErrorEvent&)> claim);
    // Waits for the server to answer every request sent so far (one round trip), so that
    // their errors arrive while the route stands.
    ~X11ErrorRoute();
    X11ErrorRoute(const X11ErrorRoute&) = delete;
    X11ErrorRoute& operator=(const X11ErrorRoute&) = delete;

    Display* display() const { return display_; }

private:
    Display* display_;
};

// Drops the BadWindow and BadDrawable errors of requests about other clients' windows,
// which may vanish at any moment; every other error is logged as usual.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);

private:
    X11ErrorRoute route_;
};

// Keeps the first error of the requests sent while it stands, instead of logging them.
class X11ErrorCatch {
public:
    explicit X11ErrorCatch(Display* display);
    // The first error code so far (after a round trip), 0 for none; clears it.
    int take();

private:
    std::atomic<int> first_{0};
    X11ErrorRoute route_;
};

// For the process's one error handler: offers the error to the newest route of its
// display; true when one took it.
bool routeX11Error(Display* display, const XErrorEvent& error);

}  // namespace tavel
