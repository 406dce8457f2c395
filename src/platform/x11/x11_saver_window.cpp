#include "platform/x11/x11_saver_window.h"

#include <X11/Xutil.h>

namespace tavel {

namespace {

X11ViewWindow::Options saverOptions(Scheduler& scheduler,
                                    std::shared_ptr<X11SaverInputRelay> relay) {
    X11ViewWindow::Options options;
    options.overrideRedirect = true;
    options.extraEvents = KeyPressMask | ButtonPressMask | PointerMotionMask;
    options.onEvent = [&scheduler, relay = std::move(relay)](const XEvent& event) {
        if (event.type != KeyPress && event.type != ButtonPress && event.type != MotionNotify)
            return;
        // Reported from the loop, not from inside the window's own event handler: the
        // handler typically dismisses the saver and destroys this window. A burst of
        // motion is one report.
        if (relay->pending) return;
        relay->pending = true;
        scheduler.post([relay] {
            relay->pending = false;
            if (relay->handler) relay->handler();
        });
    };
    return options;
}

}  // namespace

X11SaverWindow::X11SaverWindow(const X11RenderServices& services, const ScreenRecord& screen,
                               std::shared_ptr<X11SaverInputRelay> relay)
    : window_(services, screen, saverOptions(services.scheduler, std::move(relay))) {
    XClassHint classHint{const_cast<char*>("tavel"), const_cast<char*>("Tavel")};
    XSetClassHint(window_.display(), window_.xid(), &classHint);
    XStoreName(window_.display(), window_.xid(), "Tavel");
    window_.view().setFade(0.0f);
}

void X11SaverWindow::orderFront() {
    window_.map();
    XRaiseWindow(window_.display(), window_.xid());
    XFlush(window_.display());
}

void X11SaverWindow::orderOut() {
    window_.unmap();
    XFlush(window_.display());
}

}  // namespace tavel
