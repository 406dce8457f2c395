#include "platform/x11/x11_window_stack.h"

#include "platform/x11/x11_connection.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <map>
#include <optional>

namespace tavel {

namespace {

std::vector<unsigned long> items(Display* display, Window window, Atom name, Atom type, long most) {
    return propertyItems(display, window, name, type, most).value_or(std::vector<unsigned long>{});
}

bool has(const std::vector<unsigned long>& atoms, Atom atom) {
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

// Frame extents come from another client: bounded, so sums stay in range.
int extent(const std::vector<unsigned long>& extents, std::size_t index) {
    return index < extents.size() ? static_cast<int>(std::min(extents[index], 0xFFFFul)) : 0;
}

void readClient(X11Connection& x, Window client, std::vector<StackedWindow>& out) {
    Display* display = x.display();
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, client, &a) || a.c_class == InputOnly) return;
    StackedWindow w;
    w.id = client;
    w.viewable = a.map_state == IsViewable;
    if (w.viewable) {
        auto state = items(display, client, x.atom("_NET_WM_STATE"), XA_ATOM, 64);
        w.hidden = has(state, x.atom("_NET_WM_STATE_HIDDEN"));
        w.fullscreen = has(state, x.atom("_NET_WM_STATE_FULLSCREEN"));
        w.maximized = has(state, x.atom("_NET_WM_STATE_MAXIMIZED_VERT")) &&
                      has(state, x.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
        // A desktop program drawing its icons with an alpha channel: under a compositor
        // what lies below shows wherever it draws no icon.
        w.seeThrough =
            a.depth == 32 && has(items(display, client, x.atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 16),
                                 x.atom("_NET_WM_WINDOW_TYPE_DESKTOP"));
        // The client sits in the manager's frame: its origin in root coordinates.
        int rootX = 0, rootY = 0;
        Window child = None;
        if (!XTranslateCoordinates(display, client, x.root(), 0, 0, &rootX, &rootY, &child)) return;
        // Left, right, top, bottom.
        auto e = items(display, client, x.atom("_NET_FRAME_EXTENTS"), XA_CARDINAL, 4);
        int border = a.border_width;
        w.frame = {rootX - border - extent(e, 0), rootY - border - extent(e, 2),
                   a.width + 2 * border + extent(e, 0) + extent(e, 1),
                   a.height + 2 * border + extent(e, 2) + extent(e, 3)};
    }
    out.push_back(w);
}

void readRootChild(Display* display, Window window, std::vector<StackedWindow>& out) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, window, &a) || a.c_class == InputOnly) return;
    StackedWindow w;
    w.id = window;
    w.viewable = a.map_state == IsViewable;
    w.frame = {a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width};
    out.push_back(w);
}

}  // namespace

Window topLevelOf(Display* display, Window root, Window window) {
    for (int depth = 0; depth < 16; ++depth) {
        Window parent = None, ignoredRoot = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &ignoredRoot, &parent, &children, &count)) return None;
        if (children) XFree(children);
        if (parent == root || parent == None) return window;
        window = parent;
    }
    return None;
}

std::optional<std::vector<unsigned long>> propertyItems(Display* display, Window window, Atom name,
                                                        Atom type, long most) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<std::vector<unsigned long>> values;
    if (XGetWindowProperty(display, window, name, 0, most, False, type, &actual, &format, &count,
                           &after, &data) == Success &&
        actual == type && format == 32) {
        auto* begin = reinterpret_cast<unsigned long*>(data);
        values.emplace(begin, begin + (data ? count : 0));
    }
    if (data) XFree(data);
    return values;
}

Window windowManagerCheck(X11Connection& x) {
    // A manager that died leaves its root property behind, but not its check window.
    Atom check = x.atom("_NET_SUPPORTING_WM_CHECK");
    auto onRoot = items(x.display(), x.root(), check, XA_WINDOW, 1);
    if (onRoot.size() != 1 || onRoot[0] == None) return None;
    auto onSelf = items(x.display(), onRoot[0], check, XA_WINDOW, 1);
    return onSelf.size() == 1 && onSelf[0] == onRoot[0] ? Window(onRoot[0]) : None;
}

std::vector<StackedWindow> readWindowStack(X11Connection& x, const std::vector<Window>& own) {
    Display* display = x.display();
    std::vector<StackedWindow> stack;
    if (windowManagerCheck(x) == None) return stack;
    auto clients =
        propertyItems(display, x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW, 1L << 16);
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (!clients || !XQueryTree(display, x.root(), &root, &parent, &children, &count)) return stack;
    std::vector<Window> order(children, children + count);
    if (children) XFree(children);

    // The manager's clients and the windows given, in the server's own order: a window of
    // ours that the manager does not stack (override-redirect) sits where it really is.
    std::map<Window, Window> clientOf;
    for (Window client : *clients)
        if (Window top = topLevelOf(display, x.root(), client)) clientOf.emplace(top, client);
    for (Window window : order) {
        if (auto client = clientOf.find(window); client != clientOf.end())
            readClient(x, client->second, stack);
        else if (std::find(own.begin(), own.end(), window) != own.end())
            readRootChild(display, window, stack);
    }
    return stack;
}

}  // namespace tavel
