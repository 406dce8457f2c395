#include "app/composition/application.h"

#include "app/composition/instance_actions.h"
#include "app/composition/status_report.h"
#include "app/composition/wayland_desktop.h"
#include "app/composition/x11_desktop.h"
#include "app/core/app_state.h"
#include "app/icons/live_icon_refresher.h"
#include "app/integration/idle_saver.h"
#include "app/integration/live_lock_video.h"
#include "app/integration/lock_screen_still.h"
#include "app/integration/movie_exporter.h"
#include "app/ui/host/lazy_gallery.h"
#include "app/ui/tray/status_menu.h"
#include "app/ui/tray/tray_icon.h"
#include "platform/app_identity.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/asio/thread_executors.h"
#include "platform/atomic_file.h"
#include "platform/dbus/application_service.h"
#include "platform/dbus/bus_connection.h"
#include "platform/dbus/logind_sleep.h"
#include "platform/dbus/plasma_shell_client.h"
#include "platform/dbus/power_profiles.h"
#include "platform/dbus/status_notifier_item.h"
#include "platform/debounced_preferences_store.h"
#include "platform/desktop_picture.h"
#include "platform/plasma_wallpaper_window.h"
#include "platform/posix_process_runner.h"
#include "platform/process_activity_ledger.h"
#include "platform/render_load.h"
#include "platform/wallpaper_settings.h"
#include "platform/x11/x11_root_picture.h"
#include "platform/xdg_installation.h"
#include "platform/xdg_paths.h"

#include <malloc.h>
#include <asio/signal_set.hpp>

#include <csignal>
#include <ctime>
#include <exception>
#include <future>
#include <iostream>

