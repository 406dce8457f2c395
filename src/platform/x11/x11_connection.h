#pragma once
// One connection to the X server, watched on the main loop. Windows register for the
// events of their own window; root-window events and extension events go to the
// extension handlers (and root events also to a handler registered for the root).
//
// Main thread only: Xlib is used from the main thread alone (XInitThreads is still
// called, so a GL driver's own threads are safe).
//
// Losing the server (an X I/O error) runs the lost handler (the application flushes its
// settings there, within a bounded time), writes "Tavel: lost the X display" (with the
// program's own prefix, see setLogPrefix) to the connection's log and ends the process
// with status 1: nothing can go on without the display, and a silent exit would leave
// no trace in the journal. This uses the per-display exit handler of libX11 1.7 and
// later (XSetIOErrorExitHandler), which can reach the connection's log; the
// process-wide I/O error handler, which would print Xlib's own message and exit before
// it, steps aside for our displays only. The exit is _exit(1), so no static destructor
// runs under threads that still use it.

#include "platform/system_log.h"
#include "platform/weak_self.h"

#include <X11/Xlib.h>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace asio {
class io_context;
}

namespace tavel {

// Makes Xlib safe for threads and installs the process's X error and I/O error handlers
// (every error then goes to its catcher or its connection's log, never Xlib's default,
// which ends the process). Called by X11Connection::open and by code that opens a display
// of its own; must come before any other Xlib call of the process. Any thread, once.
void prepareXlibForThreads();

class X11Connection {
public:
    // Opens the display named by $DISPLAY (or `name`); nothing when it cannot be opened.
    // `loop` is the main loop on which the connection's socket is watched; it must
    // outlive the connection. `log` gets the line written when the server is lost.
    static std::unique_ptr<X11Connection> open(asio::io_context& loop, const char* name = nullptr,
                                               LogSink& log = systemLog());
    // Stops watching and closes the display. Handlers are not called afterwards.
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // The extensions that desktop windows rely on (XFixes for an empty input shape, so
    // clicks reach the desktop; SHAPE underneath it) that the server lacks, as text for
    // a message ("" when both are there).
    std::string missingDesktopExtensions() const;
    // Runs on the main thread when the server is lost, before the process ends; it must
    // not wait long (the X I/O error path cannot be left).
    void setLostHandler(std::function<void()> handler) { lostHandler_ = std::move(handler); }

    // The start of every line the connection writes, "Tavel: " unless set: each program
    // signs its own lines. Main thread, before the connection is used.
    void setLogPrefix(std::string prefix) { prefix_ = std::move(prefix); }

    // Logs a protocol error of this display (the text after the prefix), each distinct
    // line once (a request that fails every frame would flood the journal). Any thread.
    void reportError(const std::string& text);

    Display* display() const { return display_; }
    int screen() const { return DefaultScreen(display_); }
    Window root() const { return RootWindow(display_, screen()); }
    // Interned once, then cached.
    Atom atom(const char* name);

    using EventHandler = std::function<void(const XEvent&)>;
    // Events whose xany.window is `window` go to `handler` (one per window; an empty
    // handler removes it). Handlers may add and remove handlers, including their own,
    // while they run.
    void setWindowHandler(Window window, EventHandler handler);
    // Called for every event that is not a plain window event of a registered window
    // other than the root: RandR notifications, XInput2 generic events, events of the
    // root window and of windows nobody registered. A GenericEvent arrives with its
    // cookie data already fetched (xcookie.data is valid during the call; do not call
    // XGetEventData or XFreeEventData). Returns an id for removeExtensionHandler.
    int addExtensionHandler(EventHandler handler);
    void removeExtensionHandler(int id);

    // The root window's event mask is shared by everyone on this connection (the server
    // keeps one mask per client and window): add and remove bits through these, never
    // with XSelectInput on the root. Bits are counted, so two users of one bit can each
    // remove it once.
    void selectRootInput(long mask);
    void deselectRootInput(long mask);

    // Dispatches the events queued now, in a bounded batch so that timers and other
    // work on the loop keep running during a flood; events still queued afterwards are
    // dispatched by a task posted to the loop. Flushes the output buffer. Also runs
    // whenever the socket is readable.
    void dispatchPending();
    // Posts one dispatchPending() to the loop unless one is already posted. Any thread.
    //
    // Why: any Xlib call (a flush, a round trip) may read events that have arrived into
    // Xlib's queue, and the socket does not become readable again for them. The
    // connection therefore calls this after every request Xlib sends (XSetAfterFunction;
    // XSynchronize replaces that hook, so keep it for debugging). Code that talks to
    // the server on this display without Xlib requests (xcb directly, a GL driver)
    // calls it itself afterwards.
    void dispatchSoon();

    // The server is gone (for `display`, this connection's or another of the process):
    // runs the lost handler, writes the line and ends the process. Never returns.
    [[noreturn]] static void onDisplayLost(Display* display, void* connection);

private:
    X11Connection(Display* display, asio::io_context& loop, LogSink& log);
    void watch();
    void deliver(XEvent& event);

    // Everything here belongs to the main thread, except dispatchPosted_ (any thread
    // that sends Xlib requests sets it).
    Display* display_;
    asio::io_context& loop_;
    LogSink& log_;
    struct Watch;
    std::unique_ptr<Watch> watch_;
    std::function<void()> lostHandler_;
    std::string prefix_ = "Tavel: ";
    std::mutex errorsMutex_;  // guards the one below
    std::set<std::string> loggedErrors_;
    // Posted tasks and the socket wait hold a weak reference: they do nothing once the
    // connection is gone.
    WeakSelf<X11Connection> self_{*this};
    std::atomic<bool> dispatchPosted_{false};
    std::map<Window, EventHandler> windowHandlers_;
    std::map<int, EventHandler> extensionHandlers_;
    int nextHandler_ = 1;
    std::map<std::string, Atom> atoms_;
    std::array<int, 8 * sizeof(long)> rootMaskCounts_{};
};

}  // namespace tavel
