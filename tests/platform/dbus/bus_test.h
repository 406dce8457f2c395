#pragma once
// A private bus per test, as both session and system bus, and the loop, run in slices.

#include "platform/asio/asio_scheduler.h"
#include "platform/dbus/bus_connection.h"
#include "support/dbus_daemon.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tavel::test {

class PrivateBus {
public:
    PrivateBus() { daemon_.exportAsSessionAndSystemBus(); }

    std::unique_ptr<BusConnection> open(BusType type = BusType::system) {
        auto bus = BusConnection::open(type, scheduler_.context());
        EXPECT_TRUE(bus) << bus.why();
        return bus ? std::move(*bus) : nullptr;
    }

    // Runs the loop until `done` holds; false when five seconds passed first.
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            scheduler_.runFor(std::chrono::milliseconds(5));
        }
        return true;
    }

    DbusDaemon daemon_;
    AsioScheduler scheduler_;  // destroyed before the daemon, after each test's connections
};

class BusTest : public ::testing::Test, public PrivateBus {};

// A blocking call to the bus daemon, after which all sent earlier on `bus` is routed.
inline void roundTrip(BusConnection& bus, bool wake = true) {
    auto daemon =
        sdbus::createProxy(bus.connection(), "org.freedesktop.DBus", "/org/freedesktop/DBus");
    std::string id;
    daemon->callMethod("GetId").onInterface("org.freedesktop.DBus").storeResultsTo(id);
    if (wake) bus.wake();
}

}  // namespace tavel::test
