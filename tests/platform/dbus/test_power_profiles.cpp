// Low Power Mode from a fake power-profiles daemon on a private bus.

#include "bus_test.h"
#include "platform/dbus/power_profiles.h"

#include <memory>
#include <string>

namespace tavel::test {
namespace {

struct ServiceNames {
    const char* name;
    const char* path;
    const char* interface;
};
constexpr ServiceNames kCurrent = {"org.freedesktop.UPower.PowerProfiles",
                                   "/org/freedesktop/UPower/PowerProfiles",
                                   "org.freedesktop.UPower.PowerProfiles"};
constexpr ServiceNames kOlder = {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles",
                                 "net.hadess.PowerProfiles"};

// The daemon's ActiveProfile property on a connection of its own, announced by value or by
// invalidation; it owns its name unless told not to.
class FakePowerProfiles {
public:
    FakePowerProfiles(std::unique_ptr<BusConnection> bus, ServiceNames names, std::string profile,
                      bool byValue = true, bool ownName = true)
        : bus_(std::move(bus)), names_(names), profile_(std::move(profile)) {
        object_ = sdbus::createObject(bus_->connection(), names_.path);
        object_->registerProperty("ActiveProfile")
            .onInterface(names_.interface)
            .withGetter([this] { return profile_; })
            .withUpdateBehavior(byValue ? sdbus::Flags::EMITS_CHANGE_SIGNAL
                                        : sdbus::Flags::EMITS_INVALIDATION_SIGNAL);
        object_->finishRegistration();
        if (ownName) bus_->connection().requestName(names_.name);  // after the object
        bus_->wake();
    }
    void setProfile(std::string profile) {
        profile_ = std::move(profile);
        object_->emitPropertiesChangedSignal(names_.interface, {"ActiveProfile"});
        bus_->wake();
    }
    void releaseName() {
        bus_->connection().releaseName(names_.name);
        bus_->wake();
    }
    BusConnection& bus() { return *bus_; }

private:
    std::unique_ptr<BusConnection> bus_;
    ServiceNames names_;
    std::string profile_;
    std::unique_ptr<sdbus::IObject> object_;
};

class PowerProfilesTest : public BusTest {
protected:
    // The source under test, counting its change notifications.
    void startSource() {
        bus_ = open();
        source_ = std::make_unique<PowerProfilesSource>(*bus_);
        source_->setChangeHandler([this] { ++changes_; });
    }
    bool settled() {
        return runUntil([this] { return !source_->querying(); });
    }
    bool profileIs(const std::string& profile) {
        return runUntil([&] { return source_->activeProfile() == profile; });
    }

    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<PowerProfilesSource> source_;
    int changes_ = 0;
};

TEST_F(PowerProfilesTest, FollowsTheNameOwnersProfileAndAnnouncesLowPowerChanges) {
    FakePowerProfiles service(open(), kCurrent, "balanced");
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_EQ(source_->serviceName(), kCurrent.name);
    EXPECT_EQ(source_->activeProfile(), "balanced");
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 0);

    service.setProfile("power-saver");
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    service.setProfile("balanced");
    ASSERT_TRUE(runUntil([&] { return changes_ == 2; }));
    EXPECT_FALSE(source_->lowPowerActive());

    // The same signal from a connection that does not own the name is not heard.
    FakePowerProfiles impostor(open(), kCurrent, "balanced", true, false);
    impostor.setProfile("power-saver");
    roundTrip(impostor.bus());  // routed before the service's signal below
    // Another profile that is not power-saver changes nothing the core sees.
    service.setProfile("performance");
    ASSERT_TRUE(profileIs("performance"));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 2);
}

TEST_F(PowerProfilesTest, OlderNameAnnouncingByInvalidationAndPowerSaverAtStart) {
    FakePowerProfiles service(open(), kOlder, "power-saver", false);
    startSource();
    EXPECT_FALSE(source_->lowPowerActive());  // not known before the answer
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kOlder.name);

    service.setProfile("balanced");
    ASSERT_TRUE(runUntil([&] { return changes_ == 2; }));
    EXPECT_FALSE(source_->lowPowerActive());
}

TEST_F(PowerProfilesTest, CurrentNameIsPreferredAndOlderTakesOverWhenItGoes) {
    auto current = std::make_unique<FakePowerProfiles>(open(), kCurrent, "balanced");
    FakePowerProfiles older(open(), kOlder, "power-saver");
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_EQ(source_->serviceName(), kCurrent.name);
    EXPECT_FALSE(source_->lowPowerActive());

    // Signals from the older name do not override the preferred one.
    older.setProfile("power-saver");
    roundTrip(older.bus());  // routed before the next signal of the current name
    current->setProfile("performance");
    ASSERT_TRUE(profileIs("performance"));
    EXPECT_EQ(changes_, 0);

    current.reset();  // its connection closes
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kOlder.name);
}

TEST_F(PowerProfilesTest, NoServiceMeansOffUntilOneStartsAndAgainOnceItGivesUpItsName) {
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), "");
    EXPECT_EQ(source_->activeProfile(), "");

    FakePowerProfiles service(open(), kCurrent, "power-saver");
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kCurrent.name);

    service.releaseName();
    ASSERT_TRUE(runUntil([&] { return changes_ == 2; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), "");
}

}  // namespace
}  // namespace tavel::test
