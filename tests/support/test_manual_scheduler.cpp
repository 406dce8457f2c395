// What only the manual clock does, and the core's tests rely on: time that moves when the
// test says so, each timer run at its own due time. The contract it shares with the real
// loop is in platform/test_scheduler_contract.cpp.

#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

TEST(ManualScheduler, AdvanceRunsEachTimerAtItsOwnDueTimeAndRunPendingOnlyThePosts) {
    ManualScheduler clock;
    std::vector<std::string> events;  // what ran, and when, in milliseconds
    auto record = [&](std::string name) -> Task {
        return [&, name] { events.push_back(name + "@" + std::to_string(clock.now() / 1ms)); };
    };
    // Timers due together run in the order they were first scheduled, a repeating one too;
    // what a timer posts runs before time moves on; what it schedules runs within the same
    // advance when due.
    TimerHandle late = clock.scheduleOnce(30s, record("late"));
    TimerHandle tie = clock.scheduleOnce(10s, record("tie"));
    TimerHandle repeating = clock.scheduleRepeating(20s, record("repeating"));
    TimerHandle posting = clock.scheduleOnce(10s, [&] { clock.post(record("posted")); });
    TimerHandle after = clock.scheduleOnce(40s, record("after repeating"));
    TimerHandle inner, later;
    TimerHandle scheduling = clock.scheduleOnce(25s, [&] {
        inner = clock.scheduleOnce(3s, record("inner"));
        later = clock.scheduleOnce(25s, record("later"));
    });
    TimerHandle dueNow = clock.scheduleOnce(0s, record("due now"));
    clock.scheduleOnce(1s, record("cancelled")).cancel();
    EXPECT_EQ(clock.pendingTimerCount(), 7u);
    clock.post([&] { clock.post(record("posted twice")); });
    clock.runPending();
    EXPECT_EQ(events, std::vector<std::string>{"posted twice@0"});  // no timer, not even one due
    clock.post(record("post"));                                     // runs before any timer
    clock.advance(40s);
    EXPECT_EQ(events,
              (std::vector<std::string>{"posted twice@0", "post@0", "due now@0", "tie@10000",
                                        "posted@10000", "repeating@20000", "inner@28000",
                                        "late@30000", "repeating@40000", "after repeating@40000"}));
    EXPECT_EQ(clock.pendingTimerCount(), 2u);  // later, repeating
    clock.advance(19999ms);
    EXPECT_EQ(events.back(), "later@50000");
    clock.advance(1ms);
    EXPECT_EQ(events.back(), "repeating@60000");
    EXPECT_THROW(clock.advance(-1ms), std::invalid_argument);
}

}  // namespace
}  // namespace tavel::test
