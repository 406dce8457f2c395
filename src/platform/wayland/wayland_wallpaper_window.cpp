#include "platform/wayland/wayland_wallpaper_window.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace tavel {

namespace {

LayerViewWindow::Role wallpaperRole() {
    LayerViewWindow::Role role;
    role.layer = ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND;
    role.keyboardInteractivity = ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE;
    role.passInput = true;
    role.nameSpace = "tavel-wallpaper";
    return role;
}

}  // namespace

WaylandWallpaperWindow::WaylandWallpaperWindow(const WaylandRenderServices& services,
                                               const ScreenRecord& screen)
    : window_(services, screen, wallpaperRole()) {}

}  // namespace tavel
