#pragma once
// The one object that decides what the desktop shows: it owns the live settings and
// persists them, keeps one wallpaper window per display, pushes effect, parameters,
// frame rate, quality and pause state to their views, and reacts to settings changes,
// display changes, display sleep and the power state.
//
// Main thread only. Platform notifications may arrive on any thread; they are always
// deferred to the main queue. Timers and deferred work hold the state weakly: nothing
// runs after it is destroyed.

#include "app/core/app_settings.h"
#include "app/core/binding.h"
#include "app/core/display_key.h"
#include "app/core/integrations.h"
#include "app/core/settings_loader.h"
#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "effects/rgba.h"
#include "platform/installation.h"
#include "platform/preferences_store.h"
#include "platform/render_budget.h"
#include "platform/scheduler.h"
#include "platform/screens.h"
#include "platform/system_state.h"
#include "platform/wallpaper_window.h"
#include "platform/weak_self.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

struct AppStateDependencies {
    Scheduler& scheduler;
    PreferencesStore& preferences;  // the application's own domain
    PreferencesOpener openLegacyPreferences;
    ScreenSource& screens;
    WallpaperWindowFactory& windows;
    PowerSource& power;
    DisplaySleepSource& sleep;
    ProcessActivity& activity;
    ActivationControl& activation;
    Integrations integrations;
    LogSink& log;
    // An index drawn uniformly from 0 up to n (excluded); the system's random source
    // when empty.
    std::function<std::size_t(std::size_t n)> randomIndex;
    // Starting with the session and the screen-saver program; null: this build has none.
    LoginItem* loginItem = nullptr;
    SaverInstaller* saverInstaller = nullptr;
    // The views' CPU budget on a software renderer; null: the views get the settings as
    // they are.
    RenderBudget* budget = nullptr;
};

class AppState {
public:
    // The published properties; observers are told before each write.
    enum class Property {
        settings,
        selectedDisplayTarget,
        displays,
        accent,
        browseIndex,
        launchAtLogin,  // read it again: the registration lives in the system
    };
    using Observer = std::function<void(Property)>;

    static constexpr const char* kActivityReason = "Rendering live wallpaper";
    static constexpr Rgba kInitialAccent{0.55f, 0.75f, 1.0f, 1.0f};

    // Loads the settings (setting them does not run the reaction). Nothing else runs
    // until start().
    explicit AppState(AppStateDependencies dependencies);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Published properties.
    const AppSettings& settings() const { return settings_; }
    // A write of the whole record; runs the settings reaction, even for an equal value.
    void setSettings(AppSettings settings);
    // An in-place write of one or more fields; one write, one reaction.
    void updateSettings(const std::function<void(AppSettings&)>& change);
    const std::string& selectedDisplayTarget() const { return selectedDisplayTarget_; }
    void setSelectedDisplayTarget(std::string target);
    const std::vector<DisplayInfo>& displays() const { return displays_; }
    Rgba accent() const { return accent_; }
    void setAccent(Rgba accent);
    std::int64_t browseIndex() const { return browseIndex_; }
    void setBrowseIndex(std::int64_t index);

    // Returns an id for removeObserver.
    int addObserver(Observer observer);
    void removeObserver(int id);

    // Called once: windows, timers and notification handlers.
    void start();
    // Recreates every desktop window from the current screens.
    void rebuildWindows();
    // Pushes the current settings and the pause decision to every desktop view.
    void applyAll();
    // Chooses an effect for the current target (all displays or one).
    void setShader(const std::string& id);
    // The effect a display shows; always a catalog effect.
    std::string shaderID(const std::string& displayKey) const;
    // The stored parameters of an effect, or the default record.
    ShaderParams params(const std::string& id) const;
    // The effect of the current target.
    std::string activeShaderID() const;

    // Shuffle, browse, pause.
    void shuffleNow();
    void browse(std::int64_t step);
    ShaderEffect browsedEffect() const;
    void applyBrowsed();
    void syncBrowseToActive();
    void togglePaused();

    // Parameter editing. `field` is one of the four float controls of ShaderParams.
    Binding<float> paramBinding(float ShaderParams::*field, const std::string& id);
    // accentSlot true edits the accent colour, false the background. Reads as sRGB,
    // writes exactly three components; opacity is dropped.
    Binding<Rgba> colorBinding(bool accentSlot, const std::string& id);
    // Slot 1 edits the first slider; every other value the second.
    Binding<float> customBinding(std::int64_t slot, const std::string& id);
    void resetParams(const std::string& id);

