// The application's service and the command line's blocking client on a private session bus.

#include "bus_test.h"
#include "platform/dbus/application_service.h"

#include <cstdlib>
#include <future>
#include <stdexcept>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;
using Outcome = ApplicationClient::Outcome;
using Reply = ApplicationClient::Reply;
using Words = std::vector<std::string>;

class ApplicationServiceTest : public BusTest {
protected:
    // A claimed service with two actions, noting each request that reaches it.
    void startService() {
        bus_ = open(BusType::session);
        service_ = std::make_unique<ApplicationService>(*bus_, log_);
        service_->setAction("pause", 0, 0, [this](const Words&) { return note("pause"); });
        service_->setAction("set", 1, 2, [this](const Words& args) {
            if (args[0] == "nonexistent") return std::string("No effect named \"nonexistent\"");
            return note("set " + args.back());
        });
        ASSERT_EQ(service_->claim(), ApplicationService::Claim::owned);
    }
    std::string note(const std::string& request) {
        calls_.push_back(request);
        return {};
    }
    // "Activate", "Status" or an action with its parameters, as the command line sends them.
    Reply ask(const Words& request) {
        auto reply = std::async(std::launch::async, [request] {
            ApplicationClient client(3s);
            if (request[0] == "Activate") return client.activate();
            if (request[0] == "Status") return client.status();
            return client.activateAction(request[0], Words(request.begin() + 1, request.end()));
        });
        EXPECT_TRUE(runUntil([&] { return reply.wait_for(0s) == std::future_status::ready; }));
        return reply.get();
    }

    MemoryLogSink log_;
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<ApplicationService> service_;
    Words calls_;
};

TEST_F(ApplicationServiceTest, ActionArgumentsAreCheckedBeforeTheApplicationRuns) {
    const std::pair<Words, std::string> cases[] = {
        {{"dance"}, "Unknown action \"dance\" (known: pause, set)"},
        {{"set"}, "Action \"set\" takes 1 or 2 parameters, not 0"},
        {{"set", "tiles", "2", "3"}, "Action \"set\" takes 1 or 2 parameters, not 3"},
        {{"pause", "x"}, "Action \"pause\" takes no parameters, not 1"},
        {{"set", "nonexistent"}, "No effect named \"nonexistent\""},  // the application's own
    };
    startService();
    for (const auto& [request, refusal] : cases) {
        const Reply reply = ask(request);
        EXPECT_EQ(reply.outcome, Outcome::failed) << refusal;
        EXPECT_EQ(reply.errorName, "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_EQ(reply.text, refusal);
    }
    EXPECT_EQ(ask({"set", "tiles", "2"}).outcome, Outcome::ok);
    EXPECT_EQ(calls_, Words{"set 2"});
}

TEST_F(ApplicationServiceTest, AFailingRequestIsAnsweredWithAnErrorAndTheServiceGoesOn) {
    startService();
    service_->setAction("pause", 0, 0,
                        [](const Words&) -> std::string { throw std::logic_error("pause broke"); });
    service_->setStatusProvider([]() -> std::string { throw std::runtime_error("no state"); });
    service_->setActivateHandler([] { throw 42; });
    for (auto [request, reason] : {std::pair<std::string, std::string>("pause", "pause broke"),
                                   {"Status", "no state"},
                                   {"Activate", "unknown exception"}}) {
        const Reply failed = ask({request});  // runs the loop: a failure leaving it throws here
        EXPECT_EQ(failed.outcome, Outcome::failed);
        EXPECT_EQ(failed.errorName, "org.freedesktop.DBus.Error.Failed");
        EXPECT_EQ(failed.text, "The request \"" + request + "\" failed: " + reason);
        EXPECT_EQ(log_.lines().back(), "Tavel: request " + request + " failed: " + reason);
        EXPECT_EQ(ask({"set", "tiles"}).outcome, Outcome::ok);
    }
    EXPECT_EQ(log_.lines().size(), 3u);
}

TEST_F(ApplicationServiceTest, ClientTellsAMissingInstanceFromAFailure) {
    Reply reply = ask({"pause"});
    EXPECT_EQ(reply.outcome, Outcome::notRunning);
    EXPECT_EQ(reply.text, "Tavel is not running");

    startService();  // the loop does not run while the client waits: no answer comes
    reply =
        std::async(std::launch::async, [] { return ApplicationClient(200ms).activate(); }).get();
    EXPECT_EQ(reply.outcome, Outcome::failed);
    EXPECT_NE(reply.text.find("did not answer"), std::string::npos) << reply.text;

    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/proc/nonexistent/bus", 1);
    reply = ApplicationClient(1s).status();
    EXPECT_EQ(reply.outcome, Outcome::failed);
    EXPECT_NE(reply.text.find("session bus"), std::string::npos) << reply.text;
}

}  // namespace
}  // namespace tavel::test
