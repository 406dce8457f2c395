#pragma once
// A power-profiles daemon for tests: its ActiveProfile property under the current bus name
// or the older one, served on a connection and a thread of its own.

#include <sdbus-c++/sdbus-c++.h>

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

class FakePowerProfiles {
public:
    // On the bus at `address`; its name goes with it.
    FakePowerProfiles(const std::string& address, std::string profile,
                      PowerProfilesNames names = kPowerProfiles)
        : connection_(sdbus::createSessionBusConnectionWithAddress(address)),
          names_(names),
          profile_(std::move(profile)) {
        object_ = sdbus::createObject(*connection_, names_.path);
        object_->registerProperty("ActiveProfile")
            .onInterface(names_.interface)
            .withGetter([this] { return profile_; })
            .withUpdateBehavior(sdbus::Flags::EMITS_CHANGE_SIGNAL);
        object_->finishRegistration();
        connection_->requestName(names_.name);  // after the object
        connection_->enterEventLoopAsync();
    }
    ~FakePowerProfiles() { connection_->leaveEventLoop(); }  // before the object goes

    void setProfile(std::string profile) {
        profile_ = std::move(profile);
        object_->emitPropertiesChangedSignal(names_.interface, {"ActiveProfile"});
    }

private:
    std::unique_ptr<sdbus::IConnection> connection_;  // first: outlives the object
    PowerProfilesNames names_;
    std::string profile_;
    std::unique_ptr<sdbus::IObject> object_;
};

}  // namespace tavel::test
