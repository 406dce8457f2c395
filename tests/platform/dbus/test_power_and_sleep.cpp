// Low Power Mode from fake power-profiles daemons, sleep from a fake logind, merged sleep.

#include "bus_test.h"
#include "platform/dbus/logind_sleep.h"
#include "platform/dbus/power_profiles.h"
#include "support/fake_power_profiles.h"

#include <algorithm>
#include <vector>

namespace tavel::test {
namespace {

class PowerProfilesTest : public BusTest {
protected:
    // On a connection of its own, each message routed before its call returns: in order.
    std::unique_ptr<FakePowerProfiles> startDaemon(std::string profile,
                                                   FakePowerProfiles::Options options = {}) {
        BusConnection& bus = *daemonBuses_.emplace_back(open());
        options.sent = [&bus] { roundTrip(bus); };
        return std::make_unique<FakePowerProfiles>(bus.connection(), profile, options);
    }
    bool changesReach(int count) {
        return runUntil([&] { return changes_ == count; });
    }

    std::vector<std::unique_ptr<BusConnection>> daemonBuses_;
    std::unique_ptr<BusConnection> bus_ = open();
    PowerProfilesSource source_{*bus_};
    int changes_ = 0;
};

TEST_F(PowerProfilesTest, DaemonsComingAndGoingUnderEitherNameTheCurrentOnePreferred) {
    source_.setChangeHandler([this] { ++changes_; });
    ASSERT_TRUE(runUntil([&] { return !source_.querying(); }));
    EXPECT_EQ(source_.serviceName(), "");  // none: off
    EXPECT_FALSE(source_.lowPowerActive());

    // The older name, announcing by invalidation only.
    auto older = startDaemon("power-saver", {.names = kOlderPowerProfiles, .byValue = false});
    ASSERT_TRUE(changesReach(1));
    EXPECT_EQ(source_.serviceName(), kOlderPowerProfiles.name);
    older->setProfile("balanced");
    ASSERT_TRUE(changesReach(2));

    // Not heard: the older name beside the current one, a non-owner, a non-power-saver profile.
    auto current = startDaemon("balanced");
    ASSERT_TRUE(runUntil([&] { return source_.serviceName() == kPowerProfiles.name; }));
    older->setProfile("power-saver");
    startDaemon("balanced", {.ownName = false})->setProfile("power-saver");
    current->setProfile("performance");
    ASSERT_TRUE(runUntil([&] { return source_.activeProfile() == "performance"; }));
    EXPECT_EQ(changes_, 2);

    current->releaseName();  // the older one takes over
    ASSERT_TRUE(changesReach(3));
    EXPECT_TRUE(source_.lowPowerActive());
    EXPECT_EQ(source_.serviceName(), kOlderPowerProfiles.name);
    older->releaseName();
    ASSERT_TRUE(changesReach(4));
    EXPECT_EQ(source_.serviceName(), "");
}

using LogindSleepTest = BusTest;

TEST_F(LogindSleepTest, OnlyLogindsNameOwnerIsHeardEvenWhenItStartsLater) {
    auto bus = open();
    LogindSleepSource source(*bus);  // no logind on the bus yet: nothing happens, nothing fails
    std::string events;
    source.setHandlers([&] { events += "sleep "; }, [&] { events += "wake "; });
    auto logind = open(), impostor = open();
    logind->connection().requestName("org.freedesktop.login1");
    for (auto [from, start] : {std::pair(logind.get(), true),
                               {impostor.get(), false},
                               {logind.get(), false},
                               {impostor.get(), true},
                               {logind.get(), true}}) {
        sdbus::createObject(from->connection(), "/org/freedesktop/login1")
            ->emitSignal("PrepareForSleep")
            .onInterface("org.freedesktop.login1.Manager")
            .withArguments(start);
        roundTrip(*from);  // routed in order
    }
    ASSERT_TRUE(runUntil([&] { return std::ranges::count(events, ' ') == 3; })) << events;
    EXPECT_EQ(events, "sleep wake sleep ");
}

// A source the test drives by hand; notes whether handlers were left on it when it goes.
struct ManualSleepSource final : DisplaySleepSource {
    explicit ManualSleepSource(bool& leftAtEnd) : leftAtEnd(leftAtEnd) {}
    ~ManualSleepSource() override { leftAtEnd |= didSleep || didWake; }
    void setHandlers(std::function<void()> sleep, std::function<void()> wake) override {
        didSleep = std::move(sleep);
        didWake = std::move(wake);
    }
    void report(bool sleeping) {
        if (auto handler = sleeping ? didSleep : didWake) handler();
    }
    bool& leftAtEnd;
    std::function<void()> didSleep, didWake;
};

TEST(CombinedSleepSource, AsleepWhileAnySourceSleeps) {
    const struct {
        int source;
        bool sleeping;
        const char* events;  // all reported so far; the last one is the merged state
    } steps[] = {
        {0, false, ""},  // waking without having slept
        {0, true, "sleep "},
        {0, true, "sleep "},  // repeated
        {1, false, "sleep "},
        {1, true, "sleep "},
        {0, false, "sleep "},  // the other still sleeps
        {1, false, "sleep wake "},
        {1, false, "sleep wake "},
        {1, true, "sleep wake sleep "},
    };
    bool leftAtEnd = false;
    {
        ManualSleepSource* sources[2];
        std::vector<std::unique_ptr<DisplaySleepSource>> owned;
        for (auto*& source : sources) owned.emplace_back(source = new ManualSleepSource(leftAtEnd));
        CombinedSleepSource combined(std::move(owned));
        std::string events;
        // The handlers may call back in, and see the merged state already changed.
        combined.setHandlers([&] { events += combined.asleep() ? "sleep " : "sleep-while-awake "; },
                             [&] { events += combined.asleep() ? "wake-while-asleep " : "wake "; });
        EXPECT_FALSE(combined.asleep());
        for (const auto& step : steps) {
            sources[step.source]->report(step.sleeping);
            EXPECT_EQ(events, step.events) << "step " << &step - steps;
            EXPECT_EQ(combined.asleep(), events.ends_with("sleep ")) << "step " << &step - steps;
        }
    }
    EXPECT_FALSE(leftAtEnd);  // removed from the sources before they went
}

}  // namespace
}  // namespace tavel::test
