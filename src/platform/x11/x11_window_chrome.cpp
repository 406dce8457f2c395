#include "platform/x11/x11_window_chrome.h"

#include <X11/Xatom.h>
#include <X11/extensions/shape.h>

#include <cmath>
#include <vector>

namespace tavel {

namespace {

void sendToRoot(Display* display, Window window, Atom type, const long (&data)[5]) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

bool mapped(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state != IsUnmapped;
}

}  // namespace

void beginWindowDrag(Display* display, Window window, WindowDrag drag, int rootX, int rootY,
                     int button) {
    // The manager can only take the pointer when no client holds it.
    XUngrabPointer(display, CurrentTime);
    sendToRoot(display, window, XInternAtom(display, "_NET_WM_MOVERESIZE", False),
               {rootX, rootY, static_cast<long>(drag), button, 1});
    XFlush(display);
}

void setShownInTaskbar(Display* display, Window window, bool shown) {
    Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    Atom skip[2] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                    XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
    if (mapped(display, window)) {
        // 0 removes, 1 adds; source 1: a normal application.
        sendToRoot(display, window, state,
                   {shown ? 0L : 1L, static_cast<long>(skip[0]), static_cast<long>(skip[1]), 1, 0});
    } else {
        // Before mapping the manager reads the property; keep the window's other states.
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<Atom> states;
        if (XGetWindowProperty(display, window, state, 0, 64, False, XA_ATOM, &type, &format,
                               &count, &after, &data) == Success &&
            data) {
            const Atom* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count; ++i)
                if (atoms[i] != skip[0] && atoms[i] != skip[1]) states.push_back(atoms[i]);
            XFree(data);
        }
        if (!shown) states.insert(states.end(), skip, skip + 2);
        XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states.data()),
                        static_cast<int>(states.size()));
    }
    XFlush(display);
}

bool setRoundedOutline(Display* display, Window window, int width, int height, int radius) {
    int eventBase = 0, errorBase = 0;
    if (!XShapeQueryExtension(display, &eventBase, &errorBase)) return false;
    if (radius <= 0 || width < 2 * radius || height < 2 * radius) {
        XShapeCombineMask(display, window, ShapeBounding, 0, 0, None, ShapeSet);
        XFlush(display);
        return false;
    }
    // One rectangle per row of the rounded corners, one for the straight middle.
    std::vector<XRectangle> rows;
    for (int y = 0; y < radius; ++y) {
        double dy = radius - y - 0.5;
        int inset = radius - static_cast<int>(std::lround(std::sqrt(radius * radius - dy * dy)));
        auto row = [&](int top) {
            rows.push_back(XRectangle{static_cast<short>(inset), static_cast<short>(top),
                                      static_cast<unsigned short>(width - 2 * inset), 1});
        };
        row(y);
        row(height - 1 - y);
    }
    rows.push_back(XRectangle{0, static_cast<short>(radius), static_cast<unsigned short>(width),
                              static_cast<unsigned short>(height - 2 * radius)});
    XShapeCombineRectangles(display, window, ShapeBounding, 0, 0, rows.data(),
                            static_cast<int>(rows.size()), ShapeSet, Unsorted);
    XFlush(display);
    return true;
}

}  // namespace tavel
