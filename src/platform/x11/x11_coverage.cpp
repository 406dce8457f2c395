#include "platform/x11/x11_coverage.h"

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_coverage_rule.h"
#include "platform/x11/x11_error_catch.h"
#include "platform/x11/x11_window_stack.h"

#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <string>
#include <utility>

namespace tavel {

namespace {

// Top-level windows appearing, moving, restacking and going; the manager's client list.
constexpr long kRootMask = SubstructureNotifyMask | PropertyChangeMask;
// A client resized inside its frame, and its state and frame extents.
constexpr long kClientMask = StructureNotifyMask | PropertyChangeMask;

}  // namespace

X11CoverageWatcher::X11CoverageWatcher(X11Connection& connection, Scheduler& scheduler)
    : connection_(connection),
      scheduler_(scheduler),
      compositorSelection_(
          connection.atom(("_NET_WM_CM_S" + std::to_string(connection.screen())).c_str())) {
    Display* display = connection_.display();
    int errorBase = 0;
    if (XFixesQueryExtension(display, &fixesEventBase_, &errorBase)) {
        int major = 0, minor = 0;
        fixesAvailable_ = XFixesQueryVersion(display, &major, &minor) && major >= 1;
    }
    if (fixesAvailable_)
        XFixesSelectSelectionInput(display, connection_.root(), compositorSelection_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    connection_.selectRootInput(kRootMask);
    handlerId_ = connection_.addExtensionHandler([this](const XEvent& event) { onEvent(event); });
    compositing_ = fixesAvailable_ && XGetSelectionOwner(display, compositorSelection_) != None;
}

X11CoverageWatcher::~X11CoverageWatcher() {
    self_.reset();
    connection_.removeExtensionHandler(handlerId_);
    connection_.deselectRootInput(kRootMask);
    Display* display = connection_.display();
    if (fixesAvailable_)
        XFixesSelectSelectionInput(display, connection_.root(), compositorSelection_, 0);
    X11ErrorCatch trap(display, X11ErrorCatch::windowGone);
    followClients({});
}

int X11CoverageWatcher::watch(Window own, PixelRect rect, std::function<void(bool)> handler) {
    int id = nextId_++;
    watches_.emplace(id, Watch{own, rect, std::move(handler)});
    scheduleUpdate();
    return id;
}

void X11CoverageWatcher::unwatch(int id) {
    watches_.erase(id);
}

bool X11CoverageWatcher::covered(int id) const {
    auto found = watches_.find(id);
    return found != watches_.end() && found->second.covered;
}

void X11CoverageWatcher::onEvent(const XEvent& event) {
    if (fixesAvailable_ && event.type == fixesEventBase_ + XFixesSelectionNotify) {
        const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (notify.selection == compositorSelection_) scheduleUpdate();
        return;
    }
    // Without compositing nothing counts, so the stacking order does not matter.
    if (compositing_ && !watches_.empty() && affectsCoverage(event)) scheduleUpdate();
}

bool X11CoverageWatcher::affectsCoverage(const XEvent& event) const {
    Window root = connection_.root();
    Window window = event.xany.window;  // the root for its children's events
    switch (event.type) {
        case PropertyNotify: {
            Atom atom = event.xproperty.atom;
            if (window == root)
                return atom == connection_.atom("_NET_CLIENT_LIST_STACKING") ||
                       atom == connection_.atom("_NET_SUPPORTING_WM_CHECK");
            return clients_.count(window) > 0 && (atom == connection_.atom("_NET_WM_STATE") ||
                                                  atom == connection_.atom("_NET_FRAME_EXTENTS"));
        }
        case MapNotify:
        case UnmapNotify:
        case ConfigureNotify:
        case DestroyNotify:
        case ReparentNotify:
        case CirculateNotify:
        case GravityNotify:
            return window == root || clients_.count(window) > 0;
        default:
            return false;
    }
}

void X11CoverageWatcher::scheduleUpdate() {
    // One update per burst of events: the stacking order is read once, after the burst.
    if (updatePosted_) return;
    updatePosted_ = true;
    scheduler_.post(self_.guard([](X11CoverageWatcher& watcher) { watcher.update(); }));
}

void X11CoverageWatcher::update() {
    updatePosted_ = false;
    Display* display = connection_.display();
    compositing_ = fixesAvailable_ && XGetSelectionOwner(display, compositorSelection_) != None;
    std::vector<Window> own;
    for (const auto& [id, w] : watches_) own.push_back(w.own);
    std::vector<StackedWindow> stack;
    {
        X11ErrorCatch trap(display, X11ErrorCatch::windowGone);
        if (compositing_ && !watches_.empty()) stack = readWindowStack(connection_, own);
        // Our own windows in the stack are never followed (see followClients).
        std::vector<Window> clients;
        for (const auto& w : stack) clients.push_back(w.id);
        followClients(clients);
    }

    std::vector<int> changed;
    for (auto& [id, w] : watches_) {
        bool covered = compositing_ && rectCovered(w.rect, w.own, stack, own);
        if (covered == w.covered) continue;
        w.covered = covered;
        changed.push_back(id);
    }
    for (int id : changed) {
        auto found = watches_.find(id);
        if (found == watches_.end()) continue;  // unwatched by an earlier handler
        auto handler = found->second.handler;   // it may unwatch itself
        if (handler) handler(found->second.covered);
    }
}

void X11CoverageWatcher::followClients(const std::vector<Window>& clients) {
    Display* display = connection_.display();
    // Windows given to watch() are Tavel's own: their masks stay as their owners set them.
    auto follows = [&](Window w) {
        return std::find(clients.begin(), clients.end(), w) != clients.end() &&
               std::none_of(watches_.begin(), watches_.end(),
                            [w](const auto& entry) { return entry.second.own == w; });
    };
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (follows(it->first)) {
            ++it;
            continue;
        }
        XWindowAttributes a{};
        // A client that is gone took our selection with it.
        if (it->second && XGetWindowAttributes(display, it->first, &a))
            XSelectInput(display, it->first, a.your_event_mask & ~it->second);
        it = clients_.erase(it);
    }
    for (Window client : clients) {
        XWindowAttributes a{};
        if (clients_.count(client) || !follows(client) ||
            !XGetWindowAttributes(display, client, &a))
            continue;
        long added = kClientMask & ~a.your_event_mask;
        if (added) XSelectInput(display, client, a.your_event_mask | added);
        clients_.emplace(client, added);
    }
}

}  // namespace tavel
