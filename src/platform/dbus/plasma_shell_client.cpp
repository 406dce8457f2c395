#include "platform/dbus/plasma_shell_client.h"

#include "platform/dbus/bus_connection.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>

namespace tavel {

namespace {

constexpr const char* kShellName = "org.kde.plasmashell";
constexpr const char* kShellPath = "/PlasmaShell";
constexpr const char* kShellInterface = "org.kde.PlasmaShell";
constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kOwnerChangedRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.kde.plasmashell'";
// plasmashell runs scripts on its main thread, between drawing its desktops: on a busy
// machine a survey of several desktops takes a while.
constexpr auto kScriptTimeout = std::chrono::seconds(10);
// At the end of the process: the person waits for this.
constexpr auto kLastScriptTimeout = std::chrono::seconds(4);
constexpr auto kOwnerQueryTimeout = std::chrono::seconds(2);

PlasmaShell::Answer failure(const sdbus::Error& error) {
    const std::string& name = error.getName();
    const bool notRun = name == "org.freedesktop.DBus.Error.UnknownObject" ||
                        name == "org.freedesktop.DBus.Error.UnknownMethod" ||
                        name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
                        name == "org.freedesktop.DBus.Error.NoReply" ||
                        name == "org.freedesktop.DBus.Error.Timeout";
    return {false, name + ": " + error.getMessage(), notRun};
}

}  // namespace

// Main thread only.
struct PlasmaShellClient::State {
    State(BusConnection& bus, Scheduler& scheduler) : bus(bus), scheduler(scheduler) {}

    void onOwnerChanged(sdbus::Message& message) {
        std::string name, oldOwner, newOwner;
        try {
            message >> name >> oldOwner >> newOwner;
        } catch (const sdbus::Error&) {
            return;  // malformed
        }
        if (name != kShellName) return;
        running = !newOwner.empty();
        auto handler = ownerHandler;  // a copy: it may replace itself
        if (handler) handler();
    }

    BusConnection& bus;
    Scheduler& scheduler;
    bool running = false;
    std::function<void()> ownerHandler;
    std::unique_ptr<sdbus::IProxy> shell;  // last, so they go first
    sdbus::Slot match;
};

PlasmaShellClient::PlasmaShellClient(BusConnection& sessionBus, Scheduler& scheduler)
    : state_(std::make_shared<State>(sessionBus, scheduler)) {
    State& state = *state_;
    try {
        state.match =
            sessionBus.connection().addMatch(kOwnerChangedRule, [&state](sdbus::Message& message) {
                state.bus.guarded([&] { state.onOwnerChanged(message); });
            });
        state.shell = sdbus::createProxy(sessionBus.connection(), kShellName, kShellPath);
        // Asked after subscribing, so that no change falls between the answer and the
        // first signal.
        auto daemon = sdbus::createProxy(sessionBus.connection(), kBusName, kBusPath);
        daemon->callMethod("NameHasOwner")
            .onInterface(kBusName)
            .withTimeout(kOwnerQueryTimeout)
            .withArguments(std::string(kShellName))
            .storeResultsTo(state.running);
    } catch (const sdbus::Error&) {
        state.running = false;  // a bus that refuses has no plasmashell to talk to
    }
    sessionBus.wake();
}

PlasmaShellClient::~PlasmaShellClient() = default;

bool PlasmaShellClient::running() const {
    return state_->running;
}

void PlasmaShellClient::setOwnerHandler(std::function<void()> handler) {
    state_->ownerHandler = std::move(handler);
}

void PlasmaShellClient::evaluate(const std::string& script, std::function<void(Answer)> done) {
    State& state = *state_;
    std::weak_ptr<State> weak = state_;
    auto answer = [weak, done](Answer result) {
        if (weak.lock()) done(std::move(result));
    };
    if (!state.running || !state.shell) {
        state.scheduler.post([answer] { answer({false, "plasmashell is not running", true}); });
        return;
    }
    try {
        state.shell->callMethodAsync("evaluateScript")
            .onInterface(kShellInterface)
            .withTimeout(kScriptTimeout)
            .withArguments(script)
            .uponReplyInvoke([answer](const sdbus::Error* error, std::string text) {
                answer(error ? failure(*error) : PlasmaShell::Answer{true, std::move(text)});
            });
        state.bus.wake();
    } catch (const sdbus::Error& error) {
        state.scheduler.post([answer, result = failure(error)] { answer(result); });
    }
}

PlasmaShell::Answer PlasmaShellClient::evaluateNow(const std::string& script) {
    State& state = *state_;
    if (!state.running || !state.shell) return {false, "plasmashell is not running", true};
    Answer result;
    try {
        state.shell->callMethod("evaluateScript")
            .onInterface(kShellInterface)
            .withTimeout(kLastScriptTimeout)
            .withArguments(script)
            .storeResultsTo(result.text);
        result.ok = true;
    } catch (const sdbus::Error& error) {
        result = failure(error);
    }
    state.bus.wake();  // the blocking call may have queued messages
    return result;
}

}  // namespace tavel
