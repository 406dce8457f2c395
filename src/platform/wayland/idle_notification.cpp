#include "platform/wayland/idle_notification.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_seat.h"

#include <wayland-client.h>

#include <algorithm>
#include <chrono>

namespace tavel {

namespace {

IdleNotification& notificationOf(void* data) {
    return *static_cast<IdleNotification*>(data);
}

const ext_idle_notification_v1_listener kExtListener = {
    .idled = [](void* data, ext_idle_notification_v1*) { notificationOf(data).idled(); },
    .resumed = [](void* data, ext_idle_notification_v1*) { notificationOf(data).resumed(); },
};

const org_kde_kwin_idle_timeout_listener kKdeListener = {
    .idle = [](void* data, org_kde_kwin_idle_timeout*) { notificationOf(data).idled(); },
    .resumed = [](void* data, org_kde_kwin_idle_timeout*) { notificationOf(data).resumed(); },
};

}  // namespace

bool IdleNotification::available(const WaylandConnection& connection) {
    const WaylandGlobals& g = connection.globals();
    return connection.seat().seat() && (g.idleNotifier || g.kdeIdle);
}

std::unique_ptr<IdleNotification> IdleNotification::create(WaylandConnection& connection,
                                                           Duration timeout,
                                                           std::function<void()> idled,
                                                           std::function<void()> resumed) {
    if (!available(connection)) return nullptr;
    std::unique_ptr<IdleNotification> n(new IdleNotification(std::move(idled), std::move(resumed)));
    n->connection_ = &connection;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
    auto milliseconds = static_cast<std::uint32_t>(std::clamp<long long>(ms, 1, UINT32_MAX));
    wl_seat* seat = connection.seat().seat();
    const WaylandGlobals& g = connection.globals();
    if (g.idleNotifier) {
        n->notification_ =
            ext_idle_notifier_v1_get_idle_notification(g.idleNotifier, milliseconds, seat);
        ext_idle_notification_v1_add_listener(n->notification_, &kExtListener, n.get());
    } else {
        n->kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(g.kdeIdle, seat, milliseconds);
        org_kde_kwin_idle_timeout_add_listener(n->kdeTimeout_, &kKdeListener, n.get());
    }
    connection.dispatchSoon();
    return n;
}

IdleNotification::~IdleNotification() {
    if (notification_) ext_idle_notification_v1_destroy(notification_);
    if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
    if (connection_) connection_->dispatchSoon();
}

}  // namespace tavel
