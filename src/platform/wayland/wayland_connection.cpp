#include "platform/wayland/wayland_connection.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "fractional-scale-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include "platform/wayland/wayland_outputs.h"
#include "platform/wayland/wayland_seat.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <unistd.h>
#include <wayland-client.h>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tavel {

struct WaylandConnection::Watch {
    Watch(asio::io_context& loop, int fd) : descriptor(loop, fd) {}
    ~Watch() {
        // The descriptor is libwayland's: stop waiting on it, never close it here.
        asio::error_code ignored;
        descriptor.cancel(ignored);
        descriptor.release();
    }
    asio::posix::stream_descriptor descriptor;
};

namespace {

template <class T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface,
        std::uint32_t offered, std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(asio::io_context& loop, LogSink& log) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    // libwayland would fall back to "wayland-0": an X11 session must not pick up a
    // compositor that merely happens to run.
    if (!name || !*name) return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display, loop, log));
    if (!connection->bindGlobals()) return nullptr;
    connection->watch();
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display, asio::io_context& loop, LogSink& log)
    : display_(display),
      loop_(loop),
      log_(log),
      outputs_(std::make_unique<WaylandOutputs>()),
      seat_(std::make_unique<WaylandSeat>()) {}

WaylandConnection::~WaylandConnection() {
    self_.reset();
    watch_.reset();
    seat_.reset();
    outputs_.reset();
    if (globals_.viewporter) wp_viewporter_destroy(globals_.viewporter);
    if (globals_.fractionalScale) wp_fractional_scale_manager_v1_destroy(globals_.fractionalScale);
    if (globals_.xdgOutputManager) zxdg_output_manager_v1_destroy(globals_.xdgOutputManager);
    if (globals_.kdeIdle) org_kde_kwin_idle_destroy(globals_.kdeIdle);
    if (globals_.idleNotifier) ext_idle_notifier_v1_destroy(globals_.idleNotifier);
    if (globals_.layerShell) {
        if (zwlr_layer_shell_v1_get_version(globals_.layerShell) >=
            ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(globals_.layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(globals_.layerShell));
    }
    if (globals_.compositor) wl_compositor_destroy(globals_.compositor);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool WaylandConnection::bindGlobals() {
    static const wl_registry_listener listener = {&WaylandConnection::onGlobal,
                                                  &WaylandConnection::onGlobalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    // The first round trip announces the globals, the second the outputs' descriptions.
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) return false;
    return globals_.compositor != nullptr;
}

void WaylandConnection::onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                                 const char* interface, std::uint32_t version) {
    auto& self = *static_cast<WaylandConnection*>(data);
    WaylandGlobals& g = self.globals_;
    std::string_view is = interface;
    if (is == wl_compositor_interface.name && !g.compositor) {
        if (version >= 3)
            g.compositor =
                bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (is == wl_output_interface.name) {
        self.outputs_->add(registry, name, version);
    } else if (is == wl_seat_interface.name) {
        self.seat_->add(registry, name, version);
    } else if (is == zwlr_layer_shell_v1_interface.name && !g.layerShell) {
        g.layerShell =
            bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    } else if (is == ext_idle_notifier_v1_interface.name && !g.idleNotifier) {
        g.idleNotifier =
            bind<ext_idle_notifier_v1>(registry, name, &ext_idle_notifier_v1_interface, version, 1);
    } else if (is == org_kde_kwin_idle_interface.name && !g.kdeIdle) {
        g.kdeIdle =
            bind<org_kde_kwin_idle>(registry, name, &org_kde_kwin_idle_interface, version, 1);
    } else if (is == zxdg_output_manager_v1_interface.name && !g.xdgOutputManager) {
        // Version 2 names the outputs; 3 ends each change with wl_output.done.
        g.xdgOutputManager = bind<zxdg_output_manager_v1>(
            registry, name, &zxdg_output_manager_v1_interface, version, 3);
        self.outputs_->useXdgOutputs(g.xdgOutputManager, std::min(version, 3u));
    } else if (is == wp_fractional_scale_manager_v1_interface.name && !g.fractionalScale) {
        g.fractionalScale = bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (is == wp_viewporter_interface.name && !g.viewporter) {
        g.viewporter = bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    }
}

void WaylandConnection::onGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto& self = *static_cast<WaylandConnection*>(data);
    if (!self.outputs_->remove(name)) self.seat_->remove(name);
}

void WaylandConnection::watch() {
    if (!watch_) watch_ = std::make_unique<Watch>(loop_, wl_display_get_fd(display_));
    watch_->descriptor.async_wait(
        asio::posix::stream_descriptor::wait_read,
        self_.guard([](WaylandConnection& connection, const asio::error_code& error) {
            if (error) return;
            connection.readAndDispatch();
            connection.watch();
        }));
}

void WaylandConnection::readAndDispatch() {
    // Events already queued must be dispatched before reading may start.
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) lost();
    // The socket is readable, so this does not block; another reader (an EGL swap)
    // may have taken the bytes already, which reads nothing.
    if (wl_display_read_events(display_) < 0) lost();
    dispatchPending();
}

void WaylandConnection::dispatchSoon() {
    if (std::exchange(dispatchPosted_, true)) return;
    asio::post(loop_, self_.guard([](WaylandConnection& connection) {
        connection.dispatchPosted_ = false;
        connection.dispatchPending();
    }));
}

void WaylandConnection::dispatchPending() {
    if (wl_display_dispatch_pending(display_) < 0) lost();
    flush();
}

void WaylandConnection::flush() {
    if (flushWaiting_) return;
    if (wl_display_flush(display_) >= 0) return;
    if (errno != EAGAIN) lost();
    // The socket's buffer is full: send the rest once it takes more (before the watch
    // exists, the next flush does).
    if (!watch_) return;
    flushWaiting_ = true;
    watch_->descriptor.async_wait(
        asio::posix::stream_descriptor::wait_write,
        self_.guard([](WaylandConnection& connection, const asio::error_code& error) {
            connection.flushWaiting_ = false;
            if (!error) connection.flush();
        }));
}

bool WaylandConnection::roundtrip() {
    if (wl_display_roundtrip(display_) < 0) return false;
    flush();
    return true;
}

void WaylandConnection::lost() {
    if (auto handler = lostHandler_) handler();
    std::string line = prefix_ + "lost the Wayland display";
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    if (interface)
        line += " (protocol error " + std::to_string(code) + " on " + interface->name + ")";
    else if (int error = wl_display_get_error(display_))
        line += std::string(" (") + std::strerror(error) + ")";
    log_.write(line);
    std::fflush(nullptr);
    // Not exit(): static destructors would run while other threads (executors, GL
    // driver threads) still use what they destroy.
    _exit(1);
}

}  // namespace tavel
