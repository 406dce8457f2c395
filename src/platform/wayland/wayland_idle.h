#pragma once
// The user's idle time and an input monitor from the compositor's idle notifications
// (see IdleNotification). Wayland tells clients nothing of other clients' input: idle
// notifications are all there is.

#include "platform/idle.h"
#include "platform/scheduler.h"
#include "platform/wayland/idle_notification.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tavel {

class WaylandConnection;

class WaylandIdleTime final : public IdleTimeSource {
public:
    // Short enough that the idle time is known to within it, long enough that input
    // does not send a stream of events.
    static constexpr Duration kDefaultTimeout = std::chrono::seconds(1);

    // Main thread; `connection` and `scheduler` (whose clock measures the time since the
    // notification fired) must outlive this.
    WaylandIdleTime(WaylandConnection& connection, Scheduler& scheduler,
                    Duration timeout = kDefaultTimeout);

    // 0 until the compositor reports no input for the timeout, then the timeout plus the
    // time since; 0 again after the next input. Always 0 without idle notifications, so a
    // saver waiting for idleness never starts.
    double idleSeconds() override;
    bool available() const { return notification_ != nullptr; }

private:
    Scheduler& scheduler_;
    Duration timeout_;
    std::optional<Duration> idleSince_;  // when the notification fired
    std::unique_ptr<IdleNotification> notification_;
};

// Notices the first input after a pause of kPause, anywhere on the seat: a saver that
// starts after a long idle time sees the user's next input. Input within kPause of
// start() or of an earlier report is not reported again.
class WaylandInputMonitor final : public InputMonitor {
public:
    static constexpr Duration kPause = std::chrono::milliseconds(100);

    // Main thread; `connection` must outlive this.
    explicit WaylandInputMonitor(WaylandConnection& connection) : connection_(connection) {}
    ~WaylandInputMonitor() override { stop(); }

    // Starting again replaces the callback. Without idle notifications nothing is
    // watched (available() says so). `onInput` may call stop().
    void start(std::function<void()> onInput) override;
    void stop() override;
    bool available() const { return IdleNotification::available(connection_); }

private:
    WaylandConnection& connection_;
    std::function<void()> onInput_;
    std::unique_ptr<IdleNotification> notification_;
};

}  // namespace tavel
