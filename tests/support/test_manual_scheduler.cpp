#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
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
    EXPECT_EQ(clock.now(), Duration(1500ms));
    clock.advance(0s);
    EXPECT_EQ(clock.now(), Duration(1500ms));
    EXPECT_THROW(clock.advance(-1ms), std::invalid_argument);
    EXPECT_EQ(clock.now(), Duration(1500ms));
}

TEST_F(ManualSchedulerTest, PostedTasksRunLaterInPostingOrder) {
    clock.post(record("a"));
    clock.post(record("b"));
    EXPECT_TRUE(events.empty());  // never inside post()
    EXPECT_EQ(clock.postedCount(), 2u);
    clock.runPending();
    EXPECT_EQ(events, (std::vector<Event>{{"a", 0s}, {"b", 0s}}));
    EXPECT_EQ(clock.postedCount(), 0u);
}

TEST_F(ManualSchedulerTest, TasksPostedByPostedTasksRunInTheSamePass) {
    clock.post([&] {
        events.push_back({"outer", clock.now()});
        clock.post([&] {
            events.push_back({"inner", clock.now()});
            clock.post(record("innermost"));
        });
    });
    clock.post(record("second"));
    clock.runPending();
    EXPECT_EQ(events, (std::vector<Event>{
                          {"outer", 0s}, {"second", 0s}, {"inner", 0s}, {"innermost", 0s}}));
    EXPECT_EQ(clock.postedCount(), 0u);
}

TEST_F(ManualSchedulerTest, RunPendingDoesNotRunTimersThatAreDueNow) {
    TimerHandle handle = clock.scheduleOnce(0s, record("timer"));
    clock.post(record("post"));
    clock.runPending();
    EXPECT_EQ(events, (std::vector<Event>{{"post", 0s}}));
    clock.advance(0s);
    EXPECT_EQ(events, (std::vector<Event>{{"post", 0s}, {"timer", 0s}}));
}

TEST_F(ManualSchedulerTest, TimersRunInDueOrderAtTheirOwnTimeAfterEarlierPosts) {
    TimerHandle late = clock.scheduleOnce(30s, record("late"));
    TimerHandle early = clock.scheduleOnce(10s, record("early"));
    TimerHandle middle = clock.scheduleOnce(20s, record("middle"));
    TimerHandle beyond = clock.scheduleOnce(41s, record("beyond"));
    clock.post(record("post"));
    clock.advance(40s);
    EXPECT_EQ(events,
              (std::vector<Event>{{"post", 0s}, {"early", 10s}, {"middle", 20s}, {"late", 30s}}));
    EXPECT_EQ(clock.now(), Duration(40s));
    EXPECT_EQ(clock.pendingTimerCount(), 1u);
    clock.advance(1s);
    EXPECT_EQ(events.back(), (Event{"beyond", 41s}));
}

TEST_F(ManualSchedulerTest, TimersDueAtTheSameTimeRunInSchedulingOrder) {
    TimerHandle a = clock.scheduleOnce(10s, record("a"));
    TimerHandle b = clock.scheduleOnce(5s, record("b"));
    TimerHandle c = clock.scheduleOnce(10s, record("c"));
    TimerHandle d = clock.scheduleOnce(5s, record("d"));
    clock.advance(10s);
    EXPECT_EQ(events, (std::vector<Event>{{"b", 5s}, {"d", 5s}, {"a", 10s}, {"c", 10s}}));
}

TEST_F(ManualSchedulerTest, RepeatingTimerKeepsItsFirstSchedulingOrderAtEqualDueTimes) {
    TimerHandle repeating = clock.scheduleRepeating(60s, record("repeating"));
    TimerHandle once = clock.scheduleOnce(120s, record("once"));
    clock.advance(120s);
    EXPECT_EQ(events,
              (std::vector<Event>{{"repeating", 60s}, {"repeating", 120s}, {"once", 120s}}));
}

TEST_F(ManualSchedulerTest, TasksPostedByATimerRunBeforeTimeMovesOn) {
    TimerHandle first = clock.scheduleOnce(10s, [&] {
        events.push_back({"first", clock.now()});
        clock.post(record("posted"));
    });
    TimerHandle second = clock.scheduleOnce(20s, record("second"));
    clock.advance(30s);
    EXPECT_EQ(events, (std::vector<Event>{{"first", 10s}, {"posted", 10s}, {"second", 20s}}));
}

