#include "platform/x11/x11_idle.h"

#include "platform/x11/x11_connection.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/scrnsaver.h>

namespace tavel {

ScreenSaverIdleTime::ScreenSaverIdleTime(X11Connection& connection) : connection_(connection) {
    int eventBase = 0, errorBase = 0;
    if (XScreenSaverQueryExtension(connection_.display(), &eventBase, &errorBase))
        info_ = XScreenSaverAllocInfo();
}

ScreenSaverIdleTime::~ScreenSaverIdleTime() {
    if (info_) XFree(info_);
}

double ScreenSaverIdleTime::idleSeconds() {
    if (!info_) return 0;
    if (!XScreenSaverQueryInfo(connection_.display(), connection_.root(), info_)) return 0;
    return info_->idle / 1000.0;
}

XInputMonitor::XInputMonitor(X11Connection& connection) : connection_(connection) {
    Display* display = connection_.display();
    int opcode = 0, eventBase = 0, errorBase = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &eventBase, &errorBase)) return;
    // 2.1 and later deliver raw events even while another client holds a grab.
    int major = 2, minor = 2;
    if (XIQueryVersion(display, &major, &minor) != Success) return;
    opcode_ = opcode;
}

XInputMonitor::~XInputMonitor() {
    stop();
}

void XInputMonitor::start(std::function<void()> onInput) {
    onInput_ = std::move(onInput);
    if (!available() || handlerId_) return;
    handlerId_ = connection_.addExtensionHandler([this](const XEvent& event) {
        const XGenericEventCookie& cookie = event.xcookie;
        if (event.type != GenericEvent || cookie.extension != opcode_) return;
        if (cookie.evtype != XI_RawMotion && cookie.evtype != XI_RawKeyPress &&
            cookie.evtype != XI_RawButtonPress)
            return;
        if (auto callback = onInput_) callback();  // a copy: it may call stop()
    });
    select(true);
}

void XInputMonitor::stop() {
    onInput_ = nullptr;
    if (!handlerId_) return;
    connection_.removeExtensionHandler(handlerId_);
    handlerId_ = 0;
    select(false);
}

void XInputMonitor::select(bool on) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (on) {
        XISetMask(bits, XI_RawMotion);
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawButtonPress);
    }
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(connection_.display(), connection_.root(), &mask, 1);
    XFlush(connection_.display());
}

}  // namespace tavel
