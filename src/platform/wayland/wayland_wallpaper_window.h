#pragma once
// The backdrop of one output on Wayland: a bottom-layer surface over the output (but for
// the space panels reserve), above the person's own background program and below every
// window, never given the keyboard, with an empty input region so clicks reach the
// desktop. Main thread only.

#include "platform/wallpaper_window.h"
#include "platform/wayland/layer_view_window.h"
#include "platform/wayland/wayland_render_services.h"

#include <memory>

namespace tavel {

class WaylandWallpaperWindow final : public WallpaperWindow {
public:
    WaylandWallpaperWindow(const WaylandRenderServices& services, const ScreenRecord& screen);

    WallpaperView& shaderView() override { return window_.face(); }
    void orderFront() override { window_.show(); }
    void orderOut() override { window_.hide(); }
    std::string drawnBy() const override { return "layer surface"; }

    // For reports (frame counts) and tests.
    ShaderView& view() { return window_.view(); }
    const LayerViewWindow& layer() const { return window_; }

private:
    LayerViewWindow window_;
};

class WaylandWallpaperWindowFactory final : public WallpaperWindowFactory {
public:
    // The connection must have the layer shell (WaylandConnection::hasLayerShell).
    explicit WaylandWallpaperWindowFactory(const WaylandRenderServices& services)
        : services_(services) {}
    std::unique_ptr<WallpaperWindow> makeWindow(const ScreenRecord& screen) override {
        return makeWaylandWindow(screen);
    }
    std::unique_ptr<WaylandWallpaperWindow> makeWaylandWindow(const ScreenRecord& screen) {
        return std::make_unique<WaylandWallpaperWindow>(services_, screen);
    }

private:
    WaylandRenderServices services_;
};

}  // namespace tavel
