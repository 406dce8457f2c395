// Single instance: the running application's service and the command line's client,
// against a private session bus. The client blocks, so it runs on a thread of its own while
// the test's main thread drives the loop the service runs on.

#include "bus_test.h"
#include "platform/app_identity.h"
#include "platform/dbus/application_service.h"

#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;
using Outcome = ApplicationClient::Outcome;
using Reply = ApplicationClient::Reply;

class ApplicationServiceTest : public BusTest {
protected:
    // A claimed service with the application's usual actions, recording what reaches it.
    void startService() {
        bus_ = open(BusType::session);
        service_ = std::make_unique<ApplicationService>(*bus_, *log_);
        service_->setActivateHandler([this] { record("activate", {}); });
        for (const char* name : {"shuffle", "pause", "resume", "quit"})
            service_->setAction(name, 0, 0, [this, name](const std::vector<std::string>& args) {
                record(name, args);
                return std::string();
            });
        service_->setAction("set", 1, 2, [this](const std::vector<std::string>& args) {
            if (args[0] == "nonexistent") return std::string("No effect named \"nonexistent\"");
            record("set", args);
            return std::string();
        });
        std::string error;
        ASSERT_EQ(service_->claim(&error), ApplicationService::Claim::owned) << error;
    }

    void record(const std::string& what, const std::vector<std::string>& args) {
        std::string line = what;
        for (const auto& a : args) line += " [" + a + "]";
        calls_.push_back(line);
        if (std::this_thread::get_id() != mainThread_) calls_.push_back("(not on the main thread)");
    }

    // Runs `request` with a fresh client on another thread while the loop runs here.
    Reply ask(std::function<Reply(ApplicationClient&)> request,
              std::chrono::milliseconds timeout = 3s) {
        auto reply = std::async(std::launch::async, [request, timeout] {
            ApplicationClient client(timeout);
            return request(client);
        });
        EXPECT_TRUE(runUntil([&] { return reply.wait_for(0s) == std::future_status::ready; }));
        return reply.get();
    }

    std::thread::id mainThread_ = std::this_thread::get_id();
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<ApplicationService> service_;
    std::unique_ptr<MemoryLogSink> log_ = std::make_unique<MemoryLogSink>();
    std::vector<std::string> calls_;
};

TEST_F(ApplicationServiceTest, SecondInstanceCannotOwnTheName) {
    startService();
    auto otherBus = open(BusType::session);
    ApplicationService second(*otherBus);
    std::string error;
    EXPECT_EQ(second.claim(&error), ApplicationService::Claim::taken);
    EXPECT_FALSE(second.owned());
    EXPECT_NE(error.find(kAppBundleIdentifier), std::string::npos) << error;

    service_.reset();  // the first instance quits and gives the name up
    EXPECT_EQ(second.claim(&error), ApplicationService::Claim::owned) << error;
}

TEST_F(ApplicationServiceTest, ActivateReachesTheApplication) {
    startService();
    const Reply reply = ask([](ApplicationClient& c) { return c.activate(); });
    EXPECT_EQ(reply.outcome, Outcome::ok) << reply.text;
    EXPECT_EQ(calls_, std::vector<std::string>{"activate"});
}

TEST_F(ApplicationServiceTest, ActionsReachTheApplicationWithTheirArguments) {
    startService();
    EXPECT_EQ(ask([](ApplicationClient& c) { return c.activateAction("pause", {}); }).outcome,
              Outcome::ok);
    EXPECT_EQ(ask([](ApplicationClient& c) {
                  return c.activateAction("set", {"tiles", "2"});
              }).outcome,
              Outcome::ok);
    EXPECT_EQ(ask([](ApplicationClient& c) { return c.activateAction("set", {"aurora"}); }).outcome,
              Outcome::ok);
    EXPECT_EQ(calls_, (std::vector<std::string>{"pause", "set [tiles] [2]", "set [aurora]"}));
}

TEST_F(ApplicationServiceTest, UnknownActionIsRefusedWithInvalidArgs) {
    startService();
    const Reply reply = ask([](ApplicationClient& c) { return c.activateAction("dance", {}); });
    EXPECT_EQ(reply.outcome, Outcome::failed);
    EXPECT_EQ(reply.errorName, "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_NE(reply.text.find("Unknown action \"dance\""), std::string::npos) << reply.text;
    EXPECT_NE(reply.text.find("pause"), std::string::npos) << reply.text;
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ApplicationServiceTest, WrongParameterCountsAreRefusedWithInvalidArgs) {
    startService();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"tiles", "2", "3"}}) {
        const Reply reply =
            ask([args](ApplicationClient& c) { return c.activateAction("set", args); });
        EXPECT_EQ(reply.errorName, "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_NE(reply.text.find("takes 1 or 2 parameters, not " + std::to_string(args.size())),
                  std::string::npos)
            << reply.text;
    }
    const Reply reply = ask([](ApplicationClient& c) { return c.activateAction("pause", {"x"}); });
    EXPECT_NE(reply.text.find("takes no parameters, not 1"), std::string::npos) << reply.text;
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ApplicationServiceTest, NonStringParametersAreRefusedWithInvalidArgs) {
    startService();
    auto callerBus = open(BusType::session);
    auto proxy =
        sdbus::createProxy(callerBus->connection(), kAppBundleIdentifier, kApplicationObjectPath);
    std::optional<sdbus::Error> refusal;
    bool answered = false;
    proxy->callMethodAsync("ActivateAction")
        .onInterface(kApplicationInterface)
        .withArguments(std::string("set"), std::vector<sdbus::Variant>{sdbus::Variant(42)},
                       std::map<std::string, sdbus::Variant>{})
        .uponReplyInvoke([&](const sdbus::Error* error) {
            answered = true;
            if (error) refusal = *error;
        });
    callerBus->wake();
    ASSERT_TRUE(runUntil([&] { return answered; }));
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->getName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_NE(refusal->getMessage().find("must be a string"), std::string::npos);
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ApplicationServiceTest, TheApplicationCanRefuseArguments) {
    startService();
    const Reply reply =
        ask([](ApplicationClient& c) { return c.activateAction("set", {"nonexistent"}); });
    EXPECT_EQ(reply.outcome, Outcome::failed);
    EXPECT_EQ(reply.errorName, "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(reply.text, "No effect named \"nonexistent\"");
}

