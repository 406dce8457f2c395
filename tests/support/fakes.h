#pragma once
// Fakes of the platform interfaces the core talks to. Each records what it was told
// into an optional shared journal, so tests can check the order of effects across
// them.

#include "app/core/integrations.h"
#include "platform/preferences_store.h"
#include "platform/screens.h"
#include "platform/system_state.h"
#include "platform/wallpaper_window.h"

#include <map>
#include <memory>
#include <mutex>
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
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    std::string setData(std::string_view key, std::span<const std::uint8_t> bytes) override {
        ++writes;
        note(journal_, "store " + std::string(key));
        if (!failWith.empty()) return failWith;
        values[std::string(key)] = std::vector<std::uint8_t>(bytes.begin(), bytes.end());
        return {};
    }
    std::string describe(std::string_view key) const override {
        return "memory:" + std::string(key);
    }
    std::string text(const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? "" : std::string(it->second.begin(), it->second.end());
    }

    std::map<std::string, std::vector<std::uint8_t>> values;
    int writes = 0;
    std::string failWith;  // when set, writes fail with this error and store nothing

private:
    Journal* journal_;
};

class FakeScreens final : public ScreenSource {
public:
    std::vector<ScreenRecord> screens() const override { return list; }
    void setChangeHandler(std::function<void()> handler) override { changed = std::move(handler); }

    std::vector<ScreenRecord> list;
    std::function<void()> changed;
};

struct FakeViewState {
    std::string effectId;
    int effectAssignments = 0;
    ShaderParams params;
    std::int64_t fps = 0;
    double qualityScale = 0;
    bool paused = false;
    bool front = false;
    bool closed = false;  // ordered out or destroyed
};

// A view that records what it is told into a shared state, and optionally notes
// effect assignments in the journal as "apply <name>".
class FakeView : public WallpaperView {
public:
    FakeView(std::shared_ptr<FakeViewState> state, Journal* journal, std::string name)
        : state_(std::move(state)), journal_(journal), name_(std::move(name)) {}

    void setEffect(const ShaderEffect& effect) override {
        state_->effectId = effect.id;
        ++state_->effectAssignments;
        note(journal_, "apply " + name_);
    }
    void setParams(const ShaderParams& params) override { state_->params = params; }
    void setPreferredFramesPerSecond(std::int64_t fps) override { state_->fps = fps; }
    void setQualityScale(double scale) override { state_->qualityScale = scale; }
    void setRenderPaused(bool paused) override { state_->paused = paused; }
    std::uint64_t framesDrawn() const override { return 0; }
    bool isDrawing() const override { return !state_->paused && state_->front; }

protected:
    std::shared_ptr<FakeViewState> state_;
    Journal* journal_;
    std::string name_;
};

class FakeWindow final : public WallpaperWindow, public FakeView {
public:
    using FakeView::FakeView;
    ~FakeWindow() override { state_->closed = true; }

    WallpaperView& shaderView() override { return *this; }
    void orderFront() override {
        state_->front = true;
        note(journal_, "front " + name_);
    }
    void orderOut() override {
        state_->front = false;
        state_->closed = true;
    }
};

// Keeps the state of every window it made, newest last, even after the window is gone.
class FakeWindowFactory final : public WallpaperWindowFactory {
public:
    explicit FakeWindowFactory(Journal* journal = nullptr) : journal_(journal) {}
    std::unique_ptr<WallpaperWindow> makeWindow(const ScreenRecord& screen) override {
        auto state = std::make_shared<FakeViewState>();
        made.push_back({screen, state});
        return std::make_unique<FakeWindow>(state, journal_, screen.name);
    }
    // The live (not closed) view of the screen with this name; null when none.
    FakeViewState* live(const std::string& name) const {
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            if (it->screen.name == name && !it->state->closed) return it->state.get();
        return nullptr;
    }
    int liveCount() const {
        int n = 0;
        for (const auto& m : made) n += !m.state->closed;
        return n;
    }

    struct Made {
        ScreenRecord screen;
        std::shared_ptr<FakeViewState> state;
    };
    std::vector<Made> made;

private:
    Journal* journal_;
};

class FakePower final : public PowerSource {
public:
    bool lowPowerActive() const override { return low; }
    void setChangeHandler(std::function<void()> handler) override { changed = std::move(handler); }
    bool low = false;
    std::function<void()> changed;
};

class FakeSleep final : public DisplaySleepSource {
public:
    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override {
        sleep = std::move(didSleep);
        wake = std::move(didWake);
    }
    std::function<void()> sleep, wake;
};

class FakeActivity final : public ProcessActivity {
public:
    explicit FakeActivity(Journal* journal = nullptr) : journal_(journal) {}
    std::uint64_t begin(const std::string& reason) override {
        ++begun;
        reasons.push_back(reason);
        note(journal_, "activity begin");
        return held = next++;
    }
    void end(std::uint64_t token) override {
        ++ended;
        if (token == held) held = 0;
        note(journal_, "activity end");
    }
    int begun = 0, ended = 0;
    std::uint64_t held = 0;
    std::vector<std::string> reasons;

private:
    std::uint64_t next = 1;
    Journal* journal_;
};

class FakeActivation final : public ActivationControl {
public:
    explicit FakeActivation(Journal* journal = nullptr) : journal_(journal) {}
    void setActivationPolicy(ActivationPolicy p) override {
        policy = p;
        note(journal_, p == ActivationPolicy::regular ? "policy regular" : "policy accessory");
    }
    void activate() override {
        ++activations;
        note(journal_, "activate");
    }
    ActivationPolicy policy = ActivationPolicy::regular;
    int activations = 0;

private:
    Journal* journal_;
};

// Every integration of the application, recording the calls.
class RecordingIntegrations final : public LockScreenStill,
                                    public LockScreenVideo,
                                    public LiveIcons,
                                    public IdleWatcher {
public:
    explicit RecordingIntegrations(Journal* journal = nullptr) : journal_(journal) {}
    Integrations all() { return {this, this, this, this}; }
    void syncSystemWallpaperNow() override { ++stills, note(journal_, "still"); }
    void updateLockVideoIfNeeded(bool force) override {
        ++(force ? forcedVideos : videos);
        note(journal_, force ? "video forced" : "video");
    }
    void restoreOriginalAerial() override { ++restores, note(journal_, "restore aerial"); }
    void runLockVideoGuide() override { ++guides, note(journal_, "guide"); }
    void refreshLiveIcons() override { ++iconRefreshes; }
    void idleWatcherTick() override { ++idleTicks; }
    void displaySleepChanged(bool asleep) override {
        sleepChanges.push_back(asleep);
        note(journal_, asleep ? "saver asleep" : "saver awake");
    }
    void screensChanged() override { ++screenChanges; }

    int stills = 0, videos = 0, forcedVideos = 0, restores = 0, guides = 0;
    int iconRefreshes = 0, idleTicks = 0, screenChanges = 0;
    std::vector<bool> sleepChanges;

private:
    Journal* journal_;
};

}  // namespace tavel::test
