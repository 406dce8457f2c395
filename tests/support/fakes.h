#pragma once
// Fakes of the platform interfaces the core talks to, noting what they are told into an
// optional shared journal so that tests can check the order of effects across them.

#include "app/core/app_state.h"
#include "app/core/integrations.h"
#include "platform/preferences_store.h"
#include "platform/screens.h"
#include "platform/system_state.h"
#include "platform/wallpaper_window.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavel::test {

using Journal = std::vector<std::string>;

inline void note(Journal* journal, std::string entry) {
    if (journal) journal->push_back(std::move(entry));
}

class MemoryPreferencesStore final : public PreferencesStore {
public:
    explicit MemoryPreferencesStore(Journal* journal = nullptr) : journal_(journal) {}
    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override {
        auto it = values.find(std::string(key));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    Result<void> setData(std::string_view key, std::span<const std::uint8_t> bytes) override {
        ++writes;
        note(journal_, "store");
        if (!failWith.empty()) return Failure{failWith};
        values[std::string(key)].assign(bytes.begin(), bytes.end());
        return {};
    }
    std::string describe(std::string_view key) const override { return std::string(key); }

    std::map<std::string, std::vector<std::uint8_t>> values;
    int writes = 0;
    std::string failWith;  // when set, writes fail with this error and store nothing

private:
    Journal* journal_;
};

struct FakeViewState {
    std::string effectId;
    ShaderParams params;
    std::int64_t fps = 0;
    double qualityScale = 0;
    bool paused = false, front = false;
    bool closed = false;   // ordered out or destroyed
    std::string hiddenBy;  // the desktop program said to hide it
    bool cover = false;    // told to cover that program
};

class FakeView : public WallpaperView {
public:
    FakeView(std::shared_ptr<FakeViewState> state, Journal* journal, std::string name)
        : state_(std::move(state)), journal_(journal), name_(std::move(name)) {}
    void setEffect(const ShaderEffect& effect) override {
        state_->effectId = effect.id;
        note(journal_, "apply " + name_);
    }
    void setParams(const ShaderParams& params) override { state_->params = params; }
    void setPreferredFramesPerSecond(std::int64_t fps) override { state_->fps = fps; }
    void setQualityScale(double scale) override { state_->qualityScale = scale; }
    void setRenderPaused(bool paused) override { state_->paused = paused; }
    std::uint64_t framesDrawn() const override { return 0; }
    bool isDrawing() const override { return !state_->paused && state_->front; }
    ~FakeView() override { state_->closed = true; }

protected:
    std::shared_ptr<FakeViewState> state_;
    Journal* journal_;
    std::string name_;
};

class FakeWindow final : public WallpaperWindow, public FakeView {
public:
    using FakeView::FakeView;
    WallpaperView& shaderView() override { return *this; }
    void orderFront() override {
        state_->front = true;
        note(journal_, "front " + name_);
    }
    void orderOut() override {
        state_->front = false;
        state_->closed = true;
    }
    std::string drawnBy() const override { return "fake window"; }
    std::string hiddenBy() const override { return state_->cover ? "" : state_->hiddenBy; }
    void setCoverDesktopProgram(bool cover) override { state_->cover = cover; }
};

// The screens; every window made stays readable, newest last, after it is gone.
class FakeScreens final : public ScreenSource, public WallpaperWindowFactory {
public:
    explicit FakeScreens(Journal* journal) : journal_(journal) {}
    std::vector<ScreenRecord> screens() const override { return list; }
    void setChangeHandler(std::function<void()> handler) override { changed = std::move(handler); }
    std::unique_ptr<WallpaperWindow> makeWindow(const ScreenRecord& screen) override {
        made.emplace_back(screen.name, std::make_shared<FakeViewState>());
        return std::make_unique<FakeWindow>(made.back().second, journal_, screen.name);
    }

    std::vector<ScreenRecord> list;
    std::function<void()> changed;
    std::vector<std::pair<std::string, std::shared_ptr<FakeViewState>>> made;

private:
    Journal* journal_;
};

// Everything else around the state; the periodic integrations are only counted.
class FakeDesktop final : public PowerSource,
                          public DisplaySleepSource,
                          public ProcessActivity,
                          public ActivationControl,
                          public LockScreenStill,
                          public LockScreenVideo,
                          public LiveIcons,
                          public IdleWatcher {
public:
    explicit FakeDesktop(Journal* journal) : journal_(journal) {}
    Integrations integrations() { return {this, this, this, this}; }

    bool lowPowerActive() const override { return lowPower; }
    void setChangeHandler(std::function<void()> handler) override { powerChanged = handler; }
    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override {
        slept = std::move(didSleep);
        woke = std::move(didWake);
    }
    std::uint64_t begin(const std::string& reason) override {
        note(journal_, "begin " + reason);
        return activity = ++tokens_;
    }
    void end(std::uint64_t token) override {
        note(journal_, "end");
        if (token == activity) activity = 0;
    }
    void setActivationPolicy(ActivationPolicy p) override {
        note(journal_, p == ActivationPolicy::regular ? "regular" : "accessory");
    }
    void activate() override { note(journal_, "activate"); }
    void syncSystemWallpaperNow() override { note(journal_, "still"); }
    void restoreDesktopPicture() override { note(journal_, "picture back"); }
    void updateLockVideoIfNeeded(bool force) override {
        note(journal_, force ? "forced" : "video");
    }
    void restoreOriginalAerial() override { note(journal_, "restore"); }
    void runLockVideoGuide() override { note(journal_, "guide"); }
    void refreshLiveIcons() override { ++iconRefreshes; }
    void idleWatcherTick() override { ++idleTicks; }
    void displaySleepChanged(bool asleep) override { note(journal_, asleep ? "asleep" : "awake"); }
    void screensChanged() override { note(journal_, "screens changed"); }
    void viewLimitsChanged() override {}

    bool lowPower = false;
    std::function<void()> powerChanged, slept, woke;
    std::uint64_t activity = 0;  // the held token
    int iconRefreshes = 0, idleTicks = 0;

private:
    Journal* journal_;
    std::uint64_t tokens_ = 0;
};

// What an AppState needs, every system part played by `screens` and `desktop`.
inline AppStateDependencies fakedDependencies(Scheduler& scheduler, PreferencesStore& store,
                                              FakeScreens& screens, FakeDesktop& desktop,
                                              LogSink& log) {
    return AppStateDependencies{scheduler, store,   {},      screens, screens,
                                desktop,   desktop, desktop, desktop, desktop.integrations(),
                                log,       {}};
}

}  // namespace tavel::test
