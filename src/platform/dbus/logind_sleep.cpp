#include "platform/dbus/logind_sleep.h"

#include "platform/dbus/bus_connection.h"

#include <sdbus-c++/sdbus-c++.h>

#include <utility>

namespace tavel {

namespace {

// Only the owner of org.freedesktop.login1 can send what this rule matches: the bus
// daemon checks the sender's name.
constexpr const char* kPrepareForSleepRule =
    "type='signal',sender='org.freedesktop.login1',path='/org/freedesktop/login1',"
    "interface='org.freedesktop.login1.Manager',member='PrepareForSleep'";

}  // namespace

// Main thread only.
struct LogindSleepSource::State {
    explicit State(BusConnection& bus) : bus(bus) {}

    void onPrepareForSleep(sdbus::Message& message) {
        bool start = false;
        try {
            message >> start;
        } catch (const sdbus::Error&) {
            return;  // malformed
        }
        auto handler = start ? didSleep : didWake;  // a copy: it may replace itself
        if (handler) handler();
    }

    BusConnection& bus;
    std::function<void()> didSleep;
    std::function<void()> didWake;
    sdbus::Slot match;  // last, so it goes first
};

LogindSleepSource::LogindSleepSource(BusConnection& systemBus)
    : state_(std::make_unique<State>(systemBus)) {
    State& state = *state_;
    try {
        state.match = systemBus.connection().addMatch(
            kPrepareForSleepRule, [&state](sdbus::Message& message) {
                state.bus.guarded([&] { state.onPrepareForSleep(message); });
            });
    } catch (const sdbus::Error&) {
        // A bus that refuses the subscription has no logind to hear: stay quiet.
    }
}

LogindSleepSource::~LogindSleepSource() = default;

void LogindSleepSource::setHandlers(std::function<void()> didSleep, std::function<void()> didWake) {
    state_->didSleep = std::move(didSleep);
    state_->didWake = std::move(didWake);
}

CombinedSleepSource::CombinedSleepSource(std::vector<std::unique_ptr<DisplaySleepSource>> sources)
    : sources_(std::move(sources)), sleeping_(sources_.size(), false) {
    for (std::size_t i = 0; i < sources_.size(); ++i)
        sources_[i]->setHandlers([this, i] { report(i, true); }, [this, i] { report(i, false); });
}

CombinedSleepSource::~CombinedSleepSource() {
    for (auto& source : sources_) source->setHandlers({}, {});
}

void CombinedSleepSource::setHandlers(std::function<void()> didSleep,
                                      std::function<void()> didWake) {
    std::lock_guard lock(mutex_);
    didSleep_ = std::move(didSleep);
    didWake_ = std::move(didWake);
}

bool CombinedSleepSource::asleep() const {
    std::lock_guard lock(mutex_);
    return sleepingCount_ > 0;
}

void CombinedSleepSource::report(std::size_t source, bool sleeping) {
    std::lock_guard lock(mutex_);
    if (sleeping_[source] == sleeping) return;
    sleeping_[source] = sleeping;
    std::function<void()> handler;
    if (sleeping && ++sleepingCount_ == 1) handler = didSleep_;
    if (!sleeping && --sleepingCount_ == 0) handler = didWake_;
    if (handler) handler();
}

}  // namespace tavel
