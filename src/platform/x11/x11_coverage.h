#pragma once
// Whether other windows cover a monitor while a compositing manager runs. Under
// compositing, windows draw off screen and VisibilityNotify never reports a wallpaper
// window as obscured, so its view would keep drawing behind a maximised window; this
// watcher tells each wallpaper window when to stop instead. Without compositing, or
// without a window manager that announces itself, it reports nothing covered and
// VisibilityNotify applies.
//
// Compositing: some client owns the selection _NET_WM_CM_S<screen> (followed through
// XFixes selection notifications). A watched rectangle is covered when the rule of
// x11_coverage_rule.h holds for the manager's stacking order (x11_window_stack.h). Events
// that may change the answer post one update per burst; it reads the stacking order
// with a few round trips per window, and only while compositing.
//
// Main thread only. The watcher selects SubstructureNotify and PropertyChange on the root
// (through the connection's shared mask) and, while compositing under a window manager,
// StructureNotify and PropertyChange on the manager's clients: only the bits this
// connection did not select there itself, removed again when the client leaves the list.
// Windows given to watch() never get bits from it.

#include "platform/scheduler.h"
#include "platform/weak_self.h"
#include "platform/x11/pixel_rect.h"

#include <X11/Xlib.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tavel {

class X11Connection;

class X11CoverageWatcher {
public:
    // `connection` and `scheduler` (the main loop that runs the connection) must outlive
    // the watcher. One round trip, to learn whether compositing runs now.
    X11CoverageWatcher(X11Connection& connection, Scheduler& scheduler);
    // Handlers are not called afterwards.
    ~X11CoverageWatcher();
    X11CoverageWatcher(const X11CoverageWatcher&) = delete;
    X11CoverageWatcher& operator=(const X11CoverageWatcher&) = delete;

    // Whether a compositing manager ran when the watcher last looked: at construction,
    // then after each change of the selection's owner, once the loop has run the update.
    // Always false on a server without XFixes.
    bool compositing() const { return compositing_; }

    // Watches `rect` (root pixels) for the wallpaper window `own`, which is the reference
    // for "above" and never counts as covering; no window given to any watch does. A new
    // watch starts uncovered; its state is worked out by a task posted now. `handler`
    // runs on the main thread, from a task of the loop, only when the state changes; it
    // may call watch() and unwatch(), but not destroy the watcher. Returns an id for
    // unwatch() and covered().
    int watch(Window own, PixelRect rect, std::function<void(bool covered)> handler);
    // The handler is not called afterwards. Unknown ids are ignored.
    void unwatch(int id);
    // The state last reported for `id` (false before the first report or for unknown ids).
    bool covered(int id) const;

private:
    struct Watch {
        Window own;
        PixelRect rect;
        std::function<void(bool)> handler;
        bool covered = false;
    };

    void onEvent(const XEvent& event);
    bool affectsCoverage(const XEvent& event) const;
    void scheduleUpdate();
    void update();
    // Sets the client event bits on `clients` and takes them back from the others.
    void followClients(const std::vector<Window>& clients);

    // Everything here belongs to the main thread.
    X11Connection& connection_;
    Scheduler& scheduler_;
    bool fixesAvailable_ = false;
    int fixesEventBase_ = 0;
    Atom compositorSelection_;
    int handlerId_ = 0;
    bool compositing_ = false;
    bool updatePosted_ = false;
    std::map<int, Watch> watches_;
    int nextId_ = 1;
    // Clients followed now, with the event bits this watcher added there.
    std::map<Window, long> clients_;
    // A posted update holds a weak reference: it does nothing once the watcher is gone.
    WeakSelf<X11CoverageWatcher> self_{*this};
};

}  // namespace tavel
