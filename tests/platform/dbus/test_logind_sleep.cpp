// System sleep from a fake logind on a private bus, and the merge of sleep sources.

#include "bus_test.h"
#include "platform/dbus/logind_sleep.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

// PrepareForSleep as logind sends it, from `bus`; routed by the bus daemon when this returns.
void prepareForSleep(BusConnection& bus, bool start) {
    sdbus::createObject(bus.connection(), "/org/freedesktop/login1")
        ->emitSignal("PrepareForSleep")
        .onInterface("org.freedesktop.login1.Manager")
        .withArguments(start);
    roundTrip(bus);
}

using LogindSleepTest = BusTest;

TEST_F(LogindSleepTest, OnlyLogindsNameOwnerIsHeardEvenWhenItStartsLater) {
    auto bus = open();
    LogindSleepSource source(*bus);  // no logind on the bus yet: nothing happens, nothing fails
    std::string events;
    source.setHandlers([&] { events += "sleep "; }, [&] { events += "wake "; });
    auto logind = open(), impostor = open();
    logind->connection().requestName("org.freedesktop.login1");

    // The impostor's signals reach the bus daemon between logind's.
    prepareForSleep(*logind, true);
    prepareForSleep(*impostor, false);
    prepareForSleep(*logind, false);
    prepareForSleep(*impostor, true);
    prepareForSleep(*logind, true);
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
    struct Step {
        int source;
        bool sleeping;
        const char* events;  // all reported so far; the last one is the merged state
    };
    const Step steps[] = {
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
        for (std::size_t i = 0; i < std::size(steps); ++i) {
            sources[steps[i].source]->report(steps[i].sleeping);
            EXPECT_EQ(events, steps[i].events) << "step " << i;
            EXPECT_EQ(combined.asleep(), events.ends_with("sleep ")) << "step " << i;
        }
    }
    EXPECT_FALSE(leftAtEnd);  // removed from the sources before they went
}

}  // namespace
}  // namespace tavel::test
