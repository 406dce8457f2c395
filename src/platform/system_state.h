#pragma once
// What the core learns from the system about power and display sleep, and what it
// tells the system about itself (activity, activation policy).

#include <cstdint>
#include <functional>
#include <string>

namespace tavel {

// The system's power-saving mode.
class PowerSource {
public:
    virtual ~PowerSource() = default;
    // True while the system asks programs to save power. Main thread.
    virtual bool lowPowerActive() const = 0;
    // Called on any thread when the state may have changed; one handler, empty removes.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

// Display sleep and wake.
class DisplaySleepSource {
public:
    virtual ~DisplaySleepSource() = default;
    // Called on any thread; one pair of handlers, empty functions remove them.
    virtual void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) = 0;
};

// Declared work that the system should know about ("Rendering live wallpaper").
class ProcessActivity {
public:
    virtual ~ProcessActivity() = default;
    // Begins an activity and returns its token (never 0). Main thread.
    virtual std::uint64_t begin(const std::string& reason) = 0;
    virtual void end(std::uint64_t token) = 0;
};

enum class ActivationPolicy { regular, accessory };

// Whether the application appears in task bars and window switchers.
class ActivationControl {
public:
    virtual ~ActivationControl() = default;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Brings the application's window to the front, ignoring other applications.
    virtual void activate() = 0;
};

}  // namespace tavel
