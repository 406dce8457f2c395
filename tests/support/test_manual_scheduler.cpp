// What only the manual clock does: time that moves when the test says so, each timer run at
// its own due time. The contract it shares with the real loop is in
// platform/test_scheduler_contract.cpp.

#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

// What ran, and the clock when it did.
struct Event {
    std::string name;
    Duration at;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& event) {
    return out << event.name << "@"
               << std::chrono::duration_cast<std::chrono::milliseconds>(event.at).count() << "ms";
}

class ManualSchedulerTest : public ::testing::Test {
protected:
    ManualScheduler clock;
    std::vector<Event> events;

    Task record(std::string name) {
        return [this, name] { events.push_back({name, clock.now()}); };
    }
};

TEST_F(ManualSchedulerTest, ClockStartsAtZeroAndMovesOnlyWhenAdvanced) {
    EXPECT_EQ(clock.now(), Duration::zero());
    clock.runPending();
    EXPECT_EQ(clock.now(), Duration::zero());
    clock.advance(1500ms);
    clock.advance(0s);
    EXPECT_EQ(clock.now(), Duration(1500ms));
    EXPECT_THROW(clock.advance(-1ms), std::invalid_argument);
    EXPECT_EQ(clock.now(), Duration(1500ms));
}

TEST_F(ManualSchedulerTest, RunPendingRunsEveryPostButNoTimer) {
    TimerHandle timer = clock.scheduleOnce(0s, record("timer"));  // due now
    clock.post([&] {
        events.push_back({"outer", clock.now()});
        clock.post([&] { clock.post(record("innermost")); });
    });
    clock.post(record("second"));
    EXPECT_EQ(clock.postedCount(), 2u);
    clock.runPending();
    EXPECT_EQ(events, (std::vector<Event>{{"outer", 0s}, {"second", 0s}, {"innermost", 0s}}));
    EXPECT_EQ(clock.postedCount(), 0u);
    clock.advance(0s);
    EXPECT_EQ(events.back(), (Event{"timer", 0s}));
}

TEST_F(ManualSchedulerTest, AdvanceRunsEachTimerAtItsOwnDueTime) {
    // Timers due together run in the order they were first scheduled, a repeating one too;
    // what a timer posts runs before time moves on; what it schedules runs within the same
    // advance when due.
    TimerHandle late = clock.scheduleOnce(30s, record("late"));
    TimerHandle tieA = clock.scheduleOnce(10s, record("tie a"));
    TimerHandle repeating = clock.scheduleRepeating(20s, record("repeating"));
    TimerHandle tieB = clock.scheduleOnce(10s, [&] {
        events.push_back({"tie b", clock.now()});
        clock.post(record("posted by tie b"));
    });
    TimerHandle after = clock.scheduleOnce(40s, record("after repeating"));
    TimerHandle inner, later;
    TimerHandle scheduling = clock.scheduleOnce(25s, [&] {
        inner = clock.scheduleOnce(3s, record("scheduled by a task"));
        later = clock.scheduleOnce(25s, record("due after the advance"));
    });
    clock.post(record("post"));
    clock.advance(40s);
    EXPECT_EQ(events, (std::vector<Event>{{"post", 0s},
                                          {"tie a", 10s},
                                          {"tie b", 10s},
                                          {"posted by tie b", 10s},
                                          {"repeating", 20s},
                                          {"scheduled by a task", 28s},
                                          {"late", 30s},
                                          {"repeating", 40s},
                                          {"after repeating", 40s}}));
    EXPECT_EQ(clock.now(), Duration(40s));
    EXPECT_EQ(clock.pendingTimerCount(), 2u);  // later, repeating
    events.clear();
    clock.advance(19999ms);
    EXPECT_EQ(events, (std::vector<Event>{{"due after the advance", 50s}}));
    clock.advance(1ms);
    EXPECT_EQ(events.back(), (Event{"repeating", 60s}));
}

TEST_F(ManualSchedulerTest, CancelReleasesTheTaskAndTheTimerAtOnce) {
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    TimerHandle handle = clock.scheduleOnce(1h, [captured] { ++*captured; });
    TimerHandle repeating = clock.scheduleRepeating(1s, [] {});
    captured.reset();
    EXPECT_EQ(clock.pendingTimerCount(), 2u);
    handle.cancel();
    repeating = TimerHandle();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
}

TEST_F(ManualSchedulerTest, RefusesToRunFromInsideATaskAndGoesOnAfterOneThrew) {
    clock.post([&] {
        EXPECT_THROW(clock.advance(1s), std::logic_error);
        EXPECT_THROW(clock.runPending(), std::logic_error);
        events.push_back({"inside", clock.now()});
    });
    clock.runPending();
    clock.post([] { throw std::runtime_error("task failed"); });
    EXPECT_THROW(clock.runPending(), std::runtime_error);
    clock.post(record("after"));
    clock.advance(1s);
    EXPECT_EQ(events, (std::vector<Event>{{"inside", 0s}, {"after", 0s}}));
    EXPECT_EQ(clock.now(), Duration(1s));
}

TEST(ManualExecutor, RunsQueuedTasksInOrderOnlyWhenAsked) {
    ManualExecutor executor;
    std::vector<int> order;
    executor.submit([&] {
        order.push_back(1);
        executor.submit([&] { order.push_back(3); });
    });
    executor.submit([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(executor.pending(), 2u);
    executor.runAll();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(executor.pending(), 0u);
}

}  // namespace
}  // namespace tavel::test
