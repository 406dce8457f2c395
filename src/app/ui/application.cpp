#include "app/ui/application.h"

#include "app/core/app_state.h"
#include "app/integration/idle_saver.h"
#include "app/ui/app_integrations.h"
#include "app/ui/instance_actions.h"
#include "app/ui/status_report.h"
#include "effects/gl_frame_renderer.h"
#include "platform/app_identity.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/asio/thread_executors.h"
#include "platform/coalescing_preferences_store.h"
#include "platform/dbus/application_service.h"
#include "platform/dbus/bus_connection.h"
#include "platform/dbus/logind_sleep.h"
#include "platform/dbus/power_profiles.h"
#include "platform/process_activity_ledger.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/glx_program_compiler.h"
#include "platform/x11/randr_screens.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_display_sleep.h"
#include "platform/x11/x11_idle.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_saver_window.h"
#include "platform/x11/x11_wallpaper_window.h"

#include <asio/signal_set.hpp>

#include <csignal>
#include <iostream>

namespace tavel {

namespace {

// There is no gallery window yet: the policy is kept for reports, and activating has
// nothing to bring forward.
class HeadlessActivation final : public ActivationControl {
public:
    void setActivationPolicy(ActivationPolicy) override {}
    void activate() override {}
};

// Input on the saver's own windows, as a monitor.
class SaverWindowInput final : public InputMonitor {
public:
    explicit SaverWindowInput(X11SaverWindowFactory& windows) : windows_(windows) {}
    void start(std::function<void()> onInput) override {
        windows_.setInputHandler(std::move(onInput));
    }
    void stop() override { windows_.setInputHandler({}); }

private:
    X11SaverWindowFactory& windows_;
};

// A source that never reports: for a missing system bus.
class SilentPower final : public PowerSource {
public:
    bool lowPowerActive() const override { return false; }
    void setChangeHandler(std::function<void()>) override {}
};

}  // namespace

int runApplication(LogSink& log) {
    AsioScheduler loop;
    auto x11 = X11Connection::open(loop.context());
    if (!x11) {
        std::cerr << "tavel: cannot open the X display"
                  << (std::getenv("DISPLAY") ? "" : " (DISPLAY is not set)")
                  << "; the desktop needs an X11 session\n";
        return 1;
    }

    // One instance per session: a second start activates the first and ends.
    std::string busError;
    auto sessionBus = BusConnection::open(BusType::session, loop.context(), &busError);
    std::unique_ptr<ApplicationService> service;
    if (sessionBus) {
        service = std::make_unique<ApplicationService>(*sessionBus);
    } else {
        log.write("Tavel: no session bus, running without single-instance control: " + busError);
    }

    std::string why;
    auto glx = GlxContext::create(x11->display(), x11->screen(), &why);
    if (!glx) {
        std::cerr << "tavel: no OpenGL 3.3 on this display: " << why << '\n';
        return 1;
    }
    auto compiler = GlxProgramCompiler::create(*glx, loop, log);
    if (!compiler) {
        std::cerr << "tavel: cannot compile effects in the background on this display\n";
        return 1;
    }
    GlFrameRenderer renderer;
    X11RenderServices services{*x11, *glx, *compiler, renderer, loop, log};

    // Settings: written off the main thread, newest value only, flushed at exit.
    FolderPreferencesStore folder = FolderPreferencesStore::forDomain(kAppBundleIdentifier);
    SerialExecutor settingsWriter("tavel.settings");
    CoalescingPreferencesStore preferences(folder, settingsWriter, log);

    RandrScreens screens(*x11);
    X11WallpaperWindowFactory windows(services);
    X11SaverWindowFactory saverWindows(services);

    auto systemBus = BusConnection::open(BusType::system, loop.context(), &busError);
    std::unique_ptr<PowerSource> power;
    std::vector<std::unique_ptr<DisplaySleepSource>> sleepSources;
    if (systemBus) {
        power = std::make_unique<PowerProfilesSource>(*systemBus);
        sleepSources.push_back(std::make_unique<LogindSleepSource>(*systemBus));
    } else {
        power = std::make_unique<SilentPower>();
    }
    sleepSources.push_back(std::make_unique<DpmsSleepSource>(*x11, loop));
    CombinedSleepSource sleep(std::move(sleepSources));

    ProcessActivityLedger activity;
    HeadlessActivation activation;
    ScreenSaverIdleTime idleTime(*x11);
    XInputMonitor globalInput(*x11);
    SaverWindowInput saverInput(saverWindows);
    IdleSaver saver(
        IdleSaverDependencies{loop, screens, idleTime, saverWindows, {&globalInput, &saverInput}});
    AppIntegrations integrations(saver);

    AppState state(AppStateDependencies{loop,
                                        preferences,
                                        legacyDomainOpener(),
                                        screens,
                                        windows,
                                        *power,
                                        sleep,
                                        activity,
                                        activation,
                                        integrations,
                                        log,
                                        {}});
    saver.attach(state);

    if (service) {
        service->setActivateHandler([] {});
        service->setAction("shuffle", 0, 0, [&](const auto&) {
            state.shuffleNow();
            return std::string();
        });
        service->setAction("pause", 0, 0, [&](const auto&) {
            setPausedAction(state, true);
            return std::string();
        });
        service->setAction("resume", 0, 0, [&](const auto&) {
            setPausedAction(state, false);
            return std::string();
        });
        service->setAction(
            "set", 1, 2, [&](const auto& arguments) { return setEffectAction(state, arguments); });
        service->setAction("quit", 0, 0, [&](const auto&) {
            loop.post([&] { loop.stop(); });
            return std::string();
        });
        service->setStatusProvider([&] { return statusReport(state, saver, activity); });
        std::string claimError;
        switch (service->claim(&claimError)) {
            case ApplicationService::Claim::owned:
                break;
            case ApplicationService::Claim::taken: {
                ApplicationClient client;
                client.activate();
                std::cerr << "tavel: already running in this session; activated it\n";
                return 0;
            }
            case ApplicationService::Claim::failed:
                log.write("Tavel: cannot own the bus name " + std::string(kAppBundleIdentifier) +
                          ": " + claimError);
                service.reset();
                break;
        }
    }

    asio::signal_set signals(loop.context(), SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code& error, int) {
        if (!error) loop.stop();
    });

    state.start();
    loop.run();
    // Windows go with the state; the settings are already handed to the writer.
    signals.cancel();
    if (service) service.reset();
    preferences.flush();
    return 0;
}

}  // namespace tavel
