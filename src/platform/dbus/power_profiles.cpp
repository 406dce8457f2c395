#include "platform/dbus/power_profiles.h"

#include "platform/dbus/bus_connection.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <map>
#include <vector>

namespace tavel {

namespace {

struct Service {
    const char* name;
    const char* path;
    const char* interface;
};

// In order of preference: the daemon answers under both names since it was renamed.
constexpr Service kServices[] = {
    {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles",
     "org.freedesktop.UPower.PowerProfiles"},
    {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles"},
};
constexpr std::size_t kServiceCount = std::size(kServices);

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* kActiveProfile = "ActiveProfile";
constexpr const char* kPowerSaver = "power-saver";
// A daemon that does not answer within this time counts as absent until it speaks again.
constexpr auto kQueryTimeout = std::chrono::seconds(5);

std::string propertiesChangedRule(const Service& service) {
    return std::string("type='signal',sender='") + service.name + "',path='" + service.path +
           "',interface='" + kPropertiesInterface + "',member='PropertiesChanged',arg0='" +
           service.interface + "'";
}

std::string ownerChangedRule(const Service& service) {
    return std::string(
               "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
               "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
           service.name + "'";
}

bool meansAbsent(const sdbus::Error& error) {
    return error.getName() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           error.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

}  // namespace

// Main thread only.
struct PowerProfilesSource::State {
    explicit State(BusConnection& bus) : bus(bus) {}

    // Asks the services in order of preference, skipping those known to be absent.
    void refresh() {
        querying = true;
        ask(0, ++generation);
    }

    void ask(std::size_t service, std::uint64_t question) {
        while (service < proxies.size() && absent[service]) ++service;
        if (service >= proxies.size()) {
            settle(-1, {});
            return;
        }
        try {
            proxies[service]
                ->callMethodAsync("Get")
                .onInterface(kPropertiesInterface)
                .withTimeout(kQueryTimeout)
                .withArguments(std::string(kServices[service].interface),
                               std::string(kActiveProfile))
                .uponReplyInvoke(
                    [this, service, question](const sdbus::Error* error, sdbus::Variant value) {
                        bus.guarded([&] { answer(service, question, error, value); });
                    });
            bus.wake();
        } catch (const sdbus::Error&) {
            ask(service + 1, question);
        }
    }

    void answer(std::size_t service, std::uint64_t question, const sdbus::Error* error,
                const sdbus::Variant& value) {
        if (question != generation) return;
        if (!error && value.containsValueOfType<std::string>()) {
            settle(static_cast<int>(service), value.get<std::string>());
            return;
        }
        if (error && meansAbsent(*error)) absent[service] = true;
        ask(service + 1, question);
    }

    void settle(int service, std::string newProfile) {
        querying = false;
        const bool was = lowPower();
        current = service;
        profile = std::move(newProfile);
        if (lowPower() != was && changeHandler) {
            auto handler = changeHandler;  // it may replace itself
            handler();
        }
    }

    void onPropertiesChanged(std::size_t service, sdbus::Message& message) {
        std::string interface;
        std::map<std::string, sdbus::Variant> changed;
        std::vector<std::string> invalidated;
        try {
            message >> interface >> changed >> invalidated;
        } catch (const sdbus::Error&) {
            return;  // malformed: not from the daemon we know
        }
        if (interface != kServices[service].interface) return;
        const auto value = changed.find(kActiveProfile);
        const bool mentioned =
            value != changed.end() ||
            std::find(invalidated.begin(), invalidated.end(), kActiveProfile) != invalidated.end();
        if (!mentioned) return;
        absent[service] = false;  // it speaks, so it is there
        if (current == static_cast<int>(service) && !querying && value != changed.end() &&
            value->second.containsValueOfType<std::string>()) {
            settle(current, value->second.get<std::string>());
        } else if (current == -1 || static_cast<int>(service) <= current) {
            // A preferred service speaks, or the value was only invalidated.
            refresh();
        }
    }

    void onOwnerChanged(std::size_t service, sdbus::Message& message) {
        std::string name, oldOwner, newOwner;
        try {
            message >> name >> oldOwner >> newOwner;
        } catch (const sdbus::Error&) {
            return;
        }
        absent[service] = newOwner.empty();
        refresh();
    }

    bool lowPower() const { return profile == kPowerSaver; }

    BusConnection& bus;
    std::function<void()> changeHandler;
    int current = -1;  // index into kServices of the service in use, -1 for none
    std::string profile;
    bool querying = false;
    std::uint64_t generation = 0;  // answers to older questions are dropped
    bool absent[kServiceCount] = {};

    // Last, so they go first: no callback runs once destruction has begun.
    std::vector<std::unique_ptr<sdbus::IProxy>> proxies;
    std::vector<sdbus::Slot> matches;
};

PowerProfilesSource::PowerProfilesSource(BusConnection& systemBus)
    : state_(std::make_unique<State>(systemBus)) {
    State& state = *state_;
    try {
        for (std::size_t i = 0; i < kServiceCount; ++i) {
            auto& connection = systemBus.connection();
            state.proxies.push_back(
                sdbus::createProxy(connection, kServices[i].name, kServices[i].path));
            state.matches.push_back(connection.addMatch(
                propertiesChangedRule(kServices[i]), [&state, i](sdbus::Message& message) {
                    state.bus.guarded([&] { state.onPropertiesChanged(i, message); });
                }));
            state.matches.push_back(connection.addMatch(
                ownerChangedRule(kServices[i]), [&state, i](sdbus::Message& message) {
                    state.bus.guarded([&] { state.onOwnerChanged(i, message); });
                }));
        }
    } catch (const sdbus::Error&) {
        // The bus refused (or went away): no daemon can be heard, low power stays off.
        state.matches.clear();
        state.proxies.clear();
        return;
    }
    state.refresh();
}

PowerProfilesSource::~PowerProfilesSource() = default;

bool PowerProfilesSource::lowPowerActive() const {
    return state_->lowPower();
}

void PowerProfilesSource::setChangeHandler(std::function<void()> handler) {
    state_->changeHandler = std::move(handler);
}

std::string PowerProfilesSource::activeProfile() const {
    return state_->profile;
}

std::string PowerProfilesSource::serviceName() const {
    return state_->current < 0 ? std::string() : kServices[state_->current].name;
}

bool PowerProfilesSource::querying() const {
    return state_->querying;
}

}  // namespace tavel
