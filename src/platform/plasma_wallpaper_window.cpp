#include "platform/plasma_wallpaper_window.h"

namespace tavel {

PlasmaWallpaperWindow::PlasmaWallpaperWindow(WallpaperWindowFactory& own, PlasmaWallpapers& plasma,
                                             const ScreenRecord& screen)
    : ownWindows_(own), plasma_(plasma), screen_(screen) {
    handle_ = plasma_.attach(screen_, [this] { follow(); });
    follow();
}

PlasmaWallpaperWindow::~PlasmaWallpaperWindow() {
    plasma_.detach(handle_);
}

void PlasmaWallpaperWindow::follow() {
    if (plasma_.drawer(handle_) != PlasmaWallpapers::Drawer::own) {
        if (own_) {
            earlierFrames_ += own_->shaderView().framesDrawn();
            own_->orderOut();
            own_.reset();
        }
        tellPlugin();
        return;
    }
    if (!own_) {
        own_ = ownWindows_.makeWindow(screen_);
        if (!own_) return;
        WallpaperView& view = own_->shaderView();
        if (effect_) view.setEffect(*effect_);
        view.setParams(params_);
        view.setPreferredFramesPerSecond(fps_);
        view.setQualityScale(scale_);
        view.setRenderPaused(paused_);
    }
    if (shown_)
        own_->orderFront();
    else
        own_->orderOut();
}

void PlasmaWallpaperWindow::tellPlugin() {
    if (!effect_ || plasma_.drawer(handle_) == PlasmaWallpapers::Drawer::own) return;
    // A window that is not shown stops the plugin's effect where it is.
    plasma_.want(handle_, plasmaPluginConfig(*effect_, params_, fps_, scale_, paused_ || !shown_));
}

void PlasmaWallpaperWindow::orderFront() {
    shown_ = true;
    own_ ? own_->orderFront() : tellPlugin();
}

void PlasmaWallpaperWindow::orderOut() {
    shown_ = false;
    own_ ? own_->orderOut() : tellPlugin();
}

std::string PlasmaWallpaperWindow::drawnBy() const {
    switch (plasma_.drawer(handle_)) {
        case PlasmaWallpapers::Drawer::plugin:
            return "plasma plugin";
        case PlasmaWallpapers::Drawer::waiting:
            return "plasma plugin (asking plasmashell)";
        case PlasmaWallpapers::Drawer::own:
            break;
    }
    return own_ ? own_->drawnBy() : "no window";
}

void PlasmaWallpaperWindow::setEffect(const ShaderEffect& effect) {
    effect_ = effect;
    own_ ? own_->shaderView().setEffect(effect) : tellPlugin();
}

void PlasmaWallpaperWindow::setParams(const ShaderParams& params) {
    params_ = params;
    own_ ? own_->shaderView().setParams(params) : tellPlugin();
}

void PlasmaWallpaperWindow::setPreferredFramesPerSecond(std::int64_t fps) {
    fps_ = fps;
    own_ ? own_->shaderView().setPreferredFramesPerSecond(fps) : tellPlugin();
}

void PlasmaWallpaperWindow::setQualityScale(double scale) {
    scale_ = scale;
    own_ ? own_->shaderView().setQualityScale(scale) : tellPlugin();
}

void PlasmaWallpaperWindow::setRenderPaused(bool paused) {
    paused_ = paused;
    own_ ? own_->shaderView().setRenderPaused(paused) : tellPlugin();
}

std::uint64_t PlasmaWallpaperWindow::framesDrawn() const {
    return earlierFrames_ + (own_ ? own_->shaderView().framesDrawn() : 0);
}

bool PlasmaWallpaperWindow::isDrawing() const {
    if (own_) return own_->shaderView().isDrawing();
    return plasma_.drawer(handle_) == PlasmaWallpapers::Drawer::plugin && shown_ && !paused_;
}

}  // namespace tavel
