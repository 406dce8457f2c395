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
#include <tuple>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;
using Outcome = ApplicationClient::Outcome;
using Reply = ApplicationClient::Reply;
using Variants = std::vector<sdbus::Variant>;
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

using Request = std::function<Reply(ApplicationClient&)>;

Variants texts(const std::vector<std::string>& values) {
    return Variants(values.begin(), values.end());
}

const Request activate = [](ApplicationClient& client) { return client.activate(); };
const Request status = [](ApplicationClient& client) { return client.status(); };

Request action(std::string name, std::vector<std::string> parameters = {}) {
    return [=](ApplicationClient& client) { return client.activateAction(name, parameters); };
}

class ApplicationServiceTest : public BusTest {
protected:
    // A claimed service with a few actions and a status, recording what reaches it.
    void startService() {
        bus_ = open(BusType::session);
        service_ = std::make_unique<ApplicationService>(*bus_, log_);
        service_->setActivateHandler([this] { record("Activate", {}); });
        service_->setStatusProvider([this] { return record("Status", {}) + "Paused: no"; });
        for (auto [name, min, max] : {std::tuple("pause", 0, 0), {"pair", 2, 2}, {"some", 1, 3}})
            service_->setAction(name, min, max,
                                [this, name](const auto& args) { return record(name, args); });
        service_->setAction("set", 1, 2, [this](const std::vector<std::string>& args) {
            if (args[0] == "nonexistent") return std::string("No effect named \"nonexistent\"");
            return record("set", args);
        });
        std::string error;
        ASSERT_EQ(service_->claim(&error), ApplicationService::Claim::owned) << error;
    }

    // Notes a request, or fails it when the test broke that one.
    std::string record(const std::string& what, const std::vector<std::string>& args) {
        if (what == broken_) fault_();
        std::string line = what;
        for (const auto& a : args) line += " [" + a + "]";
        calls_.push_back(line);
        return {};
    }

    // Runs `request` with a fresh client on another thread while the loop runs here.
    Reply ask(Request request) {
        auto reply = std::async(std::launch::async, [request] {
            ApplicationClient client(3s);
            return request(client);
        });
        EXPECT_TRUE(runUntil([&] { return reply.wait_for(0s) == std::future_status::ready; }));
        return reply.get();
    }

    // Calls `method` from a connection of its own on this loop, for what the client does not
    // send (Open, parameters that are not strings). The error, if the call failed.
    template <class... Args>
    std::optional<sdbus::Error> callDirect(const char* method, const Args&... args) {
        if (!caller_) caller_ = open(BusType::session);
        auto proxy =
            sdbus::createProxy(caller_->connection(), kAppBundleIdentifier, kApplicationObjectPath);
        std::optional<sdbus::Error> refusal;
        bool answered = false;
        proxy->callMethodAsync(method)
            .onInterface(kApplicationInterface)
            .withArguments(args..., std::map<std::string, sdbus::Variant>{})
            .uponReplyInvoke([&](const sdbus::Error* error) {
                answered = true;
                if (error) refusal = *error;
            });
        caller_->wake();
        EXPECT_TRUE(runUntil([&] { return answered; }));
        return refusal;
    }

    MemoryLogSink log_;
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<BusConnection> caller_;
    std::unique_ptr<ApplicationService> service_;
    std::vector<std::string> calls_;
    std::string broken_;  // the request whose handler calls fault_
    std::function<void()> fault_;
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

TEST_F(ApplicationServiceTest, RequestsReachTheApplication) {
    startService();
    for (const Request& request :
         {activate, action("pause"), action("set", {"tiles", "2"}), action("set", {"aurora"})})
        EXPECT_EQ(ask(request).outcome, Outcome::ok);
    const std::vector<std::string> uris{"file:///tmp/a.png"};
    EXPECT_FALSE(callDirect("Open", uris));  // without an open handler Open activates
    service_->setOpenHandler([this](const auto& received) { record("Open", received); });
    EXPECT_FALSE(callDirect("Open", uris));
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"Activate", "pause", "set [tiles] [2]", "set [aurora]",
                                        "Activate", "Open [file:///tmp/a.png]"}));

    Reply report = ask(status);
    EXPECT_EQ(report.outcome, Outcome::ok);
    EXPECT_EQ(report.text, "Paused: no");
    service_->setStatusProvider({});
    report = ask(status);
    EXPECT_EQ(report.outcome, Outcome::failed);
    EXPECT_EQ(report.errorName, "org.freedesktop.DBus.Error.Failed");
}

