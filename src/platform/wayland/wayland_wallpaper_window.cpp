#include "platform/wayland/wayland_wallpaper_window.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace tavel {

namespace {

LayerViewWindow::Role wallpaperRole() {
    LayerViewWindow::Role role;
    // The bottom layer, not the background one: sway draws the surfaces of one layer
    // oldest on top, so a background program started before us (swaybg) would hide ours.
    // The bottom layer lies above every background program and below every window.
    role.layer = ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM;
    // Clear of the space panels reserve (swaybar is on the bottom layer too): a panel
    // started after us stays in view.
    role.exclusiveZone = 0;
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
