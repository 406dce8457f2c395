#pragma once
// The work that the application state starts but that lives in the system
// integrations: the lock-screen still and video, the live icons and the idle saver.
// AppState decides when (including the debounce timers); these do the work.
// All calls come on the main thread.

namespace tavel {

class Integrations {
public:
    virtual ~Integrations() = default;

    // Renders a still of the main screen's effect and sets it as the desktop picture.
    virtual void syncSystemWallpaperNow() = 0;
    // Re-encodes the lock-screen video when effect or parameters changed (or `force`).
    virtual void updateLockVideoIfNeeded(bool force) = 0;
    // Puts the system's own lock-screen video back.
    virtual void restoreOriginalAerial() = 0;
    // The one-time guide shown when the live lock-screen video is first switched on.
    virtual void runLockVideoGuide() = 0;
    // Every 2 seconds: icons and the accent colour from the running effect.
    virtual void refreshLiveIcons() = 0;
    // Every 3 seconds: measure the idle time, show or dismiss the idle saver.
    virtual void idleWatcherTick() = 0;
    // Display sleep or wake: the idle saver's own views pause or resume with it.
    virtual void displaySleepChanged(bool asleep) = 0;
};

// For a run without any of these integrations: every call does nothing.
class NoIntegrations final : public Integrations {
public:
    void syncSystemWallpaperNow() override {}
    void updateLockVideoIfNeeded(bool) override {}
    void restoreOriginalAerial() override {}
    void runLockVideoGuide() override {}
    void refreshLiveIcons() override {}
    void idleWatcherTick() override {}
    void displaySleepChanged(bool) override {}
};

}  // namespace tavel
