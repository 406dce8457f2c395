#pragma once
// The application's own screen saver: after the set minutes without input it covers
// every screen with that display's effect, fading in over 1.2 s; any input fades it
// out over 0.5 s. While it is shown the desktop views are paused (the state's pause
// decision knows), and it covers exactly the screens there are, also when they change.
//
// Main thread only. The watcher is ticked every 3 s by the application state.

#include "app/core/app_state.h"
#include "app/core/integrations.h"
#include "platform/idle.h"
#include "platform/scheduler.h"
#include "platform/screens.h"
#include "platform/weak_self.h"

#include <memory>
#include <vector>

namespace tavel {

struct IdleSaverDependencies {
    Scheduler& scheduler;
    ScreenSource& screens;
    IdleTimeSource& idleTime;
    SaverWindowFactory& windows;
    // Input anywhere (other applications) and on the saver's own windows; each
    // dismisses the saver.
    std::vector<InputMonitor*> monitors;
};

class IdleSaver final : public IdleWatcher {
public:
    static constexpr double kFadeInSeconds = 1.2;
    static constexpr double kFadeOutSeconds = 0.5;
    static constexpr double kAlwaysThresholdSeconds = 10.0;  // for a negative setting
    static constexpr double kDismissBelowSeconds = 2.0;

    explicit IdleSaver(IdleSaverDependencies dependencies);
    ~IdleSaver() override;
    IdleSaver(const IdleSaver&) = delete;
    IdleSaver& operator=(const IdleSaver&) = delete;

    // The state whose settings, flags and views the saver uses; set before any tick.
    void attach(AppState& state) { state_ = &state; }

    // One tick of the watcher: measure the idle time, present or dismiss.
    void idleWatcherTick() override;
    // Display sleep and wake pause and resume the saver's own views.
    void displaySleepChanged(bool asleep) override;
    // While shown: a screen that is gone loses its window, a new one is covered.
    void screensChanged() override;
    // The shown windows' views take the desktop views' frame rate and scale.
    void viewLimitsChanged() override;

    bool shown() const { return shown_; }
    std::size_t windowCount() const { return windows_.size(); }

    void present();
    void dismiss();

private:
    struct Covering {
        ScreenRecord screen;
        std::unique_ptr<SaverWindow> window;
    };
    // Windows fading out, taken at dismissal: a presentation that starts meanwhile
    // keeps its own windows.
    struct FadeOut {
        std::vector<Covering> windows;
        double from = 1;
        Duration start{};
        TimerHandle timer;
        bool done = false;
    };
    double elapsed(Duration since) const;
    void fadeInStep();
    void fadeOutStep(FadeOut& fade);
    void dropFinishedFades();
    // A window showing the screen's effect at the current alpha; null when none can be made.
    std::unique_ptr<SaverWindow> cover(const ScreenRecord& screen);

    IdleSaverDependencies deps_;
    AppState* state_ = nullptr;
    bool shown_ = false;
    std::vector<Covering> windows_;  // shown now, one per screen
    double alpha_ = 0;               // of windows_
    Duration fadeInStart_{};
    TimerHandle fadeInTimer_;
    std::vector<std::unique_ptr<FadeOut>> fadesOut_;
    bool monitoring_ = false;
    // Timers and monitors hold this weakly.
    WeakSelf<IdleSaver> self_{*this};
};

}  // namespace tavel
