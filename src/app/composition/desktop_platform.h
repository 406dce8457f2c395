#pragma once
// The session's display server as the application meets it: the screens, the desktop
// and saver windows, idle time and input, sleep of the displays, and the GL the gallery
// draws with. X11 and Wayland each make one (x11_desktop.h, wayland_desktop.h).
//
// Main thread only. Everything it hands out lives as long as the platform.

#include "effects/log_sink.h"
#include "effects/shader_view.h"
#include "platform/idle.h"
#include "platform/result.h"
#include "platform/scheduler.h"
#include "platform/screens.h"
#include "platform/system_state.h"
#include "platform/wallpaper_window.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

class GlxContext;

// What the gallery window draws with: a GLX context on an X11 display (the desktop's own
// on X11, so its programs are compiled once) and the compiler and renderer of that
// context's share group.
struct GalleryGl {
    GlxContext& context;
    ProgramCompiler& compiler;
    FrameRenderer& renderer;
};

class DesktopPlatform {
public:
    virtual ~DesktopPlatform() = default;
    // Makes the GL context, its compile thread and the window factories. Called once,
    // after the single-instance claim (so a second start does no GL work); a failure when
    // effects cannot be drawn on this display.
    virtual Result<void> prepare() = 0;

    // After a successful prepare().
    virtual ScreenSource& screens() = 0;
    virtual WallpaperWindowFactory& windows() = 0;
    virtual SaverWindowFactory& saverWindows() = 0;
    virtual IdleTimeSource& idleTime() = 0;
    // Input anywhere, and input on the saver's own windows: what dismisses the saver.
    virtual std::vector<InputMonitor*> inputs() = 0;
    // The display server's own word on sleeping displays (DPMS on X11); logind is the
    // application's.
    virtual std::vector<std::unique_ptr<DisplaySleepSource>> sleepSources() = 0;
    virtual std::size_t programsCompiled() const = 0;
    // The background GL thread: effect programs are built there, in a context shared with
    // the views' and current on it for as long as it runs, so offscreen work (the live
    // icons, the stills) renders there without a context of its own.
    virtual Executor& glThread() = 0;
    // GL_RENDERER of the context the desktop views draw with; empty when the driver
    // would not say.
    virtual std::string rendererName() const = 0;
    // Frames drawn so far by every on-screen view (desktop, saver, gallery), together.
    virtual std::uint64_t framesDrawn() const = 0;
    // Whether the gallery can be drawn in this session at all (an X11 display).
    virtual bool galleryPossible() const = 0;
    // What the gallery draws with, opened at the first call where it is not the desktop
    // views' own; none when it cannot be drawn here.
    virtual std::optional<GalleryGl> galleryGl() = 0;
    // The gallery is gone: what galleryGl() opened for it alone may go too.
    virtual void releaseGalleryGl() {}

    // Runs when the display is lost, just before the process ends; it must not wait long.
    virtual void setLostHandler(std::function<void()> handler) = 0;
};

// The saver windows' own input as a monitor, for any factory with setInputHandler.
template <class Factory>
class SaverWindowInput final : public InputMonitor {
public:
    explicit SaverWindowInput(Factory& windows) : windows_(windows) {}
    void start(std::function<void()> onInput) override {
        windows_.setInputHandler(std::move(onInput));
    }
    void stop() override { windows_.setInputHandler({}); }

private:
    Factory& windows_;
};

}  // namespace tavel
