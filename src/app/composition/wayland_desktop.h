#pragma once
// The desktop under a Wayland compositor with a desktop layer (zwlr_layer_shell_v1):
// outputs, bottom-layer desktop windows drawn with one EGL context, overlay-layer saver
// windows, idle time from the compositor's idle notifications. The gallery, a GLFW
// window of X11, goes through Xwayland when the session has it.

#include "app/composition/desktop_platform.h"
#include "platform/asio/asio_scheduler.h"

#include <memory>
#include <string>

namespace tavel {

// Which display server the application draws on, from the session's environment and
// what the compositor offers.
enum class DesktopKind {
    wayland,      // WAYLAND_DISPLAY names a compositor with a desktop layer
    x11,          // no Wayland compositor answers, or one without a desktop layer and
                  // $DISPLAY set
    unsupported,  // a Wayland compositor without a desktop layer, and no X11 display
};

// The line that says what still works where Tavel cannot draw the desktop.
inline constexpr const char* kUnsupportedDesktopLine =
    "tavel: this Wayland compositor offers no desktop layer (zwlr_layer_shell_v1) and "
    "there is no X11 display, so live wallpapers cannot run here; what works: the lock "
    "screen still synced to the desktop background (tavel render), the screen saver "
    "program halvane (under Xwayland or X11) and tavel export";

// The compositor of $WAYLAND_DISPLAY, connected, when it has a desktop layer; else
// nothing, with `kind` saying whether to go on with X11 or stop. Where the socket it
// names is not there yet, waits up to 30 s for the compositor to open it first.
std::unique_ptr<DesktopPlatform> openWaylandDesktop(AsioScheduler& loop, LogSink& log,
                                                    DesktopKind* kind);

}  // namespace tavel
