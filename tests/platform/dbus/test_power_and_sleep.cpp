// Low Power Mode from fake power-profiles daemons, sleep from a fake logind, merged sleep.

#include "bus_test.h"
#include "platform/dbus/logind_sleep.h"
#include "platform/dbus/power_profiles.h"
#include "support/fake_power_profiles.h"

#include <algorithm>
#include <vector>

namespace tavel::test {
namespace {

using PowerProfilesTest = BusTest;

// The older daemon name is heard too (the current one is heard in the desktop test).
TEST_F(PowerProfilesTest, TheOlderDaemonNameIsHeard) {
    auto bus = open();
    PowerProfilesSource source(*bus);
    FakePowerProfiles older(daemon_.address(), "power-saver", kOlderPowerProfiles);
    ASSERT_TRUE(runUntil([&] { return source.lowPowerActive(); }));
    EXPECT_EQ(source.serviceName(), kOlderPowerProfiles.name);
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

// A source the test drives by hand.
struct ManualSleepSource final : DisplaySleepSource {
    void setHandlers(std::function<void()> sleep, std::function<void()> wake) override {
        didSleep = std::move(sleep);
        didWake = std::move(wake);
    }
    void report(bool sleeping) {
        if (auto handler = sleeping ? didSleep : didWake) handler();
    }
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
        {1, true, "sleep "},
        {0, false, "sleep "},  // the other still sleeps
        {1, false, "sleep wake "},
        {1, true, "sleep wake sleep "},
    };
    ManualSleepSource* sources[2];
    std::vector<std::unique_ptr<DisplaySleepSource>> owned;
    for (auto*& source : sources) owned.emplace_back(source = new ManualSleepSource);
    CombinedSleepSource combined(std::move(owned));
    std::string events;
    // The handlers may call back in, and see the merged state already changed.
    combined.setHandlers([&] { events += combined.asleep() ? "sleep " : "sleep-while-awake "; },
                         [&] { events += combined.asleep() ? "wake-while-asleep " : "wake "; });
    for (const auto& step : steps) {
        sources[step.source]->report(step.sleeping);
        EXPECT_EQ(events, step.events) << "step " << &step - steps;
        EXPECT_EQ(combined.asleep(), events.ends_with("sleep ")) << "step " << &step - steps;
    }
}

}  // namespace
}  // namespace tavel::test
