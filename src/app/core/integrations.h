#pragma once
// The work that the application state starts but that lives in the system integrations,
// one interface per duty: the lock-screen still, the lock-screen video, the live icons and
// the idle watcher. AppState decides when (including the debounce timers); these do the
// work. Every call comes on the main thread.

namespace tavel {

// The desktop picture that the lock screen shows.
class LockScreenStill {
public:
    virtual ~LockScreenStill() = default;
    // Renders a still of the main screen's effect and sets it as the desktop picture.
    virtual void syncSystemWallpaperNow() = 0;
    // The sync was switched off: the desktop picture the person had goes back.
    virtual void restoreDesktopPicture() = 0;
};

// The moving lock screen.
class LockScreenVideo {
public:
    virtual ~LockScreenVideo() = default;
    // Re-encodes the lock-screen video when effect or parameters changed (or `force`).
    virtual void updateLockVideoIfNeeded(bool force) = 0;
    // Puts the system's own lock-screen video back.
    virtual void restoreOriginalAerial() = 0;
    // The one-time guide shown when the live lock-screen video is first switched on.
    virtual void runLockVideoGuide() = 0;
};

// The icons and the accent colour taken from the running effect.
class LiveIcons {
public:
    virtual ~LiveIcons() = default;
    // Every 2 seconds, and once at start.
    virtual void refreshLiveIcons() = 0;
};

// The application's own screen saver.
class IdleWatcher {
public:
    virtual ~IdleWatcher() = default;
    // Every 3 seconds: measure the idle time, show or dismiss the saver.
    virtual void idleWatcherTick() = 0;
    // Display sleep or wake: the saver's own views pause or resume with it.
    virtual void displaySleepChanged(bool asleep) = 0;
    // The desktop windows were rebuilt for a new list of screens: a shown saver covers
    // exactly the screens there are now.
    virtual void screensChanged() = 0;
    // The settings or the CPU budget were applied to the desktop views: a shown saver's
    // views take the same frame rate and scale.
    virtual void viewLimitsChanged() = 0;
};

// The pieces of this build; a missing one (null) is work this build does not do.
struct Integrations {
    LockScreenStill* still = nullptr;
    LockScreenVideo* video = nullptr;
    LiveIcons* icons = nullptr;
    IdleWatcher* idle = nullptr;
};

}  // namespace tavel
