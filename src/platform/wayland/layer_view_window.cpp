#include "platform/wayland/layer_view_window.h"

#include "fractional-scale-v1-client-protocol.h"
#include "platform/wayland/wayland_outputs.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cmath>

namespace tavel {

namespace {

// Fractional scales come in 120ths.
constexpr double kScaleSteps = 120.0;

LayerViewWindow& windowOf(void* data) {
    return *static_cast<LayerViewWindow*>(data);
}

const zwlr_layer_surface_v1_listener kLayerListener = {
    .configure = [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height) { windowOf(data).configure(serial, width, height); },
    .closed = [](void* data, zwlr_layer_surface_v1*) { windowOf(data).closedByCompositor(); },
};

const wp_fractional_scale_v1_listener kFractionalListener = {
    .preferred_scale = [](void* data, wp_fractional_scale_v1*,
                          std::uint32_t scale) { windowOf(data).preferredScale(scale); },
};

// A scale that is not a positive number counts as 1.
double usableScale(double scale) {
    return scale > 0.0 && std::isfinite(scale) ? scale : 1.0;
}

int pixels(double units, double scale) {
    double value = std::round(units * scale);
    return std::isfinite(value) && value >= 1 ? static_cast<int>(value) : 1;
}

}  // namespace

LayerViewWindow::LayerViewWindow(const WaylandRenderServices& services, const ScreenRecord& screen,
                                 Role role)
    : connection_(services.connection), role_(role) {
    const WaylandGlobals& globals = connection_.globals();
    surface_ = wl_compositor_create_surface(globals.compositor);
    width_ = std::max(1, static_cast<int>(std::lround(screen.frame.width)));
    height_ = std::max(1, static_cast<int>(std::lround(screen.frame.height)));

    if (globals.fractionalScale && globals.viewporter) {
        // Buffers at the exact pixel size, shown at the surface's size by the viewport.
        scale_ = usableScale(screen.scale);
        viewport_ = wp_viewporter_get_viewport(globals.viewporter, surface_);
        fractional_ =
            wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScale, surface_);
        wp_fractional_scale_v1_add_listener(fractional_, &kFractionalListener, this);
    } else {
        // Whole buffer scales only: the compositor scales a fractional output down.
        scale_ = std::max(1.0, std::ceil(usableScale(screen.scale) - 1e-9));
        wl_surface_set_buffer_scale(surface_, static_cast<std::int32_t>(scale_));
    }

    pacer_ = std::make_unique<FramePacer>(surface_, services.scheduler,
                                          [this](bool) { updateOcclusion(); });
    EglWindowSurface::PresentHooks hooks{[this] { pacer_->frameWillCommit(); },
                                         [this] { connection_.dispatchSoon(); }};
    drawable_ =
        std::make_unique<EglWindowSurface>(services.context, surface_, pixels(width_, scale_),
                                           pixels(height_, scale_), std::move(hooks));
    view_ = std::make_unique<ShaderView>(width_, height_, services.viewServices(*pacer_));
    face_ = std::make_unique<ShaderViewFace>(*view_);
    view_->moveToWindow(drawable_.get(), scale_, true);

    if (role_.passInput) {
        wl_region* empty = wl_compositor_create_region(globals.compositor);
        wl_surface_set_input_region(surface_, empty);
        wl_region_destroy(empty);
    }

    // An unnamed screen is the compositor's only output; a named one that is gone
    // gets no surface at all.
    wl_output* output = connection_.outputs().find(screen.name);
    if (globals.layerShell && (output || screen.name.empty())) {
        layer_ = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, surface_, output,
                                                       role_.layer, role_.nameSpace);
        zwlr_layer_surface_v1_add_listener(layer_, &kLayerListener, this);
        sendState();
        wl_surface_commit(surface_);
    }
    connection_.dispatchSoon();
}

LayerViewWindow::~LayerViewWindow() {
    face_.reset();
    view_.reset();
    drawable_.reset();
    pacer_.reset();
    if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
    if (viewport_) wp_viewport_destroy(viewport_);
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    wl_surface_destroy(surface_);
    connection_.dispatchSoon();
}

void LayerViewWindow::sendState() {
    zwlr_layer_surface_v1_set_anchor(
        layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, role_.exclusiveZone);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, role_.keyboardInteractivity);
    zwlr_layer_surface_v1_set_size(layer_, 0, 0);
}

void LayerViewWindow::show() {
    if (shown_) return;
    shown_ = true;
    if (!layer_) return;
    if (configured_) {
        drawable_->presentBlack();
        mapped_ = true;
    } else if (remap_) {
        // Mapped again like a new surface: its state, a commit without a buffer, then
        // the compositor's configure.
        sendState();
        wl_surface_commit(surface_);
        connection_.dispatchSoon();
    }
    remap_ = false;
    updateOcclusion();
}

void LayerViewWindow::hide() {
    if (!shown_) return;
    shown_ = false;
    if (layer_ && mapped_) {
        wl_surface_attach(surface_, nullptr, 0, 0);
        wl_surface_commit(surface_);
        configured_ = false;
        remap_ = true;
        connection_.dispatchSoon();
    }
    mapped_ = false;
    // An unmapped surface gets no callbacks.
    pacer_->reset();
    updateOcclusion();
}

void LayerViewWindow::configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    if (width > 0) width_ = static_cast<int>(width);
    if (height > 0) height_ = static_cast<int>(height);
    configured_ = true;
    applySize();
    // A first frame maps it; one that is not drawing shows black at its new size.
    if (shown_ && (!mapped_ || view_->isPaused())) {
        drawable_->presentBlack();
        mapped_ = true;
        remap_ = false;
    }
    updateOcclusion();
}

void LayerViewWindow::closedByCompositor() {
    zwlr_layer_surface_v1_destroy(layer_);
    layer_ = nullptr;
    mapped_ = false;
    pacer_->reset();
    updateOcclusion();
}

void LayerViewWindow::preferredScale(std::uint32_t scale120) {
    if (scale120 == 0) return;
    scale_ = scale120 / kScaleSteps;
    applySize();
}

void LayerViewWindow::applySize() {
    drawable_->setPixelSize(pixels(width_, scale_), pixels(height_, scale_));
    if (viewport_) wp_viewport_set_destination(viewport_, width_, height_);
    view_->setBackingScale(scale_);
    view_->setFrameSize(width_, height_);
}

void LayerViewWindow::updateOcclusion() {
    view_->setWindowOccluded(!shown_ || !mapped_ || !layer_ || pacer_->stalled());
}

}  // namespace tavel
