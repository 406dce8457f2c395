#include "platform/x11/x11_desktop_program.h"

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_error_catch.h"
#include "platform/x11/x11_window_stack.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace tavel {

namespace {

constexpr long kRootMask = SubstructureNotifyMask | PropertyChangeMask;

bool hasAtom(Display* display, Window window, Atom property, Atom wanted) {
    auto atoms = propertyItems(display, window, property, XA_ATOM, 16)
                     .value_or(std::vector<unsigned long>{});
    return std::find(atoms.begin(), atoms.end(), wanted) != atoms.end();
}

unsigned long cardinal(Display* display, Window window, Atom property) {
    auto values = propertyItems(display, window, property, XA_CARDINAL, 1);
    return values && !values->empty() ? (*values)[0] : 0;
}

// The client in a top-level window: the window itself, or the child a manager's frame
// holds (the one carrying WM_STATE, or else a window type).
Window clientIn(X11Connection& x, Window top) {
    Display* display = x.display();
    auto isClient = [&](Window w) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool found = false;
        for (Atom property : {x.atom("WM_STATE"), x.atom("_NET_WM_WINDOW_TYPE")}) {
            if (XGetWindowProperty(display, w, property, 0, 0, False, AnyPropertyType, &type,
                                   &format, &count, &after, &data) == Success &&
                type != None)
                found = true;
            if (data) XFree(data), data = nullptr;
            if (found) return true;
        }
        return false;
    };
    if (isClient(top)) return top;
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    Window client = None;
    if (XQueryTree(display, top, &root, &parent, &children, &count))
        for (unsigned i = 0; i < count && client == None; ++i)
            if (isClient(children[i])) client = children[i];
    if (children) XFree(children);
    return client;
}

// The root's mapped children, bottom first.
std::vector<Window> viewableTopLevels(Display* display, Window rootWindow) {
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> order;
    if (!XQueryTree(display, rootWindow, &root, &parent, &children, &count)) return order;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            order.push_back(children[i]);
    }
    if (children) XFree(children);
    return order;
}

std::int64_t overlap(const PixelRect& a, const PixelRect& b) {
    std::int64_t width =
        std::min<std::int64_t>(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width) -
        std::max(a.x, b.x);
    std::int64_t height =
        std::min<std::int64_t>(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height) -
        std::max(a.y, b.y);
    return width > 0 && height > 0 ? width * height : 0;
}

}  // namespace

std::vector<DesktopProgramWindow> findDesktopPrograms(X11Connection& x,
                                                      const std::vector<Window>& own) {
    Display* display = x.display();
    std::vector<DesktopProgramWindow> programs;
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, x.root(), &root, &parent, &children, &count)) return programs;
    std::vector<Window> tops(children, children + count);
    if (children) XFree(children);
    const auto pid = static_cast<unsigned long>(getpid());
    for (Window top : tops) {
        if (std::find(own.begin(), own.end(), top) != own.end()) continue;
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display, top, &a) || a.map_state != IsViewable ||
            a.c_class == InputOnly)
            continue;
        Window client = clientIn(x, top);
        if (client == None ||
            !hasAtom(display, client, x.atom("_NET_WM_WINDOW_TYPE"),
                     x.atom("_NET_WM_WINDOW_TYPE_DESKTOP")) ||
            cardinal(display, client, x.atom("_NET_WM_PID")) == pid)
            continue;
        XWindowAttributes c{};
        if (!XGetWindowAttributes(display, client, &c)) continue;
        DesktopProgramWindow program;
        program.client = client;
        program.topLevel = top;
        int rootX = 0, rootY = 0;
        Window ignored = None;
        XTranslateCoordinates(display, client, x.root(), 0, 0, &rootX, &rootY, &ignored);
        program.rect = {rootX, rootY, c.width, c.height};
        program.seeThrough = c.depth == 32;
        XClassHint hint{};
        if (XGetClassHint(display, client, &hint)) {
            if (hint.res_class) program.name = hint.res_class;
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
        programs.push_back(program);
    }
    return programs;
}

bool overrideRedirectFits(X11Connection& x) {
    Display* display = x.display();
    X11ErrorCatch trap(display, X11ErrorCatch::windowGone);
    const Window check = windowManagerCheck(x);
    if (check == None) return true;  // no manager
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, check, x.atom("_NET_WM_NAME"), 0, 64, False,
                           x.atom("UTF8_STRING"), &type, &format, &count, &after,
                           &data) == Success &&
        data)
        name.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    for (const char* scene : {"GNOME Shell", "Mutter", "Muffin", "KWin"})
        if (name.find(scene) != std::string::npos) return false;
    return true;
}

