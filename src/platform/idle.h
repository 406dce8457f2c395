#pragma once
// What the idle saver needs from the window system: the user's idle time, input
// monitors that notice any input, and full-screen windows above everything.

#include "platform/screen.h"
#include "platform/wallpaper_window.h"

#include <functional>
#include <memory>

namespace tavel {

class IdleTimeSource {
public:
    virtual ~IdleTimeSource() = default;
    // Seconds since the last mouse, keyboard or scroll input of the user. Main thread.
    virtual double idleSeconds() = 0;
};

// Notices input anywhere: pointer motion, button presses, key presses and scrolling,
// whichever window or application gets them (they are still delivered there).
class InputMonitor {
public:
    virtual ~InputMonitor() = default;
    // Main thread. `onInput` runs on the main thread for each input until stop().
    virtual void start(std::function<void()> onInput) = 0;
    virtual void stop() = 0;
};

// A full-screen window above every other window, for the idle saver.
class SaverWindow {
public:
    virtual ~SaverWindow() = default;
    virtual WallpaperView& shaderView() = 0;
    // 0 shows black, 1 the effect.
    virtual void setAlpha(double alpha) = 0;
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
};

class SaverWindowFactory {
public:
    virtual ~SaverWindowFactory() = default;
    // A window covering the screen, alpha 0, not yet shown. Main thread.
    virtual std::unique_ptr<SaverWindow> makeSaverWindow(const ScreenRecord& screen) = 0;
};

}  // namespace tavel
