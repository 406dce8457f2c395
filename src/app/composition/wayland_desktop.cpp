#include "app/composition/wayland_desktop.h"

#include "app/composition/gl_stack.h"
#include "app/composition/x11_desktop.h"
#include "platform/wayland/egl_context.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_idle.h"
#include "platform/wayland/wayland_render_services.h"
#include "platform/wayland/wayland_saver_window.h"
#include "platform/wayland/wayland_screens.h"
#include "platform/wayland/wayland_socket.h"
#include "platform/wayland/wayland_wallpaper_window.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace tavel {

namespace {

// How long a compositor that was started beside Tavel may take to open its socket.
constexpr std::chrono::seconds kCompositorStartLimit{30};

class WaylandDesktop final : public DesktopPlatform {
public:
    WaylandDesktop(AsioScheduler& loop, LogSink& log, std::unique_ptr<WaylandConnection> wayland)
        : loop_(loop), log_(log), wayland_(std::move(wayland)) {}
    ~WaylandDesktop() override { wayland_->setLostHandler({}); }

    Result<void> prepare() override {
        if (Result<void> opened =
                gl_.open(EglContext::create(wayland_->display()), "no OpenGL 3.3 through EGL",
                         "this compositor", loop_, log_);
            !opened)
            return opened;
        services_.emplace(WaylandRenderServices{*wayland_, *gl_.context, *gl_.programs,
                                                gl_.renderer, loop_, log_});
        screens_.emplace(*wayland_, loop_);
        windows_.emplace(*services_);
        saverWindows_.emplace(*services_);
        idleTime_.emplace(*wayland_, loop_);
        globalInput_.emplace(*wayland_);
        saverInput_.emplace(*saverWindows_);
        if (!idleTime_->available())
            log_.write(
                "Tavel: the compositor offers no idle notifications; the idle saver "
                "stays off");
        return {};
    }
    ScreenSource& screens() override { return *screens_; }
    WallpaperWindowFactory& windows() override { return *windows_; }
    SaverWindowFactory& saverWindows() override { return *saverWindows_; }
    IdleTimeSource& idleTime() override { return *idleTime_; }
    std::vector<InputMonitor*> inputs() override { return {&*globalInput_, &*saverInput_}; }
    std::vector<std::unique_ptr<DisplaySleepSource>> sleepSources() override { return {}; }
    std::size_t programsCompiled() const override { return gl_.programs->buildCount(); }
    std::string rendererName() const override { return gl_.context->renderer(); }
    std::uint64_t framesDrawn() const override {
        return gl_.renderer.framesDrawn() + (galleryGl_ ? galleryGl_->framesDrawn() : 0);
    }
    Executor& glThread() override { return gl_.compiler->executor(); }
    bool galleryPossible() const override {
        const char* display = std::getenv("DISPLAY");
        return display && *display;
    }
    // The gallery is an X11 window: through Xwayland, with a context of its own, opened
    // only while the gallery exists.
    std::optional<GalleryGl> galleryGl() override {
        if (!galleryGl_ && galleryPossible()) galleryGl_ = X11GalleryGl::open(loop_, log_);
        if (!galleryGl_) return std::nullopt;
        return galleryGl_->gl();
    }
    void releaseGalleryGl() override { galleryGl_.reset(); }
    void setLostHandler(std::function<void()> handler) override {
        wayland_->setLostHandler(std::move(handler));
    }

private:
    AsioScheduler& loop_;
    LogSink& log_;
    std::unique_ptr<WaylandConnection> wayland_;
    // Before the connection goes: EGL ends its use of the display first.
    GlStack<EglContext> gl_;
    std::optional<WaylandRenderServices> services_;
    std::optional<WaylandScreens> screens_;
    std::optional<WaylandWallpaperWindowFactory> windows_;
    std::optional<WaylandSaverWindowFactory> saverWindows_;
    std::optional<WaylandIdleTime> idleTime_;
    std::optional<WaylandInputMonitor> globalInput_;
    std::optional<SaverWindowInput<WaylandSaverWindowFactory>> saverInput_;
    std::unique_ptr<X11GalleryGl> galleryGl_;
};

}  // namespace

std::unique_ptr<DesktopPlatform> openWaylandDesktop(AsioScheduler& loop, LogSink& log,
                                                    DesktopKind* kind) {
    *kind = DesktopKind::x11;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return nullptr;
    // Started before the compositor, as a session may do: its socket comes soon.
    auto socket = waylandSocketPath(name, std::getenv("XDG_RUNTIME_DIR"));
    std::error_code ignored;
    if (socket && !std::filesystem::exists(*socket, ignored)) {
        log.write("Tavel: waiting for the Wayland compositor to open " + socket->string());
        waitForSocket(*socket, kCompositorStartLimit);
    }
    auto wayland = WaylandConnection::open(loop.context(), log);
    if (wayland && wayland->hasLayerShell()) {
        *kind = DesktopKind::wayland;
        return std::make_unique<WaylandDesktop>(loop, log, std::move(wayland));
    }
    // A compositor that answers but has no desktop layer: X11 through Xwayland, if any.
    const char* x11 = std::getenv("DISPLAY");
    if (wayland && (!x11 || !*x11)) *kind = DesktopKind::unsupported;
    return nullptr;
}

}  // namespace tavel
