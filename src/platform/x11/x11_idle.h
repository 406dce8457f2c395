#pragma once
// The user's idle time from the MIT-SCREEN-SAVER extension, and an input monitor on
// XInput2 raw events.

#include "platform/idle.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <functional>

namespace tavel {

class X11Connection;

class ScreenSaverIdleTime final : public IdleTimeSource {
public:
    // Main thread; `connection` must outlive this.
    explicit ScreenSaverIdleTime(X11Connection& connection);
    ~ScreenSaverIdleTime() override;
    ScreenSaverIdleTime(const ScreenSaverIdleTime&) = delete;
    ScreenSaverIdleTime& operator=(const ScreenSaverIdleTime&) = delete;

    // One round trip. The server keeps one idle time for all input devices together.
    // Without the extension: 0, so a saver waiting for idleness never starts.
    double idleSeconds() override;
    bool available() const { return info_ != nullptr; }

private:
    X11Connection& connection_;
    XScreenSaverInfo* info_ = nullptr;
};

// Raw pointer motion (scrolling on smooth-scroll devices included), key presses and
// button presses (wheel clicks are buttons 4 to 7) of every master device, selected on
// the root window while started. Raw events reach us whichever window has the focus or
// a grab, and still go to that window.
//
// One started monitor per connection: the root's XInput2 selection of a client is one
// mask, so a second monitor's stop() would end the first one's events too.
class XInputMonitor final : public InputMonitor {
public:
    // Main thread; `connection` must outlive this.
    explicit XInputMonitor(X11Connection& connection);
    ~XInputMonitor() override;
    XInputMonitor(const XInputMonitor&) = delete;
    XInputMonitor& operator=(const XInputMonitor&) = delete;

    // Starting again replaces the callback. Without XInput 2 on the server nothing is
    // watched (available() says so). `onInput` may call stop().
    void start(std::function<void()> onInput) override;
    void stop() override;
    bool available() const { return opcode_ >= 0; }

private:
    void select(bool on);

    X11Connection& connection_;
    int opcode_ = -1;  // XInputExtension's major opcode
    int handlerId_ = 0;
    std::function<void()> onInput_;
};

}  // namespace tavel