    // Whether the desktop starts the application with the session (asked anew each time).
    bool launchAtLogin() const;
    // Registers or removes the login item; a failure is one log line. Observers are told
    // either way, so that they read the real state again.
    void setLaunchAtLogin(bool on);
    // Whether the screen-saver program ships with this build (looked up once).
    bool saverEmbedded() const;
    // Registers the screen-saver program with the desktop; returns how to use it (empty when
    // it is not there or the registration failed, which is one log line).
    std::string installScreenSaver();

    // The idle saver covers the screens: the desktop views stay paused while it is shown,
    // whatever else applies the settings meanwhile.
    void setIdleSaverShown(bool shown);
    bool idleSaverShown() const { return idleSaverShown_; }

    // What a view that wishes for `wish` may draw at under the CPU budget (the wish
    // itself without one): for the idle saver's views.
    ViewLimits budgeted(ViewLimits wish) const;
    // The same for the gallery's pictures, which have a budget of their own while the
    // gallery is open (see RenderBudget).
    ViewLimits galleryBudgeted(ViewLimits wish) const;
    // The gallery window is shown and not minimised, or not.
    void setGalleryOpen(bool open);
    // The scale and frame rate of the desktop views: the settings', lowered by the budget.
    ViewLimits viewLimits() const { return budgeted(userLimits()); }
    const RenderBudget* renderBudget() const { return deps_.budget; }

    // State for reports (tavel status).
    bool viewsPaused() const { return pauseDecision(); }
    bool lowPowerActive() const { return lowPowerActive_; }
    bool displayAsleep() const { return displayAsleep_; }
    bool holdsActivity() const { return activityToken_ != 0; }
    bool shuffleScheduled() const { return shuffleTimer_.active(); }
    // The window of a display key, for reports and tests; null when there is none.
    WallpaperWindow* wallpaperWindow(const std::string& key) const;
    // The desktop program whose opaque desktop hides a display's effect (the first such),
    // empty when none does: what the cover setting is for.
    std::string desktopHiddenBy() const;

private:
    bool pauseDecision() const;
    ViewLimits userLimits() const;
    // Tells the budget whether views draw and whether they draw something new.
    void updateBudget(bool paused);
    void willChange(Property property);
    void writeSettings(AppSettings next);
    void settingsReaction(const AppSettings& old);
    void persist();
    void restartShuffleTimer();
    void applyActivationPolicy();
    void scheduleWallpaperSync();
    void scheduleLockVideoUpdate();
    // Runs `task` on the main queue later, unless this state is gone by then.
    void defer(std::function<void(AppState&)> task);
    // The integrations of this build; nothing happens for a missing one.
    void syncStill();
    void updateVideo(bool force);
    void refreshIcons();
    void powerStateChanged();
    void screensDidSleep();
    void screensDidWake();
    std::string resolved(const std::string& candidate) const;
    void writeParams(const std::string& id, const std::function<void(ShaderParams&)>& change);

    AppStateDependencies deps_;
    // Published, main thread.
    AppSettings settings_;
    std::string selectedDisplayTarget_ = kAllDisplays;
    std::vector<DisplayInfo> displays_;
    Rgba accent_ = kInitialAccent;
    std::int64_t browseIndex_ = 0;
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;
    // Private, main thread.
    std::map<std::string, std::unique_ptr<WallpaperWindow>> wallpaperWindows_;
    TimerHandle shuffleTimer_;
    TimerHandle iconTimer_;
    TimerHandle idleTimer_;
    TimerHandle wallpaperSyncTimer_;
    TimerHandle lockVideoTimer_;
    bool lowPowerActive_ = false;
    bool displayAsleep_ = false;
    bool idleSaverShown_ = false;
    mutable std::optional<bool> saverEmbedded_;
    std::uint64_t activityToken_ = 0;
    std::string lastStoreError_;
    bool started_ = false;
    // What the views drew when the budget last heard of it: effect and parameters per
    // window.
    std::vector<std::pair<std::string, ShaderParams>> budgetedWork_;
    // Timers and deferred work hold the state weakly; they expire with it.
    WeakSelf<AppState> self_{*this};
};

}  // namespace tavel
