#pragma once
// A connection to the test program's Xvfb on a real main loop, run in bounded slices.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/asio/asio_scheduler.h"
#include "platform/x11/pixel_rect.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_window_stack.h"
#include "support/run_until.h"
#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace tavel::test {

// Sets a 32-bit property, which sends PropertyNotify to those who selected it.
inline void setItems(Display* display, Window window, Atom name, Atom type,
                     std::vector<unsigned long> items) {
    XChangeProperty(display, window, name, type, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(items.data()), int(items.size()));
    XFlush(display);
}

// The items of a 32-bit property; none when it is missing.
inline std::vector<unsigned long> itemsOf(Display* display, Window window, Atom name, Atom type) {
    return propertyItems(display, window, name, type, 64).value_or(std::vector<unsigned long>{});
}

// A mapped application window at a user-given place, of _NET_WM_WINDOW_TYPE `type` if given.
inline Window mapWindow(Display* display, PixelRect rect, const char* type = nullptr) {
    XSetWindowAttributes attributes{};
    Window window = XCreateWindow(display, DefaultRootWindow(display), rect.x, rect.y,
                                  unsigned(rect.width), unsigned(rect.height), 0, CopyFromParent,
                                  InputOutput, CopyFromParent, 0, &attributes);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    std::tie(hints.x, hints.y, hints.width, hints.height) =
        std::tie(rect.x, rect.y, rect.width, rect.height);
    XSetWMNormalHints(display, window, &hints);
    if (type)
        setItems(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                 {XInternAtom(display, type, False)});
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

// A compositing manager, as users run one.
inline std::vector<std::string> compositorCommand() {
    return {"picom", "--backend", "xrender", "--config", "/dev/null"};
}

class X11LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(connection, nullptr) << "cannot open the test display";
        // Whatever opening posted has run: the loop is quiet when the test begins.
        loop.runFor(std::chrono::milliseconds(20));
    }

    Display* display() const { return connection->display(); }
    Window root() const { return connection->root(); }
    // Every request handled, every event sent before it queued.
    void sync() { XSync(display(), False); }

    // Every event sent so far, and every task its handlers posted, has run (a property
    // change of our own comes back behind them).
    bool settle() {
        Atom mark = connection->atom("TAVEL_TEST_MARK");
        bool seen = false, ran = false;
        int id = connection->addExtensionHandler(
            [&](const XEvent& e) { seen |= e.type == PropertyNotify && e.xproperty.atom == mark; });
        connection->selectRootInput(PropertyChangeMask);
        setItems(display(), root(), mark, XA_CARDINAL, {1});
        bool ok = runUntil(loop, [&] { return seen; });
        connection->removeExtensionHandler(id);
        connection->deselectRootInput(PropertyChangeMask);
        loop.post([&] { ran = true; });
        return ok && runUntil(loop, [&] { return ran; });
    }

    XvfbServer& xvfb = sharedXvfb();  // first: it sets $DISPLAY
    AsioScheduler loop;               // before the connection: it must outlive it
    std::unique_ptr<X11Connection> connection = X11Connection::open(loop.context());
};

}  // namespace tavel::test
