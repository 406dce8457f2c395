// A D-Bus connection driven by the Asio main loop, against a private dbus-daemon.

#include "bus_test.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kTestInterface = "io.tavel.Test";

// `listener_` hears the signal "Ping" (with a number) that `ping` sends from `sender_`.
class BusConnectionTest : public BusTest {
protected:
    void listen(std::function<void(int)> onPing) {
        match_ = listener_->connection().addMatch(
            "type='signal',interface='io.tavel.Test',member='Ping'",
            [onPing](sdbus::Message& message) {
                int number = 0;
                message >> number;
                onPing(number);
            });
        listener_->wake();
        emitter_ = sdbus::createObject(sender_->connection(), "/test/emitter");
        emitter_->registerSignal("Ping").onInterface(kTestInterface).withParameters<int>();
        emitter_->finishRegistration();
    }
    void ping(int number, bool wake = true) {
        emitter_->emitSignal("Ping").onInterface(kTestInterface).withArguments(number);
        if (wake) sender_->wake();
    }

    std::unique_ptr<BusConnection> sender_ = open();
    std::unique_ptr<BusConnection> listener_ = open();
    sdbus::Slot match_;
    std::unique_ptr<sdbus::IObject> emitter_;
};

TEST_F(BusConnectionTest, EachTypeOpensTheBusItsVariableNames) {
    for (auto [type, variable, refusal] :
         {std::tuple(BusType::system, "DBUS_SYSTEM_BUS_ADDRESS",
                     "cannot connect to the system bus"),
          {BusType::session, "DBUS_SESSION_BUS_ADDRESS", "cannot connect to the session bus"}}) {
        SCOPED_TRACE(variable);
        daemon_.exportAsSessionAndSystemBus();
        setenv(variable, "unix:path=/proc/nonexistent/bus", 1);
        EXPECT_TRUE(open(type == BusType::system ? BusType::session : BusType::system));
        // Reported, not thrown.
        std::string error;
        EXPECT_FALSE(BusConnection::open(type, scheduler_.context(), &error));
        EXPECT_NE(error.find(refusal), std::string::npos) << error;
        error.clear();
        EXPECT_FALSE(openBus(type, &error));
        EXPECT_NE(error.find(refusal), std::string::npos) << error;
    }
}

TEST_F(BusConnectionTest, HandlersRepliesAndTimeoutsRunOnTheLoopThread) {
    std::thread::id handlerThread;
    std::optional<sdbus::Result<std::string>> unanswered;
    auto object = sdbus::createObject(sender_->connection(), "/test/echo");
    object->registerMethod("Echo").onInterface(kTestInterface).implementedAs([&](std::string s) {
        handlerThread = std::this_thread::get_id();
        return s + "!";
    });
    // Never answers: only the library's timeout, run by the loop's timer, ends the call.
    object->registerMethod("Hang")
        .onInterface(kTestInterface)
        .implementedAs([&](sdbus::Result<std::string>&& result, std::string) {
            unanswered = std::move(result);
        });
    object->finishRegistration();

    auto proxy = sdbus::createProxy(listener_->connection(), sender_->connection().getUniqueName(),
                                    "/test/echo");
    std::map<std::string, std::string> answers;
    std::vector<std::thread::id> replyThreads;
    for (auto [method, timeout] :
         {std::pair<std::string, std::chrono::microseconds>("Echo", 1h), {"Hang", 100ms}})
        proxy->callMethodAsync(method)
            .onInterface(kTestInterface)
            .withTimeout(timeout)
            .withArguments(std::string("hello"))
            .uponReplyInvoke([&, method](const sdbus::Error* error, std::string reply) {
                replyThreads.push_back(std::this_thread::get_id());
                answers[method] = error ? "no answer" : reply;
            });
    listener_->wake();

    ASSERT_TRUE(runUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers,
              (std::map<std::string, std::string>{{"Echo", "hello!"}, {"Hang", "no answer"}}));
    EXPECT_TRUE(unanswered.has_value());
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(replyThreads, std::vector<std::thread::id>(2, std::this_thread::get_id()));
}

TEST_F(BusConnectionTest, SignalsAreHandledInBurstsAfterWakesAndPastAFailingHandler) {
    std::vector<int> heard;
    const auto loopThread = std::this_thread::get_id();
    listen([&](int number) {
        listener_->guarded([&] {
            EXPECT_EQ(std::this_thread::get_id(), loopThread);
            heard.push_back(number);
            if (number < 0) throw std::runtime_error("fault in a handler");
        });
    });
    std::vector<int> sent(300);
    std::iota(sent.begin(), sent.end(), 0);
    for (int number : sent) ping(number);
    ASSERT_TRUE(runUntil([&] { return heard.size() == sent.size(); })) << heard.size();
    EXPECT_EQ(heard, sent);

    scheduler_.runFor(20ms);  // lets the listener's pending rounds pass
    ping(300, false);
    roundTripWithoutWake(*sender_);    // the ping is in the listener's socket now
    roundTripWithoutWake(*listener_);  // which reads it into the library's queue
    EXPECT_EQ(heard.size(), sent.size());
    listener_->wake();
    ASSERT_TRUE(runUntil([&] { return heard.size() == 301; }));

    // A fault in a handler leaves the loop; the bus goes on.
    ping(-1);
    EXPECT_THROW(runUntil([&] { return heard.size() == 302; }), std::runtime_error);
    EXPECT_EQ(heard.back(), -1);
    EXPECT_TRUE(listener_->connected());
    ping(301);
    ASSERT_TRUE(runUntil([&] { return heard.size() == 303; }));
}

TEST_F(BusConnectionTest, LosingTheBusIsReportedOnce) {
    auto other = std::make_unique<DbusDaemon>();
    other->exportAsSessionAndSystemBus();
    auto bus = open();
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