namespace tavel {

namespace {

// The state takes its activation control before the gallery can be made: the policy
// waits here until it exists.
class GalleryActivation final : public ActivationControl {
public:
    void attach(ActivationControl* gallery) {
        gallery_ = gallery;
        if (gallery_) gallery_->setActivationPolicy(policy_);
    }
    void setActivationPolicy(ActivationPolicy policy) override {
        policy_ = policy;
        if (gallery_) gallery_->setActivationPolicy(policy);
    }
    void activate() override {
        if (gallery_) gallery_->activate();
    }

private:
    ActivationControl* gallery_ = nullptr;
    ActivationPolicy policy_ = ActivationPolicy::regular;
};

// Waits, when it goes, for the tasks submitted to `queue` so far to have run.
class QueueDrain {
public:
    explicit QueueDrain(Executor& queue) : queue_(queue) {}
    ~QueueDrain() {
        std::promise<void> done;
        std::future<void> ran = done.get_future();
        queue_.submit([&done] { done.set_value(); });
        ran.wait();
    }
    QueueDrain(const QueueDrain&) = delete;
    QueueDrain& operator=(const QueueDrain&) = delete;

private:
    Executor& queue_;
};

// A source that never reports: for a missing system bus.
class SilentPower final : public PowerSource {
public:
    bool lowPowerActive() const override { return false; }
    void setChangeHandler(std::function<void()>) override {}
};

enum class Instance { first, other, unknown };

// Claims the session's single instance before anything costly happens. Another
// instance is asked to come forward, and the answer is reported as it is.
Instance claimInstance(ApplicationService& service, LogSink& log, int& exitStatus) {
    const Result<ApplicationService::Claim> claim = service.claim();
    if (!claim) {
        log.write("Tavel: cannot own the bus name " + std::string(kAppBundleIdentifier) + ": " +
                  claim.why());
        return Instance::unknown;
    }
    switch (*claim) {
        case ApplicationService::Claim::owned:
            return Instance::first;
        case ApplicationService::Claim::taken: {
            auto reply = ApplicationClient().activate();
            if (reply.outcome == ApplicationClient::Outcome::ok) {
                std::cerr << "tavel: already running in this session; activated it\n";
                exitStatus = 0;
            } else {
                std::cerr << "tavel: already running in this session, but it could not be "
                             "activated: "
                          << reply.text << '\n';
                exitStatus = 1;
            }
            return Instance::other;
        }
    }
    return Instance::unknown;
}

// The bus watched on the loop, or null, the application running on without what needs it.
std::unique_ptr<BusConnection> watchBus(BusType type, AsioScheduler& loop, LogSink& log) {
    Result<std::unique_ptr<BusConnection>> bus = BusConnection::open(type, loop.context());
    if (bus) return std::move(*bus);
    if (type == BusType::session)
        log.write("Tavel: no session bus, running without single-instance control: " + bus.why());
    return nullptr;
}

void installActions(ApplicationService& service, AsioScheduler& loop, AppState& state,
                    std::function<void()> showMainWindow, std::function<std::string()> status) {
    service.setActivateHandler(std::move(showMainWindow));
    service.setAction("shuffle", 0, 0, [&state](const auto&) {
        state.shuffleNow();
        return Result<void>();
    });
    service.setAction("pause", 0, 0, [&state](const auto&) {
        setPausedAction(state, true);
        return Result<void>();
    });
    service.setAction("resume", 0, 0, [&state](const auto&) {
        setPausedAction(state, false);
        return Result<void>();
    });
    service.setAction(
        "set", 1, 2, [&state](const auto& arguments) { return setEffectAction(state, arguments); });
    service.setAction("quit", 0, 0, [&loop](const auto&) {
        loop.post([&loop] { loop.stop(); });
        return Result<void>();
    });
    service.setStatusProvider(std::move(status));
}

}  // namespace

int runApplication(LogSink& log, const ApplicationOptions& options) {
    AsioScheduler loop;
    // The display server: a Wayland compositor with a desktop layer, else X11.
    DesktopKind kind = DesktopKind::x11;
    std::unique_ptr<DesktopPlatform> platform = openWaylandDesktop(loop, log, &kind);
    if (kind == DesktopKind::unsupported) {
        std::cerr << kUnsupportedDesktopLine << '\n';
        return 1;
    }
    if (!platform) {
        Result<std::unique_ptr<DesktopPlatform>> x11 = openX11Desktop(loop, log);
        if (!x11) {
            std::cerr << "tavel: " << x11.why() << '\n';
            return 1;
        }
        platform = std::move(*x11);
    }

    // One instance per session, settled before any GL or settings work.
    std::unique_ptr<BusConnection> sessionBus = watchBus(BusType::session, loop, log);
    std::unique_ptr<ApplicationService> service;
    if (sessionBus) {
        service = std::make_unique<ApplicationService>(*sessionBus, log);
        int status = 0;
        switch (claimInstance(*service, log, status)) {
            case Instance::first:
                break;
            case Instance::other:
                return status;
            case Instance::unknown:
                service.reset();
                break;
        }
    }

    if (Result<void> prepared = platform->prepare(); !prepared) {
        std::cerr << "tavel: " << prepared.why() << '\n';
        return 1;
    }

    // Settings: written a moment after a change, newest value only, flushed at exit. What an
    // earlier run left half-written is cleared first; without the bus name another
    // instance may be writing there now, so only what is a minute old goes.
    FolderPreferencesStore folder = FolderPreferencesStore::forDomain(kAppBundleIdentifier);
    removeAtomicWriteLeftovers(folder.folder(),
                               service ? std::chrono::seconds(0) : std::chrono::seconds(60));
    DebouncedPreferencesStore preferences(folder, loop, log);
    platform->setLostHandler([&preferences] { preferences.flush(); });

    std::unique_ptr<BusConnection> systemBus = watchBus(BusType::system, loop, log);
    std::unique_ptr<PowerSource> power;
    std::vector<std::unique_ptr<DisplaySleepSource>> sleepSources = platform->sleepSources();
    if (systemBus) {
        power = std::make_unique<PowerProfilesSource>(*systemBus);
        sleepSources.push_back(std::make_unique<LogindSleepSource>(*systemBus));
    } else {
        power = std::make_unique<SilentPower>();
    }
    CombinedSleepSource sleep(std::move(sleepSources));

    // On a software rasteriser the on-screen views share a CPU budget; made before the
    // state that uses it, so it goes after it.
    ProcessRenderLoad renderLoad([&platform] { return platform->framesDrawn(); });
    RenderBudget budget(loop, renderLoad, options.cpuBudgetPercent, platform->rendererName());
    if (budget.applies())
        log.write("Tavel: software renderer " + budget.renderer() + ": the views keep within " +
                  percentText(budget.percent()) + " of a core");

    ProcessActivityLedger activity;
    GalleryActivation galleryActivation;
    LazyGallery* gallery = nullptr;  // made once the state exists
    ScreenSource& screens = platform->screens();
    IdleSaver saver(IdleSaverDependencies{loop, screens, platform->idleTime(),
                                          platform->saverWindows(), platform->inputs()});

    // The session's desktop, and the folder of what Tavel makes for it (stills, movies).
    const PictureSetter desktop = chooseSetter(DesktopFacts::fromEnvironment());
    const std::filesystem::path dataFolder = xdgDataHome() / "Tavel";
    // The icons and stills render on the platform's background GL thread, with the context
    // it already has there.
    Executor& iconQueue = platform->glThread();
    LiveIconRenderer iconRenderer(log, LiveIconRenderer::OnCurrentContext{});
    PosixProcessRunner runner;
    std::unique_ptr<DesktopPicture> picture = makeDesktopPicture(desktop, runner, [&dataFolder] {
        return std::make_unique<X11RootPicture>("", dataFolder / "root-picture-before.png");
    });
    // That thread outlives all here: what it still holds for the renderer and the picture
    // runs out before they go.
    QueueDrain iconQueueDrain(iconQueue);
    LiveIconRefresher icons(loop, iconQueue,
                            [&iconRenderer](const auto& effect, const auto& params, float time) {
                                return iconRenderer.renderFrame(effect, params, time);
                            });
    LockScreenStillSync still(LockScreenStillDependencies{
        loop, iconQueue, screens, *picture,
        [&iconRenderer](const auto& effect, const auto& params, int width, int height) {
            return iconRenderer.renderImage(effect, params, width, height);
        },
        setterName(desktop), dataFolder,
        [] { return static_cast<std::int64_t>(std::time(nullptr)); }, log});

    // The moving lock screen: one encode at a time on its own queue. The queue is made
    // first, so the job (stopped by the video's end) finishes before the queue goes.
    SerialExecutor lockVideoQueue("halvane.lockvideo", log);
    LiveLockVideo lockVideo(LiveLockVideoDependencies{
        loop,
        lockVideoQueue,
        preferences,
        // In the exporter's process: the encoder never loads into this one.
        [exporter = exporterPath()](const ShaderEffect& effect, const ShaderParams& params,
                                    const std::filesystem::path& destination,
                                    const std::function<void(double)>& progress) {
            exportThroughExporter(exporter, effect, params, 3840, 2160, 20.0, 30, destination,
                                  progress);
        },
        dataFolder,
        xdgVideosDir() / (std::string(LiveLockVideo::kAerialId) + ".mov"),
        // The guide is the gallery's dialog, which opens the settings itself; without a
        // gallery its answer is "Later".
        [&gallery] {
            if (gallery) gallery->showGuide();
            return false;
        },
        [desktop] { openWallpaperSettings(wallpaperSettingsCommands(desktop), startDetached); },
        // No lock-screen agent is known on Linux that would need telling.
        {},
        log});

    // Plasma's shell draws its desktops above Tavel's own windows: there the displays go
    // to Tavel's wallpaper plugin while plasmashell runs (made before the state, whose
    // windows use it).
    std::unique_ptr<PlasmaShellClient> plasmaShell;
    std::optional<PlasmaWallpapers> plasma;
    std::optional<PlasmaWallpaperWindowFactory> plasmaWindows;
    if (desktop == PictureSetter::Plasma && sessionBus) {
        plasmaShell = std::make_unique<PlasmaShellClient>(*sessionBus, loop);
        plasma.emplace(PlasmaWallpapersDependencies{*plasmaShell, loop, log,
                                                    dataFolder / "plasma-wallpapers-before.json"});
        plasmaWindows.emplace(platform->windows(), *plasma);
    }
    WallpaperWindowFactory& windows =
        plasmaWindows ? static_cast<WallpaperWindowFactory&>(*plasmaWindows) : platform->windows();

    Integrations integrations;
    integrations.idle = &saver;
    integrations.video = &lockVideo;
    integrations.icons = &icons;
    integrations.still = &still;
    XdgLoginItem loginItem = XdgLoginItem::forApplication(besideThisProgram("tavel"));
    XdgSaverInstaller saverInstaller =
        XdgSaverInstaller::forApplication(besideThisProgram("halvane"));
    AppState state(AppStateDependencies{loop,
                                        preferences,
                                        legacyDomainOpener(),
                                        screens,
                                        windows,
                                        *power,
                                        sleep,
                                        activity,
                                        galleryActivation,
                                        integrations,
                                        log,
                                        {},
                                        &loginItem,
                                        &saverInstaller,
                                        &budget});
    // Logo.png, when the installation carries one: the tray's icon and the gallery's title.
    const std::optional<Image> logo = findLogo(log);
    // The gallery window is made when first shown and released after a minute hidden.
    LazyGallery lazyGallery(
        loop, log, platform->galleryPossible(),
        [&]() -> Result<std::unique_ptr<GalleryWindow>> {
            std::optional<GalleryGl> gl = platform->galleryGl();
            if (!gl) return Failure{"no X11 display to show it on"};
            return GalleryWindow::create(GalleryWindowDependencies{
                loop.context(), loop, gl->context, gl->compiler, gl->renderer, preferences, log,
                state,
                [desktop] {
                    openWallpaperSettings(wallpaperSettingsCommands(desktop), startDetached);
                },
                [&lockVideo] { return lockVideo.progress(); },
                [&](const ShaderEffect& effect, const ShaderParams& params, auto done) {
                    iconQueue.submit([&, effect, params, done = std::move(done)]() mutable {
                        auto image = iconRenderer.renderImage(effect, params, 960, 600, 40.0f);
                        loop.post([done = std::move(done), image = std::move(image)]() mutable {
                            done(std::move(image));
                        });
                    });
                },
                [&logo](int pixels) -> std::optional<Image> {
                    if (!logo) return std::nullopt;
                    return fittedImage(*logo, pixels);
                }});
        },
        [&platform] {
            platform->releaseGalleryGl();
            // What the gallery freed goes back to the system, not only to the allocator.
            malloc_trim(0);
        });
    gallery = &lazyGallery;
    galleryActivation.attach(&lazyGallery);
    // Reopening the application (a second start, the tray's "Open Tavel…") shows the
    // gallery window.
    auto showMainWindow = [&gallery] {
        if (gallery) gallery->show();
    };
    saver.attach(state);
    icons.attach(state);
    still.attach(state);
    lockVideo.attach(state);
    if (service)
        installActions(*service, loop, state, showMainWindow, [&] {
            return statusReport(StatusSources{state, saver, activity, &lockVideo,
                                              platform->programsCompiled(), lazyGallery.state()});
        });

    // SIGHUP too: a closed terminal or a session manager ends it like a stop request.
    asio::signal_set signals(loop.context(), SIGINT, SIGTERM, SIGHUP);
    signals.async_wait([&](const std::error_code& error, int) {
        if (!error) loop.stop();
    });

    int exitStatus = 0;
    std::unique_ptr<StatusNotifierItem> tray;
    int trayObserver = 0;
    try {
        state.start();
        // The tray: its menu is built from the state each time a panel opens it.
        if (sessionBus) {
            StatusMenuCallbacks menu{showMainWindow, [&loop] { loop.stop(); }};
            tray = std::make_unique<StatusNotifierItem>(
                *sessionBus, loop, StatusNotifierItem::Appearance{.pixmaps = trayIcons(logo)},
                [&state, menu] { return buildStatusMenu(state, menu); }, log);
            tray->setActivateHandler(showMainWindow);
            trayObserver = state.addObserver([&loop, item = tray.get()](auto property) {
                // Told before the write: look again once it is done.
                if (property == AppState::Property::settings)
                    loop.post([item] { item->menuMayHaveChanged(); });
            });
        }
        if (!options.background) showMainWindow();
        loop.run();
    } catch (const std::exception& error) {
        log.write(std::string("Tavel: stopped after an internal error: ") + error.what());
        exitStatus = 1;
    } catch (...) {
        log.write("Tavel: stopped after an internal error");
        exitStatus = 1;
    }
    // Tavel stops: the desktops get their own wallpapers back. Windows go with the state;
    // the settings are already handed to the writer.
    if (plasma) plasma->handBack();
    signals.cancel();
    state.removeObserver(trayObserver);
    tray.reset();
    if (service) service.reset();
    galleryActivation.attach(nullptr);
    gallery = nullptr;
    preferences.flush();
    platform->setLostHandler({});  // the store goes before the connection
    return exitStatus;
}

}  // namespace tavel