TEST_F(ManualSchedulerTest, TimersScheduledByATaskRunWithinTheSameAdvance) {
    TimerHandle inner;
    TimerHandle immediate;
    TimerHandle later;
    TimerHandle outer = clock.scheduleOnce(10s, [&] {
        events.push_back({"outer", clock.now()});
        inner = clock.scheduleOnce(5s, record("inner"));
        immediate = clock.scheduleOnce(0s, record("immediate"));
        later = clock.scheduleOnce(25s, record("later"));  // due after this advance ends
    });
    clock.advance(30s);
    EXPECT_EQ(events, (std::vector<Event>{{"outer", 10s}, {"immediate", 10s}, {"inner", 15s}}));
    EXPECT_EQ(clock.pendingTimerCount(), 1u);
    clock.advance(5s);
    EXPECT_EQ(events.back(), (Event{"later", 35s}));
}

TEST_F(ManualSchedulerTest, OneShotTimerFiresOnce) {
    int runs = 0;
    TimerHandle handle = clock.scheduleOnce(2s, [&] { ++runs; });
    EXPECT_TRUE(handle.active());
    EXPECT_EQ(clock.pendingTimerCount(), 1u);
    clock.advance(1999ms);
    EXPECT_EQ(runs, 0);
    clock.advance(1ms);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(handle.active());
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
    clock.advance(1h);
    EXPECT_EQ(runs, 1);
}

TEST_F(ManualSchedulerTest, RepeatingTimerFiresEveryIntervalAtItsDueTimes) {
    TimerHandle handle = clock.scheduleRepeating(60s, record("tick"));
    clock.advance(185s);
    EXPECT_EQ(events, (std::vector<Event>{{"tick", 60s}, {"tick", 120s}, {"tick", 180s}}));
    EXPECT_EQ(clock.now(), Duration(185s));
    EXPECT_TRUE(handle.active());
    EXPECT_EQ(clock.pendingTimerCount(), 1u);
    // The next one stays on the same grid, not 60 s after the last advance.
    clock.advance(55s);
    EXPECT_EQ(events.size(), 4u);
    EXPECT_EQ(events.back(), (Event{"tick", 240s}));
}

TEST_F(ManualSchedulerTest, RepeatingTimerNeedsAPositiveInterval) {
    EXPECT_THROW(clock.scheduleRepeating(0s, [] {}), std::invalid_argument);
    EXPECT_THROW(clock.scheduleRepeating(-1s, [] {}), std::invalid_argument);
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
}

TEST_F(ManualSchedulerTest, CancelBeforeDuePreventsTheRun) {
    int runs = 0;
    TimerHandle once = clock.scheduleOnce(10s, [&] { ++runs; });
    TimerHandle repeating = clock.scheduleRepeating(10s, [&] { ++runs; });
    clock.advance(9s);
    once.cancel();
    repeating.cancel();
    EXPECT_FALSE(once.active());
    EXPECT_FALSE(repeating.active());
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
    clock.advance(1min);
    EXPECT_EQ(runs, 0);
    once.cancel();  // cancelling again is harmless
}

TEST_F(ManualSchedulerTest, CancelReleasesTheTaskAtOnce) {
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    TimerHandle handle = clock.scheduleOnce(1h, [captured] { ++*captured; });
    captured.reset();
    EXPECT_FALSE(watch.expired());
    handle.cancel();
    EXPECT_TRUE(watch.expired());
}

TEST_F(ManualSchedulerTest, CancelFromInsideItsOwnTaskStopsARepeatingTimer) {
    TimerHandle handle;
    int runs = 0;
    handle = clock.scheduleRepeating(1s, [&] {
        if (++runs == 3) handle.cancel();
    });
    clock.advance(10s);
    EXPECT_EQ(runs, 3);
    EXPECT_FALSE(handle.active());
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
}

