#pragma once
// The idle saver's windows on Wayland: overlay-layer surfaces over whole outputs, above
// every window and panel, taking the keyboard. The fade is drawn by the view (black over
// the effect). Key presses and pointer buttons, scrolling and motion on them are
// reported to the factory's input handler. Main thread only.

#include "platform/idle.h"
#include "platform/wayland/layer_view_window.h"
#include "platform/wayland/wayland_render_services.h"

#include <functional>
#include <memory>

namespace tavel {

// Where a factory's windows report input; shared by the factory and its windows, so a
// handler set later reaches windows already made.
struct WaylandSaverInputRelay {
    std::function<void()> handler;
    bool pending = false;  // a report is queued on the main loop
};

class WaylandSaverWindow final : public SaverWindow {
public:
    WaylandSaverWindow(const WaylandRenderServices& services, const ScreenRecord& screen,
                       std::shared_ptr<WaylandSaverInputRelay> relay);
    WaylandSaverWindow(const WaylandSaverWindow&) = delete;
    WaylandSaverWindow& operator=(const WaylandSaverWindow&) = delete;

    WallpaperView& shaderView() override { return window_.face(); }
    // 0 black ... 1 the effect; values outside are clamped when drawn.
    void setAlpha(double alpha) override { window_.view().setFade(static_cast<float>(alpha)); }
    void orderFront() override { window_.show(); }
    void orderOut() override { window_.hide(); }

    ShaderView& view() { return window_.view(); }
    const LayerViewWindow& layer() const { return window_; }

private:
    LayerViewWindow window_;
};

class WaylandSaverWindowFactory final : public SaverWindowFactory {
public:
    // The connection must have the layer shell (WaylandConnection::hasLayerShell).
    explicit WaylandSaverWindowFactory(const WaylandRenderServices& services)
        : services_(services) {}
    std::unique_ptr<SaverWindow> makeSaverWindow(const ScreenRecord& screen) override {
        return makeWaylandSaverWindow(screen);
    }
    std::unique_ptr<WaylandSaverWindow> makeWaylandSaverWindow(const ScreenRecord& screen) {
        return std::make_unique<WaylandSaverWindow>(services_, screen, relay_);
    }

    // Main thread. Runs on the main loop soon after a key press, button press, scroll or
    // pointer motion on any of its windows (a burst of them may be one call); empty for
    // none.
    void setInputHandler(std::function<void()> handler) { relay_->handler = std::move(handler); }

private:
    WaylandRenderServices services_;
    std::shared_ptr<WaylandSaverInputRelay> relay_ = std::make_shared<WaylandSaverInputRelay>();
};

}  // namespace tavel
