// Low Power Mode from a fake power-profiles daemon on a private bus.

#include "bus_test.h"
#include "platform/dbus/power_profiles.h"

#include <memory>
#include <string>
#include <thread>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

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

enum class Announce { value, invalidation };

// The daemon's ActiveProfile property under one of its names, on its own connection.
class FakePowerProfiles {
public:
    FakePowerProfiles(std::unique_ptr<BusConnection> bus, ServiceNames names, std::string profile,
                      Announce announce)
        : bus_(std::move(bus)), names_(names), profile_(std::move(profile)) {
        object_ = sdbus::createObject(bus_->connection(), names_.path);
        object_->registerProperty("ActiveProfile")
            .onInterface(names_.interface)
            .withGetter([this] { return profile_; })
            .withUpdateBehavior(announce == Announce::value
                                    ? sdbus::Flags::EMITS_CHANGE_SIGNAL
                                    : sdbus::Flags::EMITS_INVALIDATION_SIGNAL);
        object_->finishRegistration();
        bus_->connection().requestName(names_.name);  // after the object, as the daemon does
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
    std::unique_ptr<FakePowerProfiles> startService(ServiceNames names, std::string profile,
                                                    Announce announce = Announce::value) {
        return std::make_unique<FakePowerProfiles>(open(), names, std::move(profile), announce);
    }

    // The source under test, counting its change notifications.
    void startSource() {
        bus_ = open();
        source_ = std::make_unique<PowerProfilesSource>(*bus_);
        source_->setChangeHandler([this] {
            ++changes_;
            handlerThread_ = std::this_thread::get_id();
        });
    }

    bool settled() {
        return runUntil([this] { return !source_->querying(); });
    }

    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<PowerProfilesSource> source_;
    int changes_ = 0;
    std::thread::id handlerThread_;
};

TEST_F(PowerProfilesTest, FollowsTheActiveProfile) {
    auto service = startService(kCurrent, "balanced");
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_EQ(source_->serviceName(), kCurrent.name);
    EXPECT_EQ(source_->activeProfile(), "balanced");
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 0);

    service->setProfile("power-saver");
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(handlerThread_, std::this_thread::get_id());

    service->setProfile("balanced");
    ASSERT_TRUE(runUntil([&] { return changes_ == 2; }));
    EXPECT_FALSE(source_->lowPowerActive());

    // Another profile that is not power-saver changes nothing the core sees.
    service->setProfile("performance");
    ASSERT_TRUE(runUntil([&] { return source_->activeProfile() == "performance"; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 2);
}

TEST_F(PowerProfilesTest, PowerSaverAtStartIsAnnounced) {
    auto service = startService(kCurrent, "power-saver");
    startSource();
    EXPECT_FALSE(source_->lowPowerActive());  // not known before the answer
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
}

TEST_F(PowerProfilesTest, OlderServiceNameWorksAndInvalidationIsFollowed) {
    auto service = startService(kOlder, "balanced", Announce::invalidation);
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_EQ(source_->serviceName(), kOlder.name);
    EXPECT_FALSE(source_->lowPowerActive());

    service->setProfile("power-saver");
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kOlder.name);
}

TEST_F(PowerProfilesTest, CurrentNameIsPreferredAndOlderTakesOverWhenItGoes) {
    auto current = startService(kCurrent, "balanced");
    auto older = startService(kOlder, "power-saver");
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_EQ(source_->serviceName(), kCurrent.name);
    EXPECT_FALSE(source_->lowPowerActive());

    // Signals from the older name do not override the preferred one.
    older->setProfile("power-saver");
    roundTrip(older->bus());  // routed before the next signal of the current name
    current->setProfile("performance");
    ASSERT_TRUE(runUntil([&] { return source_->activeProfile() == "performance"; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 0);

    current.reset();
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kOlder.name);
}

TEST_F(PowerProfilesTest, NoServiceMeansOff) {
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), "");
    EXPECT_EQ(source_->activeProfile(), "");
    EXPECT_EQ(changes_, 0);
}

TEST_F(PowerProfilesTest, ServiceStartingLaterAndStoppingIsNoticed) {
    startSource();
    ASSERT_TRUE(settled());
    EXPECT_EQ(source_->serviceName(), "");

    auto service = startService(kCurrent, "power-saver");
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kCurrent.name);

    service.reset();  // its connection closes
    ASSERT_TRUE(runUntil([&] { return changes_ == 2; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), "");
}

TEST_F(PowerProfilesTest, ServiceGivingUpItsNameIsNoticed) {
    auto service = startService(kOlder, "power-saver");
    startSource();
    ASSERT_TRUE(runUntil([&] { return changes_ == 1; }));

    service->releaseName();
    ASSERT_TRUE(runUntil([&] { return changes_ == 2; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), "");
}

TEST_F(PowerProfilesTest, OnlyTheNameOwnerIsHeard) {
    auto service = startService(kCurrent, "balanced");
    startSource();
    ASSERT_TRUE(settled());

    // Another connection sends the same signal from the same path without owning the name.
    auto impostorBus = open();
    auto impostor = sdbus::createObject(impostorBus->connection(), kCurrent.path);
    std::string fake = "power-saver";
    impostor->registerProperty("ActiveProfile").onInterface(kCurrent.interface).withGetter([&] {
        return fake;
    });
    impostor->finishRegistration();
    impostor->emitPropertiesChangedSignal(kCurrent.interface, {"ActiveProfile"});
    roundTrip(*impostorBus);  // the bus daemon has routed the impostor's signal

    service->setProfile("performance");
    ASSERT_TRUE(runUntil([&] { return source_->activeProfile() == "performance"; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 0);
}

}  // namespace
}  // namespace tavel::test