TEST_F(ManualSchedulerTest, OneShotIsInactiveWhileItsTaskRuns) {
    TimerHandle handle;
    bool activeInside = true;
    handle = clock.scheduleOnce(1s, [&] { activeInside = handle.active(); });
    clock.advance(1s);
    EXPECT_FALSE(activeInside);
}

TEST_F(ManualSchedulerTest, DestroyingTheHandleCancels) {
    int runs = 0;
    {
        TimerHandle handle = clock.scheduleRepeating(1s, [&] { ++runs; });
        clock.advance(2s);
    }
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
    clock.advance(10s);
    EXPECT_EQ(runs, 2);
}

TEST_F(ManualSchedulerTest, ReplacingAHandleCancelsTheOldTimer) {
    // Debouncing: only the last of a burst of requests runs, 2 s after it.
    TimerHandle handle;
    for (int i = 0; i < 100; ++i) {
        handle = clock.scheduleOnce(2s, record("save " + std::to_string(i)));
        clock.advance(100ms);
    }
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(clock.pendingTimerCount(), 1u);
    clock.advance(5s);
    EXPECT_EQ(events, (std::vector<Event>{{"save 99", 9900ms + 2s}}));
}

TEST_F(ManualSchedulerTest, ActiveFollowsTheHandle) {
    TimerHandle empty;
    EXPECT_FALSE(empty.active());
    empty.cancel();  // harmless on an empty handle

    TimerHandle original = clock.scheduleRepeating(1s, [] {});
    TimerHandle moved = std::move(original);
    EXPECT_FALSE(original.active());  // NOLINT(bugprone-use-after-move): the moved-from state
    EXPECT_TRUE(moved.active());
    clock.advance(3s);
    EXPECT_TRUE(moved.active());  // repeating timers stay active after firing
    moved = TimerHandle();
    EXPECT_FALSE(moved.active());
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
}

TEST_F(ManualSchedulerTest, MovingAHandleKeepsTheTimer) {
    int runs = 0;
    TimerHandle original = clock.scheduleOnce(1s, [&] { ++runs; });
    TimerHandle moved(std::move(original));
    original = TimerHandle();  // the moved-from handle no longer controls the timer
    clock.advance(1s);
    EXPECT_EQ(runs, 1);
}

TEST_F(ManualSchedulerTest, HandleMayOutliveTheScheduler) {
    TimerHandle handle;
    {
        ManualScheduler other;
        handle = other.scheduleOnce(1s, [] {});
    }
    EXPECT_TRUE(handle.active());
    handle.cancel();
    EXPECT_FALSE(handle.active());
}

TEST_F(ManualSchedulerTest, PostsFromOtherThreadsAllRunInEachThreadsOrder) {
    constexpr int kThreads = 4;
    constexpr int kPosts = 500;
    std::vector<std::vector<int>> seen(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kPosts; ++i)
                    clock.post([&seen, t, i] { seen[t].push_back(i); });
            });
    }
    EXPECT_EQ(clock.postedCount(), static_cast<std::size_t>(kThreads * kPosts));
    clock.runPending();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kPosts));
        for (int i = 0; i < kPosts; ++i) EXPECT_EQ(seen[t][i], i);
    }
}

TEST_F(ManualSchedulerTest, RefusesToRunFromInsideATask) {
    bool threwAdvance = false;
    bool threwRunPending = false;
    clock.post([&] {
        try {
            clock.advance(1s);
        } catch (const std::logic_error&) {
            threwAdvance = true;
        }
        try {
            clock.runPending();
        } catch (const std::logic_error&) {
            threwRunPending = true;
        }
    });
    clock.runPending();
    EXPECT_TRUE(threwAdvance);
    EXPECT_TRUE(threwRunPending);
    EXPECT_EQ(clock.now(), Duration::zero());
    // And it is usable again afterwards, even after a task threw.
    clock.post([] { throw std::runtime_error("task failed"); });
    EXPECT_THROW(clock.runPending(), std::runtime_error);
    clock.post(record("after"));
    clock.runPending();
    EXPECT_EQ(events, (std::vector<Event>{{"after", 0s}}));
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
    executor.runAll();
    EXPECT_EQ(order.size(), 3u);
}

}  // namespace
}  // namespace tavel::test
