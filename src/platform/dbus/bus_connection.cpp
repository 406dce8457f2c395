#include "platform/dbus/bus_connection.h"

#include <poll.h>
#include <sdbus-c++/sdbus-c++.h>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <atomic>
#include <cstdint>
#include <system_error>
#include <utility>

namespace tavel {

namespace {

// Messages handled per round before other work on the loop gets its turn.
constexpr int kMessagesPerRound = 64;

const char* busName(BusType type) {
    return type == BusType::system ? "system" : "session";
}

}  // namespace

Result<std::unique_ptr<sdbus::IConnection>> openBus(BusType type) {
    try {
        // sd-bus reads $DBUS_SYSTEM_BUS_ADDRESS / $DBUS_SESSION_BUS_ADDRESS itself.
        return type == BusType::system ? sdbus::createSystemBusConnection()
                                       : sdbus::createSessionBusConnection();
    } catch (const std::exception& e) {
        return Failure{std::string("cannot connect to the ") + busName(type) + " bus: " + e.what()};
    }
}

// The loop side of a connection. Pending waits keep it alive; `connection` is null once
// the owner is gone or the bus closed, and then every completion does nothing.
// Main thread only, except `wakePosted`.
struct BusConnection::Watch {
    explicit Watch(asio::io_context& loop) : loop(loop), descriptor(loop), timer(loop) {}

    asio::io_context& loop;
    sdbus::IConnection* connection = nullptr;
    asio::posix::stream_descriptor descriptor;  // borrows sd-bus's socket, never closes it
    std::uint64_t descriptorGeneration = 0;     // tells waits on a replaced descriptor apart
    bool readPending = false;
    bool writePending = false;
    asio::steady_timer timer;
    std::atomic<bool> wakePosted{false};
    std::function<void(const std::string&)> onDisconnect;
    std::exception_ptr held;  // thrown by a callback, rethrown after the round
};

namespace {

using Watch = BusConnection::Watch;

void process(const std::shared_ptr<Watch>& watch);

void stopWatching(Watch& watch) {
    if (watch.descriptor.is_open()) watch.descriptor.release();
    ++watch.descriptorGeneration;
    watch.readPending = watch.writePending = false;
    watch.timer.cancel();
}

void disconnect(const std::shared_ptr<Watch>& watch, const std::string& reason) {
    if (!watch->connection) return;
    watch->connection = nullptr;
    stopWatching(*watch);
    if (auto handler = std::move(watch->onDisconnect)) handler(reason);
}

void waitFor(const std::shared_ptr<Watch>& watch, asio::posix::descriptor_base::wait_type type) {
    const bool read = type == asio::posix::descriptor_base::wait_read;
    (read ? watch->readPending : watch->writePending) = true;
    watch->descriptor.async_wait(type, [watch, read, generation = watch->descriptorGeneration](
                                           const std::error_code& error) {
        if (generation != watch->descriptorGeneration) return;
        (read ? watch->readPending : watch->writePending) = false;
        if (!error) process(watch);
    });
}

// Waits for what sd-bus asks for next: readable/writable socket, and its next timeout.
void arm(const std::shared_ptr<Watch>& watch) {
    const auto poll = watch->connection->getEventLoopPollData();
    if (!watch->descriptor.is_open() || watch->descriptor.native_handle() != poll.fd) {
        stopWatching(*watch);
        watch->descriptor.assign(poll.fd);
    }
    if ((poll.events & POLLIN) && !watch->readPending)
        waitFor(watch, asio::posix::descriptor_base::wait_read);
    if ((poll.events & POLLOUT) && !watch->writePending)
        waitFor(watch, asio::posix::descriptor_base::wait_write);

    if (const auto timeout = poll.getRelativeTimeout()) {
        // Re-setting the expiry cancels the previous wait (which then does nothing).
        watch->timer.expires_after(*timeout);
        watch->timer.async_wait([watch](const std::error_code& error) {
            if (!error) process(watch);
        });
    } else {
        watch->timer.cancel();
    }
}

void postRound(const std::shared_ptr<Watch>& watch) {
    if (watch->wakePosted.exchange(true)) return;
    asio::post(watch->loop, [weak = std::weak_ptr<Watch>(watch)] {
        if (auto watch = weak.lock()) {
            watch->wakePosted = false;
            process(watch);
        }
    });
}

void process(const std::shared_ptr<Watch>& watch) {
    if (!watch->connection) return;
    try {
        int handled = 0;
        while (!watch->held && watch->connection && watch->connection->processPendingRequest()) {
            if (++handled == kMessagesPerRound) {
                postRound(watch);
                break;
            }
        }
        if (watch->connection) arm(watch);
    } catch (const std::exception& e) {
        // sd-bus reports a closed connection as an error from processing.
        disconnect(watch, e.what());
    }
    if (auto held = std::exchange(watch->held, nullptr)) {
        // Messages still queued are handled in the next round.
        if (watch->connection) postRound(watch);
        std::rethrow_exception(held);
    }
}

}  // namespace

Result<std::unique_ptr<BusConnection>> BusConnection::open(BusType type, asio::io_context& loop) {
    auto connection = openBus(type);
    if (!connection) return Failure{connection.why()};
    return std::make_unique<BusConnection>(std::move(*connection), loop);
}

BusConnection::BusConnection(std::unique_ptr<sdbus::IConnection> connection, asio::io_context& loop)
    : connection_(std::move(connection)), watch_(std::make_shared<Watch>(loop)) {
    watch_->connection = connection_.get();
    // The first round also handles whatever arrived during the handshake.
    process(watch_);
}

BusConnection::~BusConnection() {
    watch_->connection = nullptr;
    watch_->onDisconnect = nullptr;
    stopWatching(*watch_);
}

void BusConnection::wake() {
    postRound(watch_);
}

void BusConnection::hold(std::exception_ptr exception) noexcept {
    if (!watch_->held) watch_->held = std::move(exception);
}

bool BusConnection::connected() const {
    return watch_->connection != nullptr;
}

void BusConnection::setDisconnectHandler(std::function<void(const std::string&)> handler) {
    watch_->onDisconnect = std::move(handler);
}

}  // namespace tavel
