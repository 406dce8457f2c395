#pragma once
// Low Power Mode from the power-profiles daemon on the system bus: low power is on while
// its ActiveProfile is "power-saver". The daemon is asked under its current name
// (org.freedesktop.UPower.PowerProfiles) first and its older one (net.hadess.PowerProfiles)
// second. Its PropertiesChanged signal is the change notification; NameOwnerChanged tells
// when it starts or stops later. No daemon on the bus means low power off.
//
// Thread rules: main thread only. The change handler runs on the main thread, inside the
// bus connection's processing on the loop.

#include "platform/system_state.h"

#include <functional>
#include <memory>
#include <string>

namespace tavel {

class BusConnection;

class PowerProfilesSource final : public PowerSource {
public:
    // Subscribes to the signals and starts asking for the profile; until the answer
    // arrives low power reads off. `systemBus` must outlive this source. Never throws:
    // on a bus that refuses the subscriptions the source stays off.
    explicit PowerProfilesSource(BusConnection& systemBus);
    ~PowerProfilesSource() override;
    PowerProfilesSource(const PowerProfilesSource&) = delete;
    PowerProfilesSource& operator=(const PowerProfilesSource&) = delete;

    // The cached state: ActiveProfile == "power-saver".
    bool lowPowerActive() const override;
    // Called when lowPowerActive() changes (not for other profile changes).
    void setChangeHandler(std::function<void()> handler) override;

    // The profile in use ("power-saver", "balanced", "performance"); empty without a daemon.
    std::string activeProfile() const;
    // The bus name whose profile is in use; empty without a daemon.
    std::string serviceName() const;
    // True while a question to the daemon is unanswered.
    bool querying() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace tavel
