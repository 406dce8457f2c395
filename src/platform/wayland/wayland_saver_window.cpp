#include "platform/wayland/wayland_saver_window.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace tavel {

namespace {

LayerViewWindow::Role saverRole() {
    LayerViewWindow::Role role;
    role.layer = ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
    role.keyboardInteractivity = ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE;
    role.passInput = false;
    role.nameSpace = "tavel-saver";
    return role;
}

}  // namespace

WaylandSaverWindow::WaylandSaverWindow(const WaylandRenderServices& services,
                                       const ScreenRecord& screen,
                                       std::shared_ptr<WaylandSaverInputRelay> relay)
    : window_(services, screen, saverRole()) {
    window_.view().setFade(0.0f);
    Scheduler& scheduler = services.scheduler;
    window_.setInputHandler([&scheduler, relay = std::move(relay)] {
        // Reported from the loop, not from inside the event's dispatch: the handler
        // typically dismisses the saver and destroys this window. A burst of motion
        // is one report.
        if (relay->pending) return;
        relay->pending = true;
        scheduler.post([relay] {
            relay->pending = false;
            if (relay->handler) relay->handler();
        });
    });
}

}  // namespace tavel
