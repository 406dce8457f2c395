// System sleep from a fake logind on a private bus, and the merge of sleep sources.

#include "bus_test.h"
#include "platform/dbus/logind_sleep.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

// Sends PrepareForSleep as logind does, from a connection of its own that owns logind's name
// unless told not to. Each signal has been routed by the bus daemon once the call returns.
class FakeLogind {
public:
    FakeLogind(std::unique_ptr<BusConnection> bus, bool ownName)
        : bus_(std::move(bus)), object_(sdbus::createObject(bus_->connection(), kPath)) {
        if (ownName) bus_->connection().requestName("org.freedesktop.login1");
        roundTrip(*bus_);
    }
    void prepareForSleep(bool start) {
        object_->emitSignal("PrepareForSleep")
            .onInterface("org.freedesktop.login1.Manager")
            .withArguments(start);
        roundTrip(*bus_);
    }

private:
    static constexpr const char* kPath = "/org/freedesktop/login1";
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<sdbus::IObject> object_;
};

using LogindSleepTest = BusTest;

TEST_F(LogindSleepTest, OnlyLogindsNameOwnerIsHeardEvenWhenItStartsLater) {
    auto bus = open();
    LogindSleepSource source(*bus);  // no logind on the bus yet: nothing happens, nothing fails
    std::string events;
    source.setHandlers([&] { events += "sleep "; }, [&] { events += "wake "; });
    FakeLogind logind(open(), true);
    FakeLogind impostor(open(), false);

    // The impostor's signals reach the bus daemon between logind's.
    for (auto [sender, start] : {std::pair(&logind, true),
                                 {&impostor, false},
                                 {&logind, false},
                                 {&impostor, true},
                                 {&logind, true}})
        sender->prepareForSleep(start);
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
        combined.setHandlers([&] { events += "sleep "; }, [&] { events += "wake "; });
        EXPECT_FALSE(combined.asleep());
        for (std::size_t i = 0; i < std::size(steps); ++i) {
            sources[steps[i].source]->report(steps[i].sleeping);
            EXPECT_EQ(events, steps[i].events) << "step " << i;
            EXPECT_EQ(combined.asleep(), events.ends_with("sleep ")) << "step " << i;
        }

        // A handler may replace the handlers while it runs.
        combined.setHandlers({}, [&] {
            events += "last";
            combined.setHandlers({}, {});
        });
        sources[1]->report(false);
        sources[1]->report(true);
        sources[1]->report(false);
        EXPECT_EQ(events, "sleep wake sleep last");
    }
    EXPECT_FALSE(leftAtEnd);  // removed from the sources before they went
}

}  // namespace
}  // namespace tavel::test