std::optional<DesktopProgramWindow> programOver(const std::vector<DesktopProgramWindow>& programs,
                                                const PixelRect& monitor) {
    std::optional<DesktopProgramWindow> best;
    std::int64_t bestArea = 0;
    for (const auto& program : programs)
        if (std::int64_t area = overlap(program.rect, monitor); area > bestArea) {
            best = program;
            bestArea = area;
        }
    return best;
}

X11DesktopStackKeeper::X11DesktopStackKeeper(X11Connection& connection, Scheduler& scheduler)
    : connection_(connection), scheduler_(scheduler) {
    connection_.selectRootInput(kRootMask);
    handlerId_ = connection_.addExtensionHandler([this](const XEvent& event) { onEvent(event); });
}

X11DesktopStackKeeper::~X11DesktopStackKeeper() {
    self_.reset();
    connection_.removeExtensionHandler(handlerId_);
    connection_.deselectRootInput(kRootMask);
}

int X11DesktopStackKeeper::watch(Window own, PixelRect monitor, bool managed, Handler handler) {
    int id = nextId_++;
    watches_.emplace(id, Watch{own, monitor, managed, std::move(handler)});
    scheduleUpdate();
    return id;
}

void X11DesktopStackKeeper::unwatch(int id) {
    watches_.erase(id);
}

void X11DesktopStackKeeper::onEvent(const XEvent& event) {
    if (watches_.empty() || event.xany.window != connection_.root()) return;
    switch (event.type) {
        case PropertyNotify:
            if (event.xproperty.atom == connection_.atom("_NET_CLIENT_LIST")) scheduleUpdate();
            break;
        case ConfigureNotify: {
            // Moves and resizes leave the stacking order as it is: only a new window
            // above counts, which the event names.
            auto [at, added] = above_.try_emplace(event.xconfigure.window, event.xconfigure.above);
            if (!added && at->second == event.xconfigure.above) break;
            at->second = event.xconfigure.above;
            scheduleUpdate();
            break;
        }
        case DestroyNotify:
            above_.erase(event.xdestroywindow.window);
            scheduleUpdate();
            break;
        case MapNotify:
        case UnmapNotify:
        case ReparentNotify:
        case CirculateNotify:
            scheduleUpdate();
            break;
        default:
            break;
    }
}

void X11DesktopStackKeeper::scheduleUpdate() {
    if (updatePosted_) return;
    updatePosted_ = true;
    scheduler_.post(self_.guard([](X11DesktopStackKeeper& watcher) { watcher.update(); }));
}

void X11DesktopStackKeeper::update() {
    updatePosted_ = false;
    Display* display = connection_.display();
    std::vector<Window> own;
    for (const auto& [id, w] : watches_) own.push_back(w.own);
    auto isOwn = [&](Window w) { return std::find(own.begin(), own.end(), w) != own.end(); };
    X11ErrorCatch trap(display, X11ErrorCatch::windowGone);
    const std::vector<DesktopProgramWindow> programs = findDesktopPrograms(connection_, own);

    std::vector<int> ids;
    for (const auto& [id, w] : watches_) ids.push_back(id);
    for (int id : ids) {
        auto found = watches_.find(id);
        if (found == watches_.end()) continue;  // unwatched by an earlier handler
        const Watch watch = found->second;
        const std::optional<DesktopProgramWindow> program = programOver(programs, watch.monitor);
        const ProgramSide side = watch.handler ? watch.handler(program) : ProgramSide::below;
        if (watches_.find(id) == watches_.end()) continue;

        // The viewable top-level windows, bottom first, as they stand now.
        std::vector<Window> order = viewableTopLevels(display, connection_.root());
        const Window ownTop =
            watch.managed ? topLevelOf(display, connection_.root(), watch.own) : watch.own;
        auto at = std::find(order.begin(), order.end(), ownTop);
        if (at == order.end()) continue;  // not shown
        XWindowChanges changes{};
        if (!program) {
            // Below every window but Tavel's own; a manager keeps its desktop windows so.
            if (!watch.managed && !std::all_of(order.begin(), at, isOwn))
                XLowerWindow(display, watch.own);
            continue;
        }
        auto top = std::find(order.begin(), order.end(), program->topLevel);
        if (top == order.end()) continue;
        const bool inPlace = side == ProgramSide::below
                                 ? at < top && std::all_of(at + 1, top, isOwn)
                                 : top < at && std::all_of(top + 1, at, isOwn);
        if (inPlace) continue;
        changes.stack_mode = side == ProgramSide::below ? Below : Above;
        if (watch.managed) {
            // A request to the manager, about the program's own window.
            changes.sibling = program->client;
            XReconfigureWMWindow(display, watch.own, connection_.screen(), CWSibling | CWStackMode,
                                 &changes);
        } else {
            changes.sibling = program->topLevel;
            XConfigureWindow(display, watch.own, CWSibling | CWStackMode, &changes);
        }
    }
    XFlush(display);
}

}  // namespace tavel
