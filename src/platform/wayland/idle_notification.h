#pragma once
// One idle notification of the compositor: "idled" once the seat saw no input for the
// timeout, "resumed" at the next input. From ext-idle-notify-v1 where the compositor
// offers it, else from KDE's idle protocol (org_kde_kwin_idle). Main thread only.

#include "platform/scheduler.h"

#include <functional>
#include <memory>

struct ext_idle_notification_v1;
struct org_kde_kwin_idle_timeout;

namespace tavel {

class WaylandConnection;

class IdleNotification {
public:
    // Whether the compositor offers either protocol and a seat to watch.
    static bool available(const WaylandConnection& connection);
    // Nothing when it is not available. The callbacks run on the main thread while the
    // notification exists.
    static std::unique_ptr<IdleNotification> create(WaylandConnection& connection, Duration timeout,
                                                    std::function<void()> idled,
                                                    std::function<void()> resumed);
    ~IdleNotification();
    IdleNotification(const IdleNotification&) = delete;
    IdleNotification& operator=(const IdleNotification&) = delete;

    // Called by the listeners. Copies: a callback may destroy the notification.
    void idled() {
        auto callback = idled_;
        callback();
    }
    void resumed() {
        auto callback = resumed_;
        callback();
    }

private:
    IdleNotification(std::function<void()> idled, std::function<void()> resumed)
        : idled_(std::move(idled)), resumed_(std::move(resumed)) {}

    WaylandConnection* connection_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
    std::function<void()> idled_, resumed_;
};

}  // namespace tavel
