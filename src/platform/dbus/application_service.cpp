#include "platform/dbus/application_service.h"

#include "org.freedesktop.Application_adaptor.h"
#include "platform/app_identity.h"
#include "platform/dbus/action_arguments.h"
#include "platform/dbus/bus_connection.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <exception>
#include <utility>

namespace tavel {

namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* kFailed = "org.freedesktop.DBus.Error.Failed";
constexpr const char* kNotRunning = "Tavel is not running";
// Bounds the one blocking call the running instance makes (RequestName).
constexpr auto kClaimTimeout = std::chrono::seconds(5);

// RequestName's flag and answers, as the bus daemon defines them.
constexpr std::uint32_t kDoNotQueue = 4;
constexpr std::uint32_t kPrimaryOwner = 1;
constexpr std::uint32_t kAlreadyOwner = 4;

using PlatformData = std::map<std::string, sdbus::Variant>;

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

// Main thread only.
struct ApplicationService::State {
    struct Action {
        std::size_t minArguments = 0;
        std::size_t maxArguments = 0;
        ActionHandler run;
    };

    State(BusConnection& bus, LogSink& log) : bus(bus), log(log) {}

    // Runs application code inside a method handler. A failure there answers this one
    // request with an error and leaves a log line; the application and the loop go on.
    template <class Work>
    auto callApplication(const std::string& request, Work&& work) {
        std::string reason;
        try {
            return std::forward<Work>(work)();
        } catch (const std::exception& e) {
            reason = e.what();
        } catch (...) {
            reason = "unknown exception";
        }
        log.write("Tavel: request " + request + " failed: " + reason);
        throw sdbus::Error(kFailed, "The request " + quoted(request) + " failed: " + reason);
    }

    void activate(const std::string& request) {
        callApplication(request, [&] {
            if (auto handler = activateHandler) handler();
        });
    }

    void open(const std::vector<std::string>& uris) {
        if (!openHandler) return activate("Open");
        callApplication("Open", [&] {
            auto handler = openHandler;
            handler(uris);
        });
    }

    void activateAction(const std::string& name, const std::vector<sdbus::Variant>& parameters) {
        const auto found = actions.find(name);
        if (found == actions.end()) {
            std::string known;
            for (const auto& [actionName, action] : actions)
                known += (known.empty() ? "" : ", ") + actionName;
            throw sdbus::Error(kInvalidArgs, "Unknown action " + quoted(name) + " (known: " +
                                                 (known.empty() ? "none" : known) + ")");
        }
        const Action action = found->second;  // a copy: the handler may replace it
        std::vector<ActionParameter> received;
        for (const sdbus::Variant& parameter : parameters) {
            if (parameter.containsValueOfType<std::string>())
                received.push_back({true, parameter.get<std::string>()});
            else
                received.push_back({false, parameter.peekValueType()});
        }
        auto arguments = actionArguments(name, action.minArguments, action.maxArguments, received);
        if (!arguments) throw sdbus::Error(kInvalidArgs, arguments.why());
        const Result<void> done = callApplication(name, [&] { return action.run(*arguments); });
        if (!done) throw sdbus::Error(kInvalidArgs, done.why());
    }

    std::string status() {
        if (!statusProvider) throw sdbus::Error(kFailed, "No status is available yet");
        return callApplication("Status", [&] {
            auto provider = statusProvider;
            return provider();
        });
    }

    // The exported object: the interfaces' adaptors, answered by the state.
    class Object final : public sdbus::AdaptorInterfaces<org::freedesktop::Application_adaptor,
                                                         ::io::tavel::Tavel::Control_adaptor> {
    public:
        explicit Object(State& state)
            : AdaptorInterfaces(state.bus.connection(), kApplicationObjectPath), state_(state) {
            registerAdaptor();
        }
        ~Object() { unregisterAdaptor(); }

    private:
        void Activate(const PlatformData&) override { state_.activate("Activate"); }
        void Open(const std::vector<std::string>& uris, const PlatformData&) override {
            state_.open(uris);
        }
        void ActivateAction(const std::string& name, const std::vector<sdbus::Variant>& parameters,
                            const PlatformData&) override {
            state_.activateAction(name, parameters);
        }
        std::string Status() override { return state_.status(); }

        State& state_;
    };

