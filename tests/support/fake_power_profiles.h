#pragma once
// A power-profiles daemon for tests: its ActiveProfile property under the current bus name
// or the older one, a change announced by value or only by invalidation.

#include <sdbus-c++/sdbus-c++.h>

#include <functional>
#include <memory>
#include <string>

namespace tavel::test {

struct PowerProfilesNames {
    const char *name, *path, *interface;
};
inline constexpr PowerProfilesNames kPowerProfiles = {"org.freedesktop.UPower.PowerProfiles",
                                                      "/org/freedesktop/UPower/PowerProfiles",
                                                      "org.freedesktop.UPower.PowerProfiles"};
inline constexpr PowerProfilesNames kOlderPowerProfiles = {
    "net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles"};

struct FakePowerProfilesOptions {
    PowerProfilesNames names = kPowerProfiles;
    bool byValue = true;  // else the change signal only invalidates the property
    bool ownName = true;  // else an impostor sending the same signals
    // Runs after each message the fake sends, for the caller that drives the connection.
    std::function<void()> sent = [] {};
};

class FakePowerProfiles {
public:
    using Options = FakePowerProfilesOptions;

    // On `connection`, which the caller drives and keeps until the fake is gone.
    FakePowerProfiles(sdbus::IConnection& connection, std::string profile, Options options = {})
        : connection_(&connection), options_(std::move(options)), profile_(std::move(profile)) {
        start();
    }
    // On a connection of its own to the bus at `address`, served on a thread of its own.
    FakePowerProfiles(const std::string& address, std::string profile)
        : owned_(sdbus::createSessionBusConnectionWithAddress(address)),
          connection_(owned_.get()),
          profile_(std::move(profile)) {
        start();
        owned_->enterEventLoopAsync();
    }
    ~FakePowerProfiles() {
        if (owned_) owned_->leaveEventLoop();  // before the object goes
    }

    void setProfile(std::string profile) {
        profile_ = std::move(profile);
        object_->emitPropertiesChangedSignal(options_.names.interface, {"ActiveProfile"});
        options_.sent();
    }
    void releaseName() {
        connection_->releaseName(options_.names.name);
        options_.sent();
    }

private:
    void start() {
        object_ = sdbus::createObject(*connection_, options_.names.path);
        object_->registerProperty("ActiveProfile")
            .onInterface(options_.names.interface)
            .withGetter([this] { return profile_; })
            .withUpdateBehavior(options_.byValue ? sdbus::Flags::EMITS_CHANGE_SIGNAL
                                                 : sdbus::Flags::EMITS_INVALIDATION_SIGNAL);
        object_->finishRegistration();
        if (options_.ownName) connection_->requestName(options_.names.name);  // after the object
        options_.sent();
    }

    std::unique_ptr<sdbus::IConnection> owned_;  // first: outlives the object
    sdbus::IConnection* connection_;
    Options options_;
    std::string profile_;
    std::unique_ptr<sdbus::IObject> object_;
};

}  // namespace tavel::test
