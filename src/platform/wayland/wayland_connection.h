#pragma once
// One connection to the Wayland compositor, watched on the main loop, with the globals
// that the wallpaper, saver and idle code bind.
//
// Main thread only. Events are read when the socket is readable and dispatched on the
// default queue; requests are flushed after each dispatch. Code that lets another
// reader take events off the socket (EGL swaps read on the driver's own queue, and any
// events for ours wait in our queue without the socket becoming readable again) calls
// dispatchSoon() afterwards.
//
// Losing the compositor (the socket closed, or a protocol error, which ends the
// connection) runs the lost handler, writes "Tavel: lost the Wayland display" (with the
// program's own prefix) to the connection's log and ends the process with status 1:
// nothing can go on without the display, as on X11.

#include "platform/system_log.h"
#include "platform/weak_self.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct zwlr_layer_shell_v1;
struct ext_idle_notifier_v1;
struct org_kde_kwin_idle;
struct zxdg_output_manager_v1;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;

namespace asio {
class io_context;
}

namespace tavel {

class WaylandOutputs;
class WaylandSeat;

// The globals bound at connection time (and later, when the compositor announces them);
// null where the compositor offers none.
struct WaylandGlobals {
    wl_compositor* compositor = nullptr;  // version 3 or later (buffer scale)
    zwlr_layer_shell_v1* layerShell = nullptr;
    ext_idle_notifier_v1* idleNotifier = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;
    zxdg_output_manager_v1* xdgOutputManager = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale = nullptr;
    wp_viewporter* viewporter = nullptr;
};

class WaylandConnection {
public:
    // Connects to $WAYLAND_DISPLAY and learns the globals and the outputs (two round
    // trips). Nothing when WAYLAND_DISPLAY is unset or empty, the connection fails, or
    // the compositor lacks wl_compositor 3. `loop` watches the socket and must outlive
    // the connection; `log` gets the line written when the compositor is lost.
    static std::unique_ptr<WaylandConnection> open(asio::io_context& loop,
                                                   LogSink& log = systemLog());
    // Destroys what it bound and disconnects. Handlers are not called afterwards.
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    const WaylandGlobals& globals() const { return globals_; }
    // Whether desktop-level surfaces can be made at all.
    bool hasLayerShell() const { return globals_.layerShell != nullptr; }
    WaylandOutputs& outputs() { return *outputs_; }
    WaylandSeat& seat() { return *seat_; }
    const WaylandSeat& seat() const { return *seat_; }

    // Runs on the main thread when the compositor is lost, before the process ends; it
    // must not wait long.
    void setLostHandler(std::function<void()> handler) { lostHandler_ = std::move(handler); }
    // The start of every line the connection writes, "Tavel: " unless set.
    void setLogPrefix(std::string prefix) { prefix_ = std::move(prefix); }

    // Dispatches what the default queue holds and flushes; posted to the loop, at most
    // one at a time. Main thread.
    void dispatchSoon();
    // Sends every request and waits until the compositor has handled them and every
    // event it sent before is dispatched; false when the connection failed.
    bool roundtrip();

private:
    WaylandConnection(wl_display* display, asio::io_context& loop, LogSink& log);
    bool bindGlobals();
    void watch();
    void readAndDispatch();
    void dispatchPending();
    void flush();
    [[noreturn]] void lost();
    static void onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

    // Main thread.
    wl_display* display_;
    asio::io_context& loop_;
    LogSink& log_;
    wl_registry* registry_ = nullptr;
    WaylandGlobals globals_;
    std::unique_ptr<WaylandOutputs> outputs_;
    std::unique_ptr<WaylandSeat> seat_;
    std::function<void()> lostHandler_;
    std::string prefix_ = "Tavel: ";
    bool dispatchPosted_ = false;
    bool flushWaiting_ = false;  // the socket was full: waiting until it takes more
    struct Watch;
    std::unique_ptr<Watch> watch_;
    // Posted tasks and socket waits hold a weak reference: nothing runs once it is gone.
    WeakSelf<WaylandConnection> self_{*this};
};

}  // namespace tavel
