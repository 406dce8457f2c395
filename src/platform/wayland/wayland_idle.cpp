#include "platform/wayland/wayland_idle.h"

#include "platform/wayland/wayland_connection.h"

namespace tavel {

WaylandIdleTime::WaylandIdleTime(WaylandConnection& connection, Scheduler& scheduler,
                                 Duration timeout)
    : scheduler_(scheduler), timeout_(timeout) {
    notification_ = IdleNotification::create(
        connection, timeout, [this] { idleSince_ = scheduler_.now(); },
        [this] { idleSince_.reset(); });
}

double WaylandIdleTime::idleSeconds() {
    if (!idleSince_) return 0;
    return std::chrono::duration<double>(timeout_ + scheduler_.now() - *idleSince_).count();
}

void WaylandInputMonitor::start(std::function<void()> onInput) {
    onInput_ = std::move(onInput);
    if (notification_) return;
    notification_ = IdleNotification::create(
        connection_, kPause, [] {},
        [this] {
            if (auto callback = onInput_) callback();  // a copy: it may call stop()
        });
}

void WaylandInputMonitor::stop() {
    onInput_ = nullptr;
    notification_.reset();
}

}  // namespace tavel
