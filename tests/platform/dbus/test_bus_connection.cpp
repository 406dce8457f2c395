// A D-Bus connection driven by the Asio main loop, against a private dbus-daemon.

#include "bus_test.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kTestInterface = "io.tavel.Test";
constexpr const char* kMissingBus = "unix:path=/proc/nonexistent/bus";

class BusConnectionTest : public BusTest {};

bool ownerExists(const std::string& address, const std::string& name) {
    auto direct = sdbus::createSessionBusConnectionWithAddress(address);
    auto daemon = sdbus::createProxy(*direct, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    bool exists = false;
    daemon->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(name)
        .storeResultsTo(exists);
    return exists;
}

// Sends signals "Ping" (with a number) on `bus` from object /test/emitter.
struct Emitter {
    explicit Emitter(BusConnection& bus) : bus(bus) {
        object = sdbus::createObject(bus.connection(), "/test/emitter");
        object->registerSignal("Ping").onInterface(kTestInterface).withParameters<int>();
        object->finishRegistration();
    }
    void ping(int number) {
        object->emitSignal("Ping").onInterface(kTestInterface).withArguments(number);
        bus.wake();
    }
    BusConnection& bus;
    std::unique_ptr<sdbus::IObject> object;
};

constexpr const char* kPingRule = "type='signal',interface='io.tavel.Test',member='Ping'";

TEST_F(BusConnectionTest, OpensTheBusesNamedByTheEnvironment) {
    for (BusType type : {BusType::system, BusType::session}) {
        auto bus = open(type);
        ASSERT_TRUE(bus);
        EXPECT_TRUE(bus->connected());
        EXPECT_TRUE(ownerExists(daemon_.address(), bus->connection().getUniqueName()));
    }
}

TEST_F(BusConnectionTest, UnreachableBusIsReportedNotThrown) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", kMissingBus, 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", kMissingBus, 1);
    std::string error;
    EXPECT_FALSE(BusConnection::open(BusType::system, scheduler_.context(), &error));
    EXPECT_NE(error.find("cannot connect to the system bus"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(openBus(BusType::session, &error));
    EXPECT_NE(error.find("cannot connect to the session bus"), std::string::npos) << error;
}

TEST_F(BusConnectionTest, MethodCallsAndRepliesRunOnTheLoopThread) {
    auto server = open();
    auto client = open();
    ASSERT_TRUE(server && client);
    std::thread::id handlerThread;
    auto object = sdbus::createObject(server->connection(), "/test/echo");
    object->registerMethod("Echo").onInterface(kTestInterface).implementedAs([&](std::string s) {
        handlerThread = std::this_thread::get_id();
        return s + "!";
    });
    object->finishRegistration();

    auto proxy = sdbus::createProxy(client->connection(), server->connection().getUniqueName(),
                                    "/test/echo");
    std::optional<std::string> answer;
    std::thread::id replyThread;
    proxy->callMethodAsync("Echo")
        .onInterface(kTestInterface)
        .withArguments(std::string("hello"))
        .uponReplyInvoke([&](const sdbus::Error* error, std::string reply) {
            replyThread = std::this_thread::get_id();
            answer = error ? "error: " + error->getMessage() : reply;
        });
    client->wake();

    ASSERT_TRUE(runUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, "hello!");
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(replyThread, std::this_thread::get_id());
}

TEST_F(BusConnectionTest, CallTimeoutsFireThroughTheLoopTimer) {
    auto server = open();
    auto client = open();
    ASSERT_TRUE(server && client);
    // Never answers: only the library's timeout, run by the loop's timer, ends the call.
    std::optional<sdbus::Result<std::string>> unanswered;
    auto object = sdbus::createObject(server->connection(), "/test/silent");
    object->registerMethod("Hang")
        .onInterface(kTestInterface)
        .implementedAs(
            [&](sdbus::Result<std::string>&& result) { unanswered = std::move(result); });
    object->finishRegistration();

    auto proxy = sdbus::createProxy(client->connection(), server->connection().getUniqueName(),
                                    "/test/silent");
    std::optional<std::string> errorName;
    proxy->callMethodAsync("Hang")
        .onInterface(kTestInterface)
        .withTimeout(100ms)
        .uponReplyInvoke([&](const sdbus::Error* error, std::string) {
            errorName = error ? error->getName() : "answered";
        });
    client->wake();

    ASSERT_TRUE(runUntil([&] { return errorName.has_value(); }));
    EXPECT_TRUE(unanswered.has_value());
    EXPECT_NE(*errorName, "answered");
}

TEST_F(BusConnectionTest, EveryMessageOfABurstIsHandled) {
    auto sender = open();
    auto listener = open();
    ASSERT_TRUE(sender && listener);
    int heard = 0;
    int last = -1;
    auto match = listener->connection().addMatch(kPingRule, [&](sdbus::Message& message) {
        message >> last;
        ++heard;
    });
    listener->wake();
    Emitter emitter(*sender);
    for (int i = 0; i < 300; ++i) emitter.ping(i);

    ASSERT_TRUE(runUntil([&] { return heard == 300; })) << heard;
    EXPECT_EQ(last, 299);
}

TEST_F(BusConnectionTest, MessagesQueuedByABlockingCallAreHandledAfterWake) {
    auto sender = open();
    auto listener = open();
    ASSERT_TRUE(sender && listener);
    int heard = 0;
    auto match = listener->connection().addMatch(kPingRule, [&](sdbus::Message&) { ++heard; });
    listener->wake();
    scheduler_.runFor(20ms);  // lets the listener's pending rounds pass
    Emitter emitter(*sender);
    emitter.ping(1);
    roundTripWithoutWake(*sender);    // the ping is in the listener's socket now
    roundTripWithoutWake(*listener);  // which reads it into the library's queue
    EXPECT_EQ(heard, 0);

    listener->wake();
    EXPECT_TRUE(runUntil([&] { return heard == 1; }));
}

TEST_F(BusConnectionTest, ExceptionFromACallbackLeavesTheLoopAndTheBusGoesOn) {
    auto sender = open();
    auto listener = open();
    ASSERT_TRUE(sender && listener);
    int heard = 0;
    auto match = listener->connection().addMatch(kPingRule, [&](sdbus::Message&) {
        listener->guarded([&] {
            if (++heard == 1) throw std::runtime_error("fault in a handler");
        });
    });
    listener->wake();
    Emitter emitter(*sender);
    emitter.ping(1);

    EXPECT_THROW(runUntil([&] { return heard >= 1; }), std::runtime_error);
    EXPECT_EQ(heard, 1);
    EXPECT_TRUE(listener->connected());

    emitter.ping(2);
    EXPECT_TRUE(runUntil([&] { return heard == 2; }));
}

TEST_F(BusConnectionTest, LosingTheBusIsReportedOnce) {
    auto other = std::make_unique<DbusDaemon>();
    other->exportAsSessionAndSystemBus();
    auto bus = open();
    ASSERT_TRUE(bus);
    int reports = 0;
    std::string reason;
    bus->setDisconnectHandler([&](const std::string& why) {
        ++reports;
        reason = why;
    });

    other.reset();  // the daemon goes away

    ASSERT_TRUE(runUntil([&] { return reports > 0; }));
    EXPECT_FALSE(bus->connected());
    EXPECT_FALSE(reason.empty());
    scheduler_.runFor(20ms);
    EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace tavel::test
