#include "app/composition/x11_desktop.h"

#include "app/composition/gl_stack.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/randr_screens.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_coverage.h"
#include "platform/x11/x11_display_sleep.h"
#include "platform/x11/x11_idle.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_saver_window.h"
#include "platform/x11/x11_wallpaper_window.h"

#include <cstdlib>
#include <optional>

namespace tavel {

namespace {

// The desktop's GLX context, or the gallery's alone under Xwayland.
struct GlxStack : GlStack<GlxContext> {
    Result<void> open(X11Connection& x11, AsioScheduler& loop, LogSink& log) {
        return GlStack::open(GlxContext::create(x11.display(), x11.screen()), "no OpenGL 3.3",
                             "this display", loop, log);
    }
};

class X11Desktop final : public DesktopPlatform {
public:
    X11Desktop(AsioScheduler& loop, LogSink& log, std::unique_ptr<X11Connection> x11)
        : loop_(loop), log_(log), x11_(std::move(x11)) {}
    ~X11Desktop() override { x11_->setLostHandler({}); }

    Result<void> prepare() override {
        if (Result<void> opened = gl_.open(*x11_, loop_, log_); !opened) return opened;
        coverage_.emplace(*x11_, loop_);
        stacking_.emplace(*x11_, loop_);
        services_.emplace(X11RenderServices{*x11_, *gl_.context, *gl_.programs, gl_.renderer, loop_,
                                            log_, &*coverage_, &*stacking_});
        screens_.emplace(*x11_, loop_);
        windows_.emplace(*services_);
        saverWindows_.emplace(*services_);
        idleTime_.emplace(*x11_);
        globalInput_.emplace(*x11_);
        saverInput_.emplace(*saverWindows_);
        return {};
    }
    ScreenSource& screens() override { return *screens_; }
    WallpaperWindowFactory& windows() override { return *windows_; }
    SaverWindowFactory& saverWindows() override { return *saverWindows_; }
    IdleTimeSource& idleTime() override { return *idleTime_; }
    std::vector<InputMonitor*> inputs() override { return {&*globalInput_, &*saverInput_}; }
    std::vector<std::unique_ptr<DisplaySleepSource>> sleepSources() override {
        std::vector<std::unique_ptr<DisplaySleepSource>> sources;
        sources.push_back(std::make_unique<DpmsSleepSource>(*x11_, loop_));
        return sources;
    }
    std::size_t programsCompiled() const override { return gl_.programs->buildCount(); }
    std::string rendererName() const override { return gl_.context->renderer(); }
    // The gallery draws with the desktop's context and renderer.
    std::uint64_t framesDrawn() const override { return gl_.renderer.framesDrawn(); }
    bool galleryPossible() const override { return true; }
    Executor& glThread() override { return gl_.compiler->executor(); }
    std::optional<GalleryGl> galleryGl() override {
        return GalleryGl{*gl_.context, *gl_.programs, gl_.renderer};
    }
    void setLostHandler(std::function<void()> handler) override {
        x11_->setLostHandler(std::move(handler));
    }

private:
    AsioScheduler& loop_;
    LogSink& log_;
    std::unique_ptr<X11Connection> x11_;
    GlxStack gl_;
    std::optional<X11CoverageWatcher> coverage_;
    std::optional<X11DesktopStackKeeper> stacking_;
    std::optional<X11RenderServices> services_;
    std::optional<RandrScreens> screens_;
    std::optional<X11WallpaperWindowFactory> windows_;
    std::optional<X11SaverWindowFactory> saverWindows_;
    std::optional<ScreenSaverIdleTime> idleTime_;
    std::optional<XInputMonitor> globalInput_;
    std::optional<SaverWindowInput<X11SaverWindowFactory>> saverInput_;
};

}  // namespace

Result<std::unique_ptr<DesktopPlatform>> openX11Desktop(AsioScheduler& loop, LogSink& log) {
    auto x11 = X11Connection::open(loop.context(), nullptr, log);
    if (!x11)
        return Failure{std::string("cannot open the X display") +
                       (std::getenv("DISPLAY") ? "" : " (DISPLAY is not set)") +
                       "; the desktop needs an X11 session or a Wayland compositor with a "
                       "desktop layer"};
    if (std::string missing = x11->missingDesktopExtensions(); !missing.empty())
        return Failure{"the X server lacks " + missing +
                       ", which desktop windows need to let clicks through"};
    return std::make_unique<X11Desktop>(loop, log, std::move(x11));
}

struct X11GalleryGl::Parts {
    std::unique_ptr<X11Connection> x11;
    GlxStack gl;  // goes first
};

std::unique_ptr<X11GalleryGl> X11GalleryGl::open(AsioScheduler& loop, LogSink& log) {
    auto parts = std::make_unique<Parts>();
    parts->x11 = X11Connection::open(loop.context(), nullptr, log);
    if (!parts->x11 || !parts->gl.open(*parts->x11, loop, log)) return nullptr;
    return std::unique_ptr<X11GalleryGl>(new X11GalleryGl(std::move(parts)));
}

X11GalleryGl::X11GalleryGl(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
X11GalleryGl::~X11GalleryGl() = default;

std::uint64_t X11GalleryGl::framesDrawn() const {
    return parts_->gl.renderer.framesDrawn();
}

GalleryGl X11GalleryGl::gl() {
    return GalleryGl{*parts_->gl.context, *parts_->gl.programs, parts_->gl.renderer};
}

}  // namespace tavel