    BusConnection& bus;
    LogSink& log;
    std::function<void()> activateHandler;
    std::function<void(const std::vector<std::string>&)> openHandler;
    std::map<std::string, Action> actions;
    std::function<std::string()> statusProvider;
    bool owned = false;
    std::unique_ptr<Object> object;  // last, so it goes first
};

ApplicationService::ApplicationService(BusConnection& sessionBus, LogSink& log)
    : state_(std::make_unique<State>(sessionBus, log)) {}

ApplicationService::~ApplicationService() {
    state_->object.reset();
    if (state_->owned && state_->bus.connected()) {
        try {
            state_->bus.connection().releaseName(kAppBundleIdentifier);
        } catch (const sdbus::Error&) {
            // The bus daemon drops the name with the connection anyway.
        }
        state_->bus.wake();
    }
}

void ApplicationService::setActivateHandler(std::function<void()> handler) {
    state_->activateHandler = std::move(handler);
}

void ApplicationService::setOpenHandler(
    std::function<void(const std::vector<std::string>&)> handler) {
    state_->openHandler = std::move(handler);
}

void ApplicationService::setAction(const std::string& name, std::size_t minArguments,
                                   std::size_t maxArguments, ActionHandler handler) {
    state_->actions[name] = {minArguments, maxArguments, std::move(handler)};
}

void ApplicationService::setStatusProvider(std::function<std::string()> provider) {
    state_->statusProvider = std::move(provider);
}

Result<ApplicationService::Claim> ApplicationService::claim() {
    State& state = *state_;
    if (state.owned) return Claim::owned;
    auto fail = [&](const std::string& reason) {
        state.object.reset();
        state.bus.wake();  // the blocking call may have queued messages
        return Failure{reason};
    };
    if (!state.bus.connected()) return fail("the session bus connection is closed");
    std::uint32_t answer = 0;
    try {
        // Exported first, so that the name never points at a missing object.
        state.object = std::make_unique<State::Object>(state);
        auto daemon = sdbus::createProxy(state.bus.connection(), kBusName, kBusPath);
        daemon->callMethod("RequestName")
            .onInterface(kBusName)
            .withTimeout(kClaimTimeout)
            .withArguments(std::string(kAppBundleIdentifier), kDoNotQueue)
            .storeResultsTo(answer);
    } catch (const sdbus::Error& e) {
        return fail(std::string("cannot own ") + kAppBundleIdentifier +
                    " on the session bus: " + e.what());
    }
    state.bus.wake();
    if (answer == kPrimaryOwner || answer == kAlreadyOwner) {
        state.owned = true;
        return Claim::owned;
    }
    state.object.reset();
    return Claim::taken;
}

bool ApplicationService::owned() const {
    return state_->owned;
}

ApplicationClient::ApplicationClient(std::chrono::milliseconds timeout)
    : timeout_(timeout), connection_(openBus(BusType::session)) {}

ApplicationClient::~ApplicationClient() = default;

template <class Call>
ApplicationClient::Reply ApplicationClient::request(Call&& call) {
    if (!connection_) return {Outcome::failed, connection_.why(), {}};
    try {
        // Asked first so that a missing instance is never started by bus activation.
        auto daemon = sdbus::createProxy(**connection_, kBusName, kBusPath);
        bool running = false;
        daemon->callMethod("NameHasOwner")
            .onInterface(kBusName)
            .withTimeout(timeout_)
            .withArguments(std::string(kAppBundleIdentifier))
            .storeResultsTo(running);
        if (!running) return {Outcome::notRunning, kNotRunning, {}};
        auto application =
            sdbus::createProxy(**connection_, kAppBundleIdentifier, kApplicationObjectPath);
        return {Outcome::ok, call(*application), {}};
    } catch (const sdbus::Error& e) {
        const std::string& name = e.getName();
        // The instance quit between the two calls.
        if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
            name == "org.freedesktop.DBus.Error.NameHasNoOwner")
            return {Outcome::notRunning, kNotRunning, {}};
        if (name == "org.freedesktop.DBus.Error.Timeout" ||
            name == "org.freedesktop.DBus.Error.NoReply")
            return {Outcome::failed,
                    "Tavel did not answer within " + std::to_string(timeout_.count()) + " ms",
                    name};
        return {Outcome::failed, e.getMessage().empty() ? name : e.getMessage(), name};
    }
}

ApplicationClient::Reply ApplicationClient::activate() {
    return request([&](sdbus::IProxy& application) {
        application.callMethod("Activate")
            .onInterface(kApplicationInterface)
            .withTimeout(timeout_)
            .withArguments(PlatformData{});
        return std::string();
    });
}

ApplicationClient::Reply ApplicationClient::activateAction(
    const std::string& name, const std::vector<std::string>& parameters) {
    std::vector<sdbus::Variant> parameter(parameters.begin(), parameters.end());
    return request([&](sdbus::IProxy& application) {
        application.callMethod("ActivateAction")
            .onInterface(kApplicationInterface)
            .withTimeout(timeout_)
            .withArguments(name, parameter, PlatformData{});
        return std::string();
    });
}

ApplicationClient::Reply ApplicationClient::status() {
    return request([&](sdbus::IProxy& application) {
        std::string report;
        application.callMethod("Status")
            .onInterface(kControlInterface)
            .withTimeout(timeout_)
            .storeResultsTo(report);
        return report;
    });
}

}  // namespace tavel