TEST_F(ApplicationServiceTest, StatusReturnsTheApplicationsReport) {
    startService();
    Reply reply = ask([](ApplicationClient& c) { return c.status(); });
    EXPECT_EQ(reply.outcome, Outcome::failed);  // no report installed yet
    EXPECT_EQ(reply.errorName, "org.freedesktop.DBus.Error.Failed");

    service_->setStatusProvider([] { return std::string("Playing: Aurora\nPaused: no"); });
    reply = ask([](ApplicationClient& c) { return c.status(); });
    EXPECT_EQ(reply.outcome, Outcome::ok);
    EXPECT_EQ(reply.text, "Playing: Aurora\nPaused: no");
}

TEST_F(ApplicationServiceTest, NoInstanceIsReportedAsNotRunning) {
    const Reply reply = ask([](ApplicationClient& c) { return c.activateAction("pause", {}); });
    EXPECT_EQ(reply.outcome, Outcome::notRunning);
    EXPECT_EQ(reply.text, "Tavel is not running");
}

TEST_F(ApplicationServiceTest, UnreachableBusIsAFailureNotNotRunning) {
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/proc/nonexistent/bus", 1);
    ApplicationClient client(1s);
    const Reply reply = client.status();
    EXPECT_EQ(reply.outcome, Outcome::failed);
    EXPECT_NE(reply.text.find("session bus"), std::string::npos) << reply.text;
}

TEST_F(ApplicationServiceTest, AnInstanceThatDoesNotAnswerTimesOut) {
    startService();
    // The loop is not run while the client waits: the instance never answers.
    auto reply = std::async(std::launch::async, [] {
        ApplicationClient client(200ms);
        return client.activate();
    });
    const Reply result = reply.get();
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_NE(result.text.find("did not answer"), std::string::npos) << result.text;
}

TEST_F(ApplicationServiceTest, AFailingRequestIsAnsweredWithAnErrorAndTheServiceGoesOn) {
    struct Case {
        const char* request;
        std::function<void(ApplicationService&)> breakIt;
        std::function<Reply(ApplicationClient&)> ask;
        const char* reason;
    };
    const Case cases[] = {
        {"shuffle",
         [](ApplicationService& s) {
             s.setAction("shuffle", 0, 0, [](const auto&) -> std::string {
                 throw std::logic_error("shuffle broke");
             });
         },
         [](ApplicationClient& c) { return c.activateAction("shuffle", {}); }, "shuffle broke"},
        {"Status",
         [](ApplicationService& s) {
             s.setStatusProvider([]() -> std::string { throw std::runtime_error("no state"); });
         },
         [](ApplicationClient& c) { return c.status(); }, "no state"},
        {"Activate", [](ApplicationService& s) { s.setActivateHandler([] { throw 42; }); },
         [](ApplicationClient& c) { return c.activate(); }, "unknown exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        log_ = std::make_unique<MemoryLogSink>();
        startService();
        c.breakIt(*service_);
        // The loop goes on: a failure no longer leaves it, so ask() returns normally.
        const Reply failed = ask(c.ask);
        EXPECT_EQ(failed.outcome, Outcome::failed);
        EXPECT_EQ(failed.errorName, "org.freedesktop.DBus.Error.Failed");
        EXPECT_EQ(failed.text,
                  "The request \"" + std::string(c.request) + "\" failed: " + c.reason);
        EXPECT_EQ(log_->lines(),
                  std::vector<std::string>{"Tavel: request " + std::string(c.request) +
                                           " failed: " + c.reason});
        // The next call is answered normally.
        EXPECT_EQ(ask([](ApplicationClient& c) { return c.activateAction("pause", {}); }).outcome,
                  Outcome::ok);
        service_.reset();
        bus_.reset();
    }
}

TEST_F(ApplicationServiceTest, OpenGoesToTheOpenHandlerOrActivates) {
    startService();
    auto callerBus = open(BusType::session);
    auto proxy =
        sdbus::createProxy(callerBus->connection(), kAppBundleIdentifier, kApplicationObjectPath);
    auto open = [&] {
        bool answered = false;
        proxy->callMethodAsync("Open")
            .onInterface(kApplicationInterface)
            .withArguments(std::vector<std::string>{"file:///tmp/a.png"},
                           std::map<std::string, sdbus::Variant>{})
            .uponReplyInvoke([&](const sdbus::Error*) { answered = true; });
        callerBus->wake();
        ASSERT_TRUE(runUntil([&] { return answered; }));
    };
    open();
    service_->setOpenHandler(
        [this](const std::vector<std::string>& uris) { record("open", uris); });
    open();
    EXPECT_EQ(calls_, (std::vector<std::string>{"activate", "open [file:///tmp/a.png]"}));
}

}  // namespace
}  // namespace tavel::test