TEST_F(ApplicationServiceTest, ActionArgumentsAreCheckedBeforeTheApplicationRuns) {
    struct Case {
        std::string action;
        Variants parameters;
        std::string refusal;
    };
    const Case cases[] = {
        {"dance", {}, "Unknown action \"dance\" (known: pair, pause, set, some)"},
        {"set", texts({}), "Action \"set\" takes 1 or 2 parameters, not 0"},
        {"set", texts({"tiles", "2", "3"}), "Action \"set\" takes 1 or 2 parameters, not 3"},
        {"pause", texts({"x"}), "Action \"pause\" takes no parameters, not 1"},
        {"pair", texts({"x"}), "Action \"pair\" takes 2 parameters, not 1"},
        {"some", {}, "Action \"some\" takes 1 to 3 parameters, not 0"},
        {"set",
         {sdbus::Variant(42)},
         "Parameter 1 of action \"set\" must be a string, not of type \"i\""},
        // Refused by the application itself.
        {"set", texts({"nonexistent"}), "No effect named \"nonexistent\""},
    };
    startService();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        const auto refusal = callDirect("ActivateAction", c.action, c.parameters);
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->getName(), kInvalidArgs);
        EXPECT_EQ(refusal->getMessage(), c.refusal);
    }
    // Through the client, a refusal keeps its name and text.
    const Reply reply = ask(action("set"));
    EXPECT_EQ(reply.outcome, Outcome::failed);
    EXPECT_EQ(reply.errorName, kInvalidArgs);
    EXPECT_EQ(reply.text, cases[1].refusal);
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ApplicationServiceTest, AFailingRequestIsAnsweredWithAnErrorAndTheServiceGoesOn) {
    struct Case {
        std::string request;
        Request ask;
        std::function<void()> fault;
        std::string reason;
    };
    const Case cases[] = {
        {"pause", action("pause"), [] { throw std::logic_error("pause broke"); }, "pause broke"},
        {"Status", status, [] { throw std::runtime_error("no state"); }, "no state"},
        {"Activate", activate, [] { throw 42; }, "unknown exception"},
    };
    startService();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        broken_ = c.request;
        fault_ = c.fault;
        // ask() runs the loop: a failure that left it would throw here.
        const Reply failed = ask(c.ask);
        EXPECT_EQ(failed.outcome, Outcome::failed);
        EXPECT_EQ(failed.errorName, "org.freedesktop.DBus.Error.Failed");
        EXPECT_EQ(failed.text, "The request \"" + c.request + "\" failed: " + c.reason);
        EXPECT_EQ(log_.lines().back(), "Tavel: request " + c.request + " failed: " + c.reason);
        // The next call is answered normally.
        broken_.clear();
        EXPECT_EQ(ask(c.ask).outcome, Outcome::ok);
    }
    EXPECT_EQ(log_.lines().size(), std::size(cases));
}

TEST_F(ApplicationServiceTest, ClientTellsAMissingInstanceFromAFailure) {
    Reply reply = ask(action("pause"));
    EXPECT_EQ(reply.outcome, Outcome::notRunning);
    EXPECT_EQ(reply.text, "Tavel is not running");

    // The loop is not run while the client waits: the instance never answers.
    startService();
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
