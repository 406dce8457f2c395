// System sleep from a fake logind on a private bus, and the merge of sleep sources.

#include "bus_test.h"
#include "platform/dbus/logind_sleep.h"

#include <memory>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";

// Emits PrepareForSleep from the manager object; owns logind's name unless told not to.
class FakeLogind {
public:
    FakeLogind(std::unique_ptr<BusConnection> bus, bool ownName) : bus_(std::move(bus)) {
        object_ = sdbus::createObject(bus_->connection(), "/org/freedesktop/login1");
        object_->registerSignal("PrepareForSleep")
            .onInterface(kManagerInterface)
            .withParameters<bool>("start");
        object_->finishRegistration();
        if (ownName) bus_->connection().requestName("org.freedesktop.login1");
        bus_->wake();
    }
    void prepareForSleep(bool start) {
        object_->emitSignal("PrepareForSleep").onInterface(kManagerInterface).withArguments(start);
        bus_->wake();
    }
    BusConnection& bus() { return *bus_; }

private:
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<sdbus::IObject> object_;
};

class LogindSleepTest : public BusTest {
protected:
    // A source that writes "sleep " and "wake " into `events`.
    std::unique_ptr<LogindSleepSource> startSource(std::string& events) {
        auto source = std::make_unique<LogindSleepSource>(*bus_);
        source->setHandlers([&events] { events += "sleep "; }, [&events] { events += "wake "; });
        return source;
    }

    std::unique_ptr<BusConnection> bus_ = open();
};

TEST_F(LogindSleepTest, OnlyLogindsNameOwnerIsHeardEvenWhenItStartsLater) {
    std::string events, witnessed;
    auto source = startSource(events);      // no logind on the bus: nothing happens, nothing fails
    auto witness = startSource(witnessed);  // shows when a signal has been delivered
    FakeLogind logind(open(), true);
    FakeLogind impostor(open(), false);

    logind.prepareForSleep(true);
    ASSERT_TRUE(runUntil([&] { return events == "sleep "; })) << events;
    impostor.prepareForSleep(true);
    roundTrip(impostor.bus());  // routed before logind's signal below
    logind.prepareForSleep(false);
    ASSERT_TRUE(runUntil([&] { return witnessed.ends_with("wake "); })) << witnessed;
    EXPECT_EQ(events, "sleep wake ");

    source->setHandlers({}, {});  // removed: a call to an empty handler would throw
    const std::string before = witnessed;
    logind.prepareForSleep(true);
    ASSERT_TRUE(runUntil([&] { return witnessed == before + "sleep "; })) << witnessed;
    EXPECT_EQ(events, "sleep wake ");
}

// A source the test drives by hand; notes at its end whether handlers were left on it.
class ManualSleepSource final : public DisplaySleepSource {
public:
    explicit ManualSleepSource(bool& handlersLeftAtEnd) : leftAtEnd_(handlersLeftAtEnd) {}
    ~ManualSleepSource() override { leftAtEnd_ = didSleep_ || didWake_; }
    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override {
        didSleep_ = std::move(didSleep);
        didWake_ = std::move(didWake);
    }
    void report(bool sleeping) {
        if (auto handler = sleeping ? didSleep_ : didWake_) handler();
    }

private:
    bool& leftAtEnd_;
    std::function<void()> didSleep_;
    std::function<void()> didWake_;
};

struct Combined {
    explicit Combined(bool& handlersLeftAtEnd) {
        std::vector<std::unique_ptr<DisplaySleepSource>> owned;
        for (auto*& source : sources) {
            auto made = std::make_unique<ManualSleepSource>(handlersLeftAtEnd);
            source = made.get();
            owned.push_back(std::move(made));
        }
        combined = std::make_unique<CombinedSleepSource>(std::move(owned));
        combined->setHandlers([this] { events += "sleep "; }, [this] { events += "wake "; });
    }
    ManualSleepSource* sources[2] = {};
    std::unique_ptr<CombinedSleepSource> combined;
    std::string events;
};

TEST(CombinedSleepSource, AsleepWhileAnySourceSleeps) {
    struct Step {
        int source;
        bool sleeping;
        const char* events;  // all reported so far
        bool asleep;
    };
    const Step steps[] = {
        {0, false, "", false},  // waking without having slept
        {0, true, "sleep ", true},
        {0, true, "sleep ", true},  // repeated
        {1, false, "sleep ", true},
        {1, true, "sleep ", true},
        {0, false, "sleep ", true},  // the other still sleeps
        {1, false, "sleep wake ", false},
        {1, false, "sleep wake ", false},
        {1, true, "sleep wake sleep ", true},
    };
    bool handlersLeftAtEnd = true;
    {
        Combined c(handlersLeftAtEnd);
        EXPECT_FALSE(c.combined->asleep());
        for (std::size_t i = 0; i < std::size(steps); ++i) {
            c.sources[steps[i].source]->report(steps[i].sleeping);
            EXPECT_EQ(c.events, steps[i].events) << "step " << i;
            EXPECT_EQ(c.combined->asleep(), steps[i].asleep) << "step " << i;
        }
    }
    EXPECT_FALSE(handlersLeftAtEnd);  // removed from the sources before they went
}

TEST(CombinedSleepSource, HandlersMayReplaceThemselves) {
    bool handlersLeftAtEnd = false;
    Combined c(handlersLeftAtEnd);
    int sleeps = 0;
    c.combined->setHandlers(
        [&] {
            ++sleeps;
            c.combined->setHandlers({}, {});
        },
        {});
    c.sources[0]->report(true);
    c.sources[0]->report(false);
    c.sources[1]->report(true);
    EXPECT_EQ(sleeps, 1);
    EXPECT_TRUE(c.combined->asleep());
}

}  // namespace
}  // namespace tavel::test
