// The application's service and the command line's blocking client on a private session bus.

#include "bus_test.h"
#include "platform/dbus/application_service.h"

#include <future>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;
using Outcome = ApplicationClient::Outcome;
using Reply = ApplicationClient::Reply;
using Words = std::vector<std::string>;

class ApplicationServiceTest : public BusTest {
protected:
    // A claimed service with two actions that do nothing.
    void startService() {
        bus_ = open(BusType::session);
        service_ = std::make_unique<ApplicationService>(*bus_, log_);
        service_->setAction("pause", 0, 0, [](const Words&) { return Result<void>(); });
        service_->setAction("set", 1, 2, [](const Words&) { return Result<void>(); });
        const auto claim = service_->claim();
        ASSERT_TRUE(claim) << claim.why();
        ASSERT_EQ(*claim, ApplicationService::Claim::owned);
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
};

// Refused before the application runs, or failing in it: an error each, and the service goes on.
TEST_F(ApplicationServiceTest, RefusalsAndFailuresAreAnsweredWithErrorsAndTheServiceGoesOn) {
    const std::string refused = "org.freedesktop.DBus.Error.InvalidArgs",
                      failed = "org.freedesktop.DBus.Error.Failed";
    const std::tuple<Words, std::string, std::string> cases[] = {
        {{"dance"}, refused, "Unknown action \"dance\" (known: pause, set)"},
        {{"pause"}, failed, "The request \"pause\" failed: pause broke"},
        {{"Status"}, failed, "The request \"Status\" failed: no state"},
        {{"Activate"}, failed, "The request \"Activate\" failed: unknown exception"},
    };
    startService();
    service_->setAction(
        "pause", 0, 0, [](const Words&) -> Result<void> { throw std::logic_error("pause broke"); });
    service_->setStatusProvider([]() -> std::string { throw std::runtime_error("no state"); });
    service_->setActivateHandler([] { throw 42; });
    for (const auto& [request, error, text] : cases) {
        const Reply reply = ask(request);  // runs the loop: a failure leaving it throws here
        EXPECT_EQ(reply.outcome, Outcome::failed) << text;
        EXPECT_EQ(reply.errorName, error);
        EXPECT_EQ(reply.text, text);
        EXPECT_EQ(ask({"set", "tiles"}).outcome, Outcome::ok);
    }
    ASSERT_EQ(log_.lines().size(), 3u);
    EXPECT_EQ(log_.lines()[0], "Tavel: request pause failed: pause broke");
}

}  // namespace
}  // namespace tavel::test
