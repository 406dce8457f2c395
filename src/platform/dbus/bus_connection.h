#pragma once
// A D-Bus connection (sdbus-c++) driven by the main loop: its socket is watched on the
// loop's io_context and its timeouts run as a loop timer, so every D-Bus callback (method
// handlers, signal handlers, replies to asynchronous calls) runs on the main thread.
//
// Thread rules: the main thread opens, uses and destroys a BusConnection; wake() may be
// called from any thread. The connection must be destroyed before the io_context.

#include "platform/result.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace asio {
class io_context;
}
namespace sdbus {
class IConnection;
}

namespace tavel {

enum class BusType {
    system,   // $DBUS_SYSTEM_BUS_ADDRESS, else /run/dbus/system_bus_socket
    session,  // $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus
};

// Opens a connection that nothing watches: for callers that make blocking calls only
// (the command line). A failure when the bus cannot be reached. Any thread.
Result<std::unique_ptr<sdbus::IConnection>> openBus(BusType type);

class BusConnection {
public:
    // Opens the bus and starts watching it on `loop`; a failure when the bus cannot be
    // reached.
    static Result<std::unique_ptr<BusConnection>> open(BusType type, asio::io_context& loop);
    // Watches an already open connection.
    BusConnection(std::unique_ptr<sdbus::IConnection> connection, asio::io_context& loop);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // For proxies, objects and matches; they must be destroyed before this connection.
    // Main thread only.
    sdbus::IConnection& connection() { return *connection_; }

    // Asks for a processing round on the loop soon. Blocking calls on the connection read
    // incoming messages into the library's queue, and asynchronous calls add timeouts,
    // without the socket becoming readable: code that does either outside a D-Bus
    // callback calls wake() afterwards. Any thread; cheap.
    void wake();

    // False once the bus has gone away (daemon stopped, connection closed); the
    // connection is then no longer watched. Main thread.
    bool connected() const;
    // Called once on the main thread when the bus goes away, with the library's reason.
    void setDisconnectHandler(std::function<void(const std::string& reason)> handler);

    // For code that runs inside a signal handler or a reply handler: runs `work`, and an
    // exception it throws is held and rethrown from the loop's processing round once the
    // library is no longer on the stack, so it leaves run()/runFor() like an exception
    // from any loop task, and the bus stays usable. Method handlers answer their caller
    // instead: they turn a failure into an error reply (see ApplicationService).
    template <class Work>
    void guarded(Work&& work) noexcept {
        try {
            std::forward<Work>(work)();
        } catch (...) {
            hold(std::current_exception());
        }
    }
    // Main thread. The first exception held wins until it has been rethrown.
    void hold(std::exception_ptr exception) noexcept;

    // The loop side, shared with the waits pending on the loop (bus_connection.cpp).
    struct Watch;

private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::shared_ptr<Watch> watch_;  // shared with the pending waits on the loop
};

}  // namespace tavel
