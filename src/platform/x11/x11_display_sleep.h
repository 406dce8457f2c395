#pragma once
// Display sleep and wake from the X server's DPMS power level, polled on the main loop.
// The server announces no DPMS changes, so polling is the only way to see them.

#include "platform/scheduler.h"
#include "platform/system_state.h"

#include <chrono>
#include <functional>
#include <optional>

namespace tavel {

class X11Connection;

// True when the screens are powered down: DPMS is enabled and the power level is not
// "on" (standby, suspend and off all count). `powerLevel` is a DPMSMode* value.
bool displaysAsleep(bool dpmsEnabled, int powerLevel);

enum class SleepChange { none, slept, woke };

// Turns successive readings into changes; the first reading only sets the baseline.
class SleepTracker {
public:
    SleepChange update(bool asleep);
    void reset() { asleep_.reset(); }

private:
    std::optional<bool> asleep_;
};

class DpmsSleepSource final : public DisplaySleepSource {
public:
    static constexpr Duration kPollInterval = std::chrono::seconds(5);

    // Main thread. `connection` and `scheduler` (the main loop) must outlive this.
    DpmsSleepSource(X11Connection& connection, Scheduler& scheduler,
                    Duration interval = kPollInterval);
    ~DpmsSleepSource() override = default;
    DpmsSleepSource(const DpmsSleepSource&) = delete;
    DpmsSleepSource& operator=(const DpmsSleepSource&) = delete;

    // Main thread. Polls while either handler is set; handlers run on the main thread.
    // Reports a change only after a reading that differs from the one before, so the
    // state found when polling starts is not reported. Without the DPMS extension
    // (Xvfb has none) nothing is polled and nothing is reported.
    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override;
    bool available() const { return available_; }

private:
    void poll();

    X11Connection& connection_;
    Scheduler& scheduler_;
    Duration interval_;
    bool available_ = false;
    SleepTracker tracker_;
    std::function<void()> didSleep_, didWake_;
    TimerHandle timer_;
};

}  // namespace tavel
