#include "platform/x11/x11_error_trap.h"

#include <atomic>
#include <cassert>

namespace tavel {

namespace {

// The handler carries no user data. Atomics: a GL driver thread may report an error of
// its own requests while the trap stands.
std::atomic<Display*> trappedDisplay{nullptr};
std::atomic<unsigned long> firstSerial{0};
std::atomic<XErrorHandler> previousHandler{nullptr};

int onError(Display* display, XErrorEvent* error) {
    bool vanished = error->error_code == BadWindow || error->error_code == BadDrawable;
    if (display == trappedDisplay.load() && vanished && error->serial >= firstSerial.load()) {
        return 0;
    }
    XErrorHandler previous = previousHandler.load();
    return previous ? previous(display, error) : 0;
}

}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    assert(trappedDisplay.load() == nullptr && "X11ErrorTrap does not nest");
    firstSerial = NextRequest(display);
    trappedDisplay = display;
    previous_ = XSetErrorHandler(onError);
    previousHandler = previous_;
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
    trappedDisplay = nullptr;
}

}  // namespace tavel
