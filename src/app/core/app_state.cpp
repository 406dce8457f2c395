// Creation, start, windows, applying settings and the settings reaction.

#include "app/core/app_state.h"

#include "platform/app_identity.h"

#include <random>
#include <utility>

namespace tavel {

using namespace std::chrono_literals;

namespace {

constexpr Duration kLiveIconInterval = 2s;
constexpr Duration kIdleWatcherInterval = 3s;
constexpr Duration kWallpaperSyncDelay = 2s;
constexpr Duration kLockVideoDelay = 4s;

std::function<std::size_t(std::size_t)> systemRandomIndex() {
    auto engine = std::make_shared<std::mt19937_64>(std::random_device{}());
    return [engine](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(*engine);
    };
}

}  // namespace

AppState::AppState(AppStateDependencies dependencies) : deps_(std::move(dependencies)) {
    if (!deps_.randomIndex) deps_.randomIndex = systemRandomIndex();
    settings_ = loadSettings(deps_.preferences, deps_.openLegacyPreferences, deps_.log).settings;
}

AppState::~AppState() {
    self_.reset();
    if (deps_.budget) {
        deps_.budget->setChangeHandler({});
        deps_.budget->setDrawing(false);
    }
    deps_.screens.setChangeHandler({});
    deps_.power.setChangeHandler({});
    deps_.sleep.setHandlers({}, {});
    if (activityToken_) deps_.activity.end(activityToken_);
    for (auto& [key, window] : wallpaperWindows_) window->orderOut();
}

// --- published properties -------------------------------------------------------

void AppState::willChange(Property property) {
    // Copied: an observer may add or remove observers.
    auto observers = observers_;
    for (auto& [id, observer] : observers) observer(property);
}

int AppState::addObserver(Observer observer) {
    observers_.emplace(nextObserver_, std::move(observer));
    return nextObserver_++;
}

void AppState::removeObserver(int id) {
    observers_.erase(id);
}

void AppState::setSettings(AppSettings settings) {
    writeSettings(std::move(settings));
}

void AppState::updateSettings(const std::function<void(AppSettings&)>& change) {
    AppSettings next = settings_;
    change(next);
    writeSettings(std::move(next));
}

void AppState::writeSettings(AppSettings next) {
    willChange(Property::settings);
    AppSettings old = std::exchange(settings_, std::move(next));
    settingsReaction(old);
}

void AppState::setSelectedDisplayTarget(std::string target) {
    willChange(Property::selectedDisplayTarget);
    selectedDisplayTarget_ = std::move(target);
}

void AppState::setAccent(Rgba accent) {
    willChange(Property::accent);
    accent_ = accent;
}

void AppState::setBrowseIndex(std::int64_t index) {
    willChange(Property::browseIndex);
    browseIndex_ = index;
}

// --- the settings reaction ------------------------------------------------------

void AppState::persist() {
    std::string text;
    try {
        text = encodeAppSettingsText(settings_);
    } catch (const EncodeError&) {
        // Nothing is written: the stored value stays as it was.
        return;
    }
    const std::string error = deps_.preferences.setData(kSettingsKey, textBytes(text)).why();
    // The previous value stays stored; say so once per distinct failure, not on every
    // step of a slider drag.
    if (!error.empty() && error != lastStoreError_)
        deps_.log.write("Tavel: settings could not be stored: " + error);
    lastStoreError_ = error;
}

void AppState::settingsReaction(const AppSettings& old) {
    const AppSettings& now = settings_;
    persist();
    applyAll();
    if (old.shuffleMinutes != now.shuffleMinutes) restartShuffleTimer();
    if (old.showDockIcon != now.showDockIcon) applyActivationPolicy();
    if (!old.syncLockScreen && now.syncLockScreen) syncStill();
    if (old.syncLockScreen && !now.syncLockScreen) {
        wallpaperSyncTimer_.cancel();  // a pending still must not come after the restore
        if (LockScreenStill* still = deps_.integrations.still) still->restoreDesktopPicture();
    }
    bool paramsChanged = old.params != now.params;
    if (now.syncLockScreen && paramsChanged) scheduleWallpaperSync();
    if (LockScreenVideo* video = deps_.integrations.video) {
        if (old.liveLockVideo && !now.liveLockVideo) {
            video->restoreOriginalAerial();
        } else if (!old.liveLockVideo && now.liveLockVideo) {
            video->runLockVideoGuide();
            video->updateLockVideoIfNeeded(true);
        }
    }
    if (now.liveLockVideo && paramsChanged) scheduleLockVideoUpdate();
}

void AppState::scheduleWallpaperSync() {
    // Replacing the handle cancels the pending still: one still after the last edit.
    wallpaperSyncTimer_ = deps_.scheduler.scheduleOnce(
        kWallpaperSyncDelay, self_.guard([](AppState& s) { s.syncStill(); }));
}

void AppState::scheduleLockVideoUpdate() {
    lockVideoTimer_ = deps_.scheduler.scheduleOnce(
        kLockVideoDelay, self_.guard([](AppState& s) { s.updateVideo(false); }));
}

// --- start and windows ----------------------------------------------------------

void AppState::defer(std::function<void(AppState&)> task) {
    deps_.scheduler.post(self_.guard(std::move(task)));
}

void AppState::syncStill() {
    if (LockScreenStill* still = deps_.integrations.still) still->syncSystemWallpaperNow();
}

void AppState::updateVideo(bool force) {
    if (LockScreenVideo* video = deps_.integrations.video) video->updateLockVideoIfNeeded(force);
}

void AppState::refreshIcons() {
    if (LiveIcons* icons = deps_.integrations.icons) icons->refreshLiveIcons();
}

void AppState::start() {
    if (started_) return;
    started_ = true;
    lowPowerActive_ = deps_.power.lowPowerActive();
    rebuildWindows();
    restartShuffleTimer();
    applyActivationPolicy();

    iconTimer_ = deps_.scheduler.scheduleRepeating(
        kLiveIconInterval, self_.guard([](AppState& s) { s.refreshIcons(); }));
    refreshIcons();

    syncBrowseToActive();
    if (settings_.syncLockScreen) syncStill();
    updateVideo(false);

    idleTimer_ =
        deps_.scheduler.scheduleRepeating(kIdleWatcherInterval, self_.guard([](AppState& s) {
            if (IdleWatcher* idle = s.deps_.integrations.idle) idle->idleWatcherTick();
        }));

    // A sample that moves the budget's limits applies them to every view.
    if (deps_.budget)
        deps_.budget->setChangeHandler(self_.guard([](AppState& s) { s.applyAll(); }));

    // The sources may call from any thread; the work always goes through the main queue.
    deps_.screens.setChangeHandler([this] { defer([](AppState& s) { s.rebuildWindows(); }); });
    deps_.power.setChangeHandler([this] { powerStateChanged(); });
    deps_.sleep.setHandlers([this] { screensDidSleep(); }, [this] { screensDidWake(); });
}

void AppState::rebuildWindows() {
    for (auto& [key, window] : wallpaperWindows_) window->orderOut();
    wallpaperWindows_.clear();

    std::vector<DisplayInfo> listed;
    for (const ScreenRecord& screen : deps_.screens.screens()) {
        std::string key = displayKey(screen);
        auto window = deps_.windows.makeWindow(screen);
        if (!window) continue;
        window->orderFront();
        // A later screen with the same key replaces the earlier one's window.
        if (auto it = wallpaperWindows_.find(key); it != wallpaperWindows_.end())
            it->second->orderOut();
        wallpaperWindows_[key] = std::move(window);
        listed.push_back(DisplayInfo{key, screen.name});
    }
    willChange(Property::displays);
    displays_ = std::move(listed);

    bool targetListed = selectedDisplayTarget_ == kAllDisplays;
    for (const DisplayInfo& display : displays_)
        targetListed |= display.key == selectedDisplayTarget_;
    if (!targetListed) setSelectedDisplayTarget(kAllDisplays);
    applyAll();
    if (IdleWatcher* idle = deps_.integrations.idle) idle->screensChanged();
}

std::string AppState::desktopHiddenBy() const {
    for (const auto& [key, window] : wallpaperWindows_)
        if (std::string name = window->hiddenBy(); !name.empty()) return name;
    return {};
}

WallpaperWindow* AppState::wallpaperWindow(const std::string& key) const {
    auto it = wallpaperWindows_.find(key);
    return it == wallpaperWindows_.end() ? nullptr : it->second.get();
}

// --- applying -------------------------------------------------------------------

bool AppState::pauseDecision() const {
    return settings_.paused || (settings_.pauseOnLowPower && lowPowerActive_) || displayAsleep_ ||
           idleSaverShown_;
}

void AppState::setIdleSaverShown(bool shown) {
    if (shown == idleSaverShown_) return;
    idleSaverShown_ = shown;
    applyAll();
}

ViewLimits AppState::userLimits() const {
    return ViewLimits{settings_.retinaQuality ? 1.0 : 0.5, settings_.fps};
}

ViewLimits AppState::budgeted(ViewLimits wish) const {
    return deps_.budget ? deps_.budget->limit(wish) : wish;
}

ViewLimits AppState::galleryBudgeted(ViewLimits wish) const {
    return deps_.budget ? deps_.budget->limitGallery(wish) : wish;
}

void AppState::setGalleryOpen(bool open) {
    if (deps_.budget) deps_.budget->setGalleryOpen(open);
}

void AppState::updateBudget(bool paused) {
    RenderBudget* budget = deps_.budget;
    if (!budget) return;
    budget->setUserLimits(userLimits());
    std::vector<std::pair<std::string, ShaderParams>> work;
    for (auto& [key, window] : wallpaperWindows_) {
        std::string id = shaderID(key);
        work.emplace_back(id, params(id));
    }
    if (work != budgetedWork_) {
        budgetedWork_ = std::move(work);
        budget->workChanged();
    }
    // The idle saver's views draw while it covers the desktop views, unless the
    // displays sleep.
    budget->setDrawing(!paused || (idleSaverShown_ && !displayAsleep_));
}

void AppState::applyAll() {
    const bool paused = pauseDecision();
    updateBudget(paused);
    const ViewLimits limits = viewLimits();
    for (auto& [key, window] : wallpaperWindows_) {
        WallpaperView& view = window->shaderView();
        std::string id = shaderID(key);
        if (auto effect = shaderEffect(id)) view.setEffect(*effect);
        view.setParams(params(id));
        view.setPreferredFramesPerSecond(limits.fps);
        view.setQualityScale(limits.scale);
        view.setRenderPaused(paused);
        window->setCoverDesktopProgram(settings_.coverDesktopIcons);
    }
    // A shown idle saver's views follow the same settings and budget.
    if (IdleWatcher* idle = deps_.integrations.idle) idle->viewLimitsChanged();
    // One activity, held exactly while the views run.
    if (!paused && activityToken_ == 0) {
        activityToken_ = deps_.activity.begin(kActivityReason);
    } else if (paused && activityToken_ != 0) {
        deps_.activity.end(activityToken_);
        activityToken_ = 0;
    }
}

std::string AppState::resolved(const std::string& candidate) const {
    if (shaderEffect(candidate)) return candidate;
    auto all = allShaders();
    return all.empty() ? candidate : all.front().id;
}

std::string AppState::shaderID(const std::string& displayKey) const {
    if (!settings_.sameOnAllDisplays) {
        if (auto it = settings_.perDisplay.find(displayKey); it != settings_.perDisplay.end())
            return resolved(it->second);
    }
    return resolved(settings_.globalShaderID);
}

ShaderParams AppState::params(const std::string& id) const {
    auto it = settings_.params.find(id);
    return it == settings_.params.end() ? ShaderParams{} : it->second;
}

std::string AppState::activeShaderID() const {
    if (selectedDisplayTarget_ == kAllDisplays) return resolved(settings_.globalShaderID);
    return shaderID(selectedDisplayTarget_);
}

void AppState::setShader(const std::string& id) {
    if (selectedDisplayTarget_ == kAllDisplays) {
        updateSettings([](AppSettings& s) { s.sameOnAllDisplays = true; });
        updateSettings([](AppSettings& s) { s.perDisplay.clear(); });
        updateSettings([&](AppSettings& s) { s.globalShaderID = id; });
    } else {
        updateSettings([](AppSettings& s) { s.sameOnAllDisplays = false; });
        updateSettings([&](AppSettings& s) { s.perDisplay[selectedDisplayTarget_] = id; });
    }
    if (settings_.syncLockScreen) syncStill();
    updateVideo(false);
}

}  // namespace tavel
