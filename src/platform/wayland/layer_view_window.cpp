#include "platform/wayland/layer_view_window.h"

#include "fractional-scale-v1-client-protocol.h"
#include "platform/wayland/wayland_outputs.h"
#include "platform/wayland/wayland_seat.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
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
    : connection_(services.connection),
      context_(services.context),
      role_(role),
      outputName_(screen.name),
      width_(std::max(1, static_cast<int>(std::lround(screen.frame.width)))),
      height_(std::max(1, static_cast<int>(std::lround(screen.frame.height)))),
      scale_(usableScale(screen.scale)) {
    const WaylandGlobals& globals = connection_.globals();
    // Whole buffer scales only: the compositor scales a fractional output down.
    if (!globals.fractionalScale || !globals.viewporter)
        scale_ = std::max(1.0, std::ceil(scale_ - 1e-9));
    // An unnamed screen is the compositor's only output.
    closed_ =
        !globals.layerShell || (!outputName_.empty() && !connection_.outputs().find(outputName_));
    pacer_ = std::make_unique<FramePacer>(services.scheduler, [this](bool) { updateOcclusion(); });
    view_ = std::make_unique<ShaderView>(width_, height_, services.viewServices(*pacer_));
    face_ = std::make_unique<ShaderViewFace>(*view_);
}

LayerViewWindow::~LayerViewWindow() {
    face_.reset();
    view_.reset();
    hide();
}

void LayerViewWindow::setInputHandler(std::function<void()> handler) {
    inputHandler_ = std::move(handler);
    if (surface_) connection_.seat().setInputHandler(surface_, inputHandler_);
}

void LayerViewWindow::show() {
    if (surface_ || closed_) return;
    wl_output* output = connection_.outputs().find(outputName_);
    if (!output && !outputName_.empty()) {  // gone meanwhile
        closed_ = true;
        return;
    }
    const WaylandGlobals& globals = connection_.globals();
    surface_ = wl_compositor_create_surface(globals.compositor);
    if (globals.fractionalScale && globals.viewporter) {
        // Buffers at the exact pixel size, shown at the surface's size by the viewport.
        viewport_ = wp_viewporter_get_viewport(globals.viewporter, surface_);
        fractional_ =
            wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScale, surface_);
        wp_fractional_scale_v1_add_listener(fractional_, &kFractionalListener, this);
    } else {
        wl_surface_set_buffer_scale(surface_, static_cast<std::int32_t>(scale_));
    }
    if (role_.passInput) {
        wl_region* empty = wl_compositor_create_region(globals.compositor);
        wl_surface_set_input_region(surface_, empty);
        wl_region_destroy(empty);
    }
    if (inputHandler_) connection_.seat().setInputHandler(surface_, inputHandler_);

    EglWindowSurface::PresentHooks hooks{[this] { pacer_->frameWillCommit(surface_); },
                                         [this] { connection_.dispatchSoon(); }};
    drawable_ = std::make_unique<EglWindowSurface>(context_, surface_, pixels(width_, scale_),
                                                   pixels(height_, scale_), std::move(hooks));
    view_->moveToWindow(drawable_.get(), scale_, true);

    layer_ = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, surface_, output,
                                                   role_.layer, role_.nameSpace);
    zwlr_layer_surface_v1_add_listener(layer_, &kLayerListener, this);
    zwlr_layer_surface_v1_set_anchor(
        layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, role_.exclusiveZone);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, role_.keyboardInteractivity);
    zwlr_layer_surface_v1_set_size(layer_, 0, 0);
    // A commit without a buffer: the compositor answers with the first configure.
    wl_surface_commit(surface_);
    connection_.dispatchSoon();
}

void LayerViewWindow::hide() {
    if (!surface_) return;
    if (view_) view_->moveToWindow(nullptr, scale_, true);
    drawable_.reset();
    // A destroyed surface gets no callbacks.
    pacer_->reset();
    if (inputHandler_) connection_.seat().setInputHandler(surface_, {});
    if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
    if (viewport_) wp_viewport_destroy(viewport_);
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    wl_surface_destroy(surface_);
    surface_ = nullptr;
    layer_ = nullptr;
    viewport_ = nullptr;
    fractional_ = nullptr;
    configured_ = false;
    connection_.dispatchSoon();
}

void LayerViewWindow::configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    if (width > 0) width_ = static_cast<int>(width);
    if (height > 0) height_ = static_cast<int>(height);
    applySize();
    // A first frame maps it; one that is not drawing shows black at its new size.
    if (!configured_ || view_->isPaused()) drawable_->presentBlack();
    configured_ = true;
    updateOcclusion();
}

void LayerViewWindow::closedByCompositor() {
    closed_ = true;
    hide();
}

void LayerViewWindow::preferredScale(std::uint32_t scale120) {
    if (scale120 == 0) return;
    scale_ = scale120 / kScaleSteps;
    applySize();
}

void LayerViewWindow::applySize() {
    if (drawable_) drawable_->setPixelSize(pixels(width_, scale_), pixels(height_, scale_));
    if (viewport_) wp_viewport_set_destination(viewport_, width_, height_);
    view_->setBackingScale(scale_);
    view_->setFrameSize(width_, height_);
}

void LayerViewWindow::updateOcclusion() {
    view_->setWindowOccluded(!configured_ || pacer_->stalled());
}

}  // namespace tavel
