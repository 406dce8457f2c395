// Low Power Mode from fake power-profiles daemons on a private bus.

#include "bus_test.h"
#include "platform/dbus/power_profiles.h"
#include "support/fake_power_profiles.h"

#include <memory>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

class PowerProfilesTest : public BusTest {
protected:
    // A daemon on a connection of its own. Each message it sends has been routed by the bus
    // daemon once the call that sent it returns, so signals arrive in the order sent.
    std::unique_ptr<FakePowerProfiles> startDaemon(std::string profile,
                                                   FakePowerProfiles::Options options = {}) {
        BusConnection& bus = *daemonBuses_.emplace_back(open());
        options.sent = [&bus] { roundTrip(bus); };
        return std::make_unique<FakePowerProfiles>(bus.connection(), profile, options);
    }
    // The source under test, counting its change notifications.
    void startSource() {
        source_ = std::make_unique<PowerProfilesSource>(*bus_);
        source_->setChangeHandler([this] { ++changes_; });
    }
    bool changesReach(int count) {
        return runUntil([&] { return changes_ == count; });
    }

    std::vector<std::unique_ptr<BusConnection>> daemonBuses_;
    std::unique_ptr<BusConnection> bus_ = open();
    std::unique_ptr<PowerProfilesSource> source_;
    int changes_ = 0;
};

TEST_F(PowerProfilesTest, FollowsTheNameOwnersProfileAndAnnouncesLowPowerChanges) {
    auto daemon = startDaemon("power-saver");
    startSource();
    EXPECT_FALSE(source_->lowPowerActive());  // not known before the answer
    ASSERT_TRUE(changesReach(1));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kPowerProfiles.name);

    daemon->setProfile("balanced");
    ASSERT_TRUE(changesReach(2));
    EXPECT_FALSE(source_->lowPowerActive());

    // The same signal from a connection that does not own the name is not heard, and a
    // profile that is not power-saver changes nothing the core sees.
    startDaemon("balanced", {.ownName = false})->setProfile("power-saver");
    daemon->setProfile("performance");
    ASSERT_TRUE(runUntil([&] { return source_->activeProfile() == "performance"; }));
    EXPECT_FALSE(source_->lowPowerActive());
    EXPECT_EQ(changes_, 2);
}

TEST_F(PowerProfilesTest, DaemonsComingAndGoingUnderEitherNameTheCurrentOnePreferred) {
    startSource();
    ASSERT_TRUE(runUntil([&] { return !source_->querying(); }));
    EXPECT_EQ(source_->serviceName(), "");  // none: off
    EXPECT_FALSE(source_->lowPowerActive());

    // The older name, announcing by invalidation only.
    auto older = startDaemon("power-saver", {.names = kOlderPowerProfiles, .byValue = false});
    ASSERT_TRUE(changesReach(1));
    EXPECT_EQ(source_->serviceName(), kOlderPowerProfiles.name);
    older->setProfile("balanced");
    ASSERT_TRUE(changesReach(2));

    auto current = startDaemon("balanced");
    ASSERT_TRUE(runUntil([&] { return source_->serviceName() == kPowerProfiles.name; }));
    older->setProfile("power-saver");  // not heard over the current name
    current->setProfile("performance");
    ASSERT_TRUE(runUntil([&] { return source_->activeProfile() == "performance"; }));
    EXPECT_EQ(changes_, 2);

    current->releaseName();  // the older one takes over
    ASSERT_TRUE(changesReach(3));
    EXPECT_TRUE(source_->lowPowerActive());
    EXPECT_EQ(source_->serviceName(), kOlderPowerProfiles.name);
    older->releaseName();
    ASSERT_TRUE(changesReach(4));
    EXPECT_EQ(source_->serviceName(), "");
}

}  // namespace
}  // namespace tavel::test
