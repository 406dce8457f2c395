#pragma once
// The desktop on an X11 display: RandR monitors, desktop-type windows drawn with one
// GLX context, override-redirect saver windows, MIT-SCREEN-SAVER idle time, XInput2
// input, DPMS.

#include "app/composition/desktop_platform.h"
#include "platform/asio/asio_scheduler.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tavel {

class X11Connection;

// The display named by $DISPLAY, connected; a failure (for standard error) when it cannot be
// opened or lacks what desktop windows need.
Result<std::unique_ptr<DesktopPlatform>> openX11Desktop(AsioScheduler& loop, LogSink& log);

// The gallery's GL alone, on $DISPLAY (Xwayland under a Wayland compositor): its own GLX
// context and compile thread. Nothing when there is no X11 display or no GL 3.3 on it.
class X11GalleryGl {
public:
    static std::unique_ptr<X11GalleryGl> open(AsioScheduler& loop, LogSink& log);
    ~X11GalleryGl();
    GalleryGl gl();
    // Frames its views have drawn so far.
    std::uint64_t framesDrawn() const;

private:
    struct Parts;
    explicit X11GalleryGl(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> parts_;
};

}  // namespace tavel
