// A D-Bus connection driven by the Asio main loop, against a private dbus-daemon.

#include "bus_test.h"

#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kTestInterface = "io.tavel.Test";

struct BusConnectionTest : BusTest {
    const std::thread::id loopThread_ = std::this_thread::get_id();
};

TEST_F(BusConnectionTest, SignalsAreHandledInBurstsAfterWakesAndPastAFailingHandler) {
    auto sender = open(), listener = open();
    std::vector<int> heard;
    sdbus::Slot match = listener->connection().addMatch(
        "type='signal',interface='io.tavel.Test',member='Ping'", [&](sdbus::Message& message) {
            listener->guarded([&] {
                EXPECT_EQ(std::this_thread::get_id(), loopThread_);
                heard.push_back(0);
                message >> heard.back();
                if (heard.back() < 0) throw std::runtime_error("fault in a handler");
            });
        });
    listener->wake();
    auto emitter = sdbus::createObject(sender->connection(), "/test/emitter");
    auto ping = [&](int number, bool wake = true) {
        emitter->emitSignal("Ping").onInterface(kTestInterface).withArguments(number);
        if (wake) sender->wake();
    };

    // More than one processing round's worth.
    std::vector<int> sent(300);
    std::iota(sent.begin(), sent.end(), 0);
    for (int number : sent) ping(number);
    ASSERT_TRUE(runUntil([&] { return heard.size() == sent.size(); })) << heard.size();
    EXPECT_EQ(heard, sent);

    // Read into the library's queue by a blocking call, a signal waits for a wake.
    scheduler_.runFor(20ms);  // lets the listener's pending rounds pass
    ping(300, false);
    roundTrip(*sender, false);    // the ping is in the listener's socket now
    roundTrip(*listener, false);  // which reads it into the library's queue
    EXPECT_EQ(heard.size(), sent.size());
    listener->wake();
    ASSERT_TRUE(runUntil([&] { return heard.size() == 301; }));

    // A fault in a handler leaves the loop; the bus goes on.
    ping(-1);
    EXPECT_THROW(runUntil([&] { return heard.size() == 302; }), std::runtime_error);
    EXPECT_EQ(heard.back(), -1);
    ping(301);
    ASSERT_TRUE(runUntil([&] { return heard.size() == 303; }));
}

}  // namespace
}  // namespace tavel::test
