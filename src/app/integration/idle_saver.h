#pragma once
// The application's own screen saver: after the set minutes without input it covers
// every screen with that display's effect, fading in over 1.2 s; any input fades it
// out over 0.5 s. While it is shown the desktop views are paused.
//
// Main thread only. The watcher is ticked every 3 s by the application state.

#include "app/core/app_state.h"
#include "platform/idle.h"
#include "platform/scheduler.h"
#include "platform/screens.h"

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

class IdleSaver {
public:
    static constexpr double kFadeInSeconds = 1.2;
    static constexpr double kFadeOutSeconds = 0.5;
    static constexpr double kAlwaysThresholdSeconds = 10.0;  // for a negative setting
    static constexpr double kDismissBelowSeconds = 2.0;

    explicit IdleSaver(IdleSaverDependencies dependencies);
    ~IdleSaver();
    IdleSaver(const IdleSaver&) = delete;
    IdleSaver& operator=(const IdleSaver&) = delete;

    // The state whose settings, flags and views the saver uses; set before any tick.
    void attach(AppState& state) { state_ = &state; }

    // One tick of the watcher: measure the idle time, present or dismiss.
    void watcherTick();
    // Display sleep and wake pause and resume the saver's own views.
    void displaySleepChanged(bool asleep);

    bool shown() const { return !windows_.empty(); }
    std::size_t windowCount() const { return windows_.size(); }

    void present();
    void dismiss();

private:
    // Windows fading out, taken at dismissal: a presentation that starts meanwhile
    // keeps its own windows.
    struct FadeOut {
        std::vector<std::unique_ptr<SaverWindow>> windows;
        double from = 1;
        Duration start{};
        TimerHandle timer;
        bool done = false;
    };
    double elapsed(Duration since) const;
    void fadeInStep();
    void fadeOutStep(FadeOut& fade);
    void dropFinishedFades();

    IdleSaverDependencies deps_;
    AppState* state_ = nullptr;
    std::vector<std::unique_ptr<SaverWindow>> windows_;  // shown now
    double alpha_ = 0;                                   // of windows_
    Duration fadeInStart_{};
    TimerHandle fadeInTimer_;
    std::vector<std::unique_ptr<FadeOut>> fadesOut_;
    bool monitoring_ = false;
    // Timers and monitors hold this weakly.
    std::shared_ptr<IdleSaver*> self_;
};

}  // namespace tavel
