// The real loop and threads. These run the loop rather than sleep, and assert order and
// counts with room for a loaded machine, never exact timings.

#include "platform/asio/asio_scheduler.h"
#include "platform/asio/thread_executors.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Longest a test lets the loop run when its own ending never comes: a fault then fails
// the test instead of hanging it.
constexpr Duration kGiveUp = 5s;

// Ends run() after kGiveUp and says so.
struct Watchdog {
    explicit Watchdog(AsioScheduler& loop)
        : handle(loop.scheduleOnce(kGiveUp, [this, &loop] {
              fired = true;
              loop.stop();
          })) {}
    bool fired = false;
    TimerHandle handle;
};

Duration since(Clock::time_point start) {
    return Clock::now() - start;
}

std::string currentThreadName() {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

TEST(FixedRateNextDue, IsOneIntervalLaterWhenOnTime) {
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 100ms), Duration(110ms));
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 103ms), Duration(110ms));  // a little late
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 110ms), Duration(110ms));  // due right now
}

TEST(FixedRateNextDue, SkipsMissedDueTimesAndStaysOnTheGrid) {
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 111ms), Duration(120ms));
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 135ms), Duration(140ms));
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 140ms), Duration(140ms));
    EXPECT_EQ(fixedRateNextDue(100ms, 10ms, 140ms + 1ns), Duration(150ms));
    EXPECT_EQ(fixedRateNextDue(0s, 1min, 1h + 1s), Duration(61min));
}

TEST(FixedRateNextDue, RefusesANonPositiveInterval) {
    EXPECT_THROW(fixedRateNextDue(0s, 0s, 1s), std::invalid_argument);
    EXPECT_THROW(fixedRateNextDue(0s, -1s, 1s), std::invalid_argument);
}

TEST(AsioScheduler, NowIsTheSteadyClock) {
    AsioScheduler loop;
    const Duration before = Clock::now().time_since_epoch();
    const Duration now = loop.now();
    const Duration after = Clock::now().time_since_epoch();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

TEST(AsioScheduler, PostRunsLaterInPostingOrder) {
    AsioScheduler loop;
    std::vector<int> order;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); });
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());  // never inside post()
    const auto start = Clock::now();
    loop.runFor(kGiveUp);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_LT(since(start), kGiveUp);  // returned once nothing was left
}

TEST(AsioScheduler, PostsFromOtherThreadsRunOnTheLoopThreadInEachThreadsOrder) {
    AsioScheduler loop;
    Watchdog watchdog(loop);
    constexpr int kThreads = 2;
    constexpr int kPosts = 200;
    std::vector<std::vector<int>> seen(kThreads);
    int total = 0;
    bool allOnLoopThread = true;
    const auto loopThread = std::this_thread::get_id();
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i)
                loop.post([&, t, i] {
                    allOnLoopThread &= std::this_thread::get_id() == loopThread;
                    seen[t].push_back(i);
                    if (++total == kThreads * kPosts) loop.stop();
                });
        });
    loop.run();  // waits for the posts even while none has arrived yet
    threads.clear();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_TRUE(allOnLoopThread);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kPosts));
        for (int i = 0; i < kPosts; ++i) EXPECT_EQ(seen[t][i], i);
    }
}

TEST(AsioScheduler, OneShotTimerRunsOnceNotBeforeItsDelay) {
    AsioScheduler loop;
    std::vector<Duration> runs;
    const Duration scheduled = loop.now();
    TimerHandle handle = loop.scheduleOnce(3ms, [&] { runs.push_back(loop.now()); });
    EXPECT_TRUE(handle.active());
    const auto start = Clock::now();
    loop.runFor(kGiveUp);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_GE(runs[0] - scheduled, Duration(3ms));
    EXPECT_FALSE(handle.active());
    EXPECT_LT(since(start), kGiveUp);
}

TEST(AsioScheduler, RepeatingTimerRunsEveryIntervalUntilCancelledFromItsTask) {
    AsioScheduler loop;
    std::vector<Duration> runs;
    const Duration scheduled = loop.now();
    TimerHandle handle;
    handle = loop.scheduleRepeating(2ms, [&] {
        runs.push_back(loop.now());
        if (runs.size() == 5) handle.cancel();
    });
    const auto start = Clock::now();
    loop.runFor(kGiveUp);
    EXPECT_LT(since(start), kGiveUp);  // the cancelled timer let the loop finish
    ASSERT_EQ(runs.size(), 5u);
    for (std::size_t k = 0; k < runs.size(); ++k)
        EXPECT_GE(runs[k] - scheduled, Duration(2ms) * static_cast<int>(k + 1)) << "run " << k;
    EXPECT_FALSE(handle.active());
}

TEST(AsioScheduler, RunGoesOnUntilStopped) {
    AsioScheduler loop;
    Watchdog watchdog(loop);
    int runs = 0;
    TimerHandle handle = loop.scheduleRepeating(1ms, [&] {
        if (++runs % 3 == 0) loop.stop();
    });
    loop.run();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(runs, 3);

    // The loop can run again; the timer carries on.
    loop.run();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(runs, 6);
}

TEST(AsioScheduler, StopBeforeRunEndsTheNextRunAtOnce) {
    AsioScheduler loop;
    Watchdog watchdog(loop);
    bool ran = false;
    loop.post([&] { ran = true; });
    loop.stop();
    loop.run();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_FALSE(ran);  // still queued for the next run
    loop.runFor(10ms);
    EXPECT_TRUE(ran);
}

TEST(AsioScheduler, StopFromAnotherThreadEndsRun) {
    AsioScheduler loop;
    Watchdog watchdog(loop);
    std::jthread stopper;
    loop.post([&] { stopper = std::jthread([&] { loop.stop(); }); });
    loop.run();
    EXPECT_FALSE(watchdog.fired);
}

TEST(AsioScheduler, CancelPreventsTheRun) {
    AsioScheduler loop;
    bool cancelledRan = false;
    bool laterRan = false;
    TimerHandle cancelled = loop.scheduleOnce(1ms, [&] { cancelledRan = true; });
    TimerHandle later = loop.scheduleOnce(5ms, [&] { laterRan = true; });
    cancelled.cancel();
    EXPECT_FALSE(cancelled.active());
    loop.runFor(kGiveUp);
    EXPECT_TRUE(laterRan);  // the loop did run past the cancelled timer's due time
    EXPECT_FALSE(cancelledRan);
}

TEST(AsioScheduler, CancelPreventsTheRunEvenWhenTheTimerIsAlreadyDue) {
    AsioScheduler loop;
    bool victimRan = false;
    TimerHandle victim;
    // Both are due before the loop starts, so the loop takes them up together and the
    // victim's wait has already ended when the first one cancels it.
    TimerHandle first = loop.scheduleOnce(0ns, [&] { victim.cancel(); });
    victim = loop.scheduleOnce(1ns, [&] { victimRan = true; });
    loop.runFor(kGiveUp);
    EXPECT_FALSE(victimRan);
    EXPECT_FALSE(first.active());
}

TEST(AsioScheduler, DestroyingTheHandleCancels) {
    AsioScheduler loop;
    bool ran = false;
    {
        TimerHandle handle = loop.scheduleRepeating(1ms, [&] { ran = true; });
    }
    const auto start = Clock::now();
    loop.runFor(kGiveUp);
    EXPECT_FALSE(ran);
    EXPECT_LT(since(start), kGiveUp);
}

TEST(AsioScheduler, CancelledTimerDoesNotKeepTheLoopRunning) {
    AsioScheduler loop;
    TimerHandle handle = loop.scheduleOnce(1h, [] {});
    handle.cancel();
    const auto start = Clock::now();
    loop.runFor(3s);
    EXPECT_LT(since(start), 2s);
}

TEST(AsioScheduler, ReplacingAHandleCancelsTheOldTimer) {
    AsioScheduler loop;
    std::vector<int> runs;
    TimerHandle handle;
    for (int i = 0; i < 20; ++i) handle = loop.scheduleOnce(2ms, [&runs, i] { runs.push_back(i); });
    loop.runFor(kGiveUp);
    EXPECT_EQ(runs, (std::vector<int>{19}));
}

TEST(AsioScheduler, CancelReleasesTheTask) {
    AsioScheduler loop;
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    TimerHandle handle = loop.scheduleOnce(1h, [captured] { ++*captured; });
    captured.reset();
    handle.cancel();
    loop.runFor(kGiveUp);
    EXPECT_TRUE(watch.expired());
}

TEST(AsioScheduler, HandleMayOutliveTheScheduler) {
    TimerHandle handle;
    {
        AsioScheduler loop;
        handle = loop.scheduleOnce(1h, [] {});
    }
    handle.cancel();
    EXPECT_FALSE(handle.active());
}

TEST(AsioScheduler, RepeatingTimerNeedsAPositiveInterval) {
    AsioScheduler loop;
    EXPECT_THROW(loop.scheduleRepeating(0s, [] {}), std::invalid_argument);
}

TEST(AsioScheduler, RepeatingTimerKeepsItsRate) {
    constexpr Duration kInterval = 4ms;
    constexpr int kExpected = 25;
    // A loaded machine may stall the loop for whole intervals, whose firings are then
    // skipped by design; such a window is measured again. A burst is never allowed.
    std::vector<int> counts;
    for (int attempt = 0; attempt < 3; ++attempt) {
        AsioScheduler loop;
        Watchdog watchdog(loop);
        int count = 0;
        TimerHandle ticks = loop.scheduleRepeating(kInterval, [&] { ++count; });
        TimerHandle end =
            loop.scheduleOnce(kInterval * kExpected + kInterval / 2, [&] { loop.stop(); });
        loop.run();
        ASSERT_FALSE(watchdog.fired);
        EXPECT_LE(count, kExpected + 1);
        counts.push_back(count);
        if (std::abs(count - kExpected) <= 1) return;
    }
    std::string seen;
    for (int count : counts) seen += std::to_string(count) + " ";
    ADD_FAILURE() << "expected about " << kExpected << " firings per window, counted " << seen;
}

TEST(AsioScheduler, BackgroundWorkReportsBackThroughPost) {
    AsioScheduler loop;
    Watchdog watchdog(loop);
    std::thread::id reportedOn;
    SerialExecutor worker("tavel.test");
    worker.submit([&] {
        loop.post([&] {
            reportedOn = std::this_thread::get_id();
            loop.stop();
        });
    });
    loop.run();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
}

TEST(ThreadName, IsCutToWhatLinuxKeeps) {
    EXPECT_EQ(threadNameFor("marlowen.liveicon"), "marlowen.liveic");
    EXPECT_EQ(threadNameFor("halvane.lockvideo"), "halvane.lockvid");
    EXPECT_EQ(threadNameFor("short"), "short");
    EXPECT_EQ(threadNameFor("exactly15bytes."), "exactly15bytes.");
    // "é" is two bytes at 14 and 15: the cut does not split it.
    EXPECT_EQ(threadNameFor("abcdefghijklmn\xC3\xA9z"), "abcdefghijklmn");
}

TEST(SerialExecutor, RunsTasksInOrderOnItsNamedThreadAndDrainsWhenDestroyed) {
    std::vector<int> order;
    std::string name;
    std::thread::id workerThread;
    bool overlapped = false;
    std::promise<void> gate;
    std::atomic<int> inside{0};
    {
        SerialExecutor executor("marlowen.liveicon");
        // Holds the thread until every task is queued, so the destructor meets a full queue.
        executor.submit([ready = gate.get_future().share()] { ready.wait(); });
        executor.submit([&] {
            name = currentThreadName();
            workerThread = std::this_thread::get_id();
        });
        for (int i = 0; i < 100; ++i)
            executor.submit([&, i] {
                overlapped |= inside.fetch_add(1) != 0;
                order.push_back(i);
                inside.fetch_sub(1);
            });
        gate.set_value();
    }
    EXPECT_EQ(name, "marlowen.liveic");
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(SerialExecutor, TasksSubmittedWhileDrainingStillRun) {
    std::vector<int> order;
    {
        SerialExecutor executor("tavel.test");
        executor.submit([&] {
            order.push_back(1);
            executor.submit([&] { order.push_back(2); });
        });
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SerialExecutor, SurvivesAThrowingTaskAndReportsIt) {
    MemoryLogSink log;
    bool nextRan = false;
    {
        SerialExecutor executor("tavel.test", log);
        executor.submit([] { throw std::runtime_error("disk full"); });
        executor.submit([] { throw 42; });
        executor.submit([&] { nextRan = true; });
    }
    EXPECT_TRUE(nextRan);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Tavel: background task failed: disk full",
                                        "Tavel: background task failed: unknown exception"}));
}

TEST(ConcurrentExecutor, RunsEveryTaskBeforeItIsDestroyed) {
    std::atomic<int> done{0};
    {
        ConcurrentExecutor executor(2);
        for (int i = 0; i < 200; ++i) executor.submit([&] { done.fetch_add(1); });
    }
    EXPECT_EQ(done.load(), 200);
}

TEST(ConcurrentExecutor, RunsTasksAtTheSameTime) {
    std::mutex mutex;
    std::condition_variable arrivedChanged;
    int arrived = 0;
    std::atomic<int> met{0};
    {
        ConcurrentExecutor executor(2);
        // Each task waits for the other: only two threads running at once get both through.
        auto meet = [&] {
            std::unique_lock lock(mutex);
            ++arrived;
            arrivedChanged.notify_all();
            if (arrivedChanged.wait_for(lock, kGiveUp, [&] { return arrived == 2; }))
                met.fetch_add(1);
        };
        executor.submit(meet);
        executor.submit(meet);
    }
    EXPECT_EQ(met.load(), 2);
}

TEST(ConcurrentExecutor, SurvivesAThrowingTaskAndReportsIt) {
    MemoryLogSink log;
    std::atomic<bool> nextRan{false};
    {
        ConcurrentExecutor executor(1, log);
        executor.submit([] { throw std::logic_error("bad frame"); });
        executor.submit([&] { nextRan = true; });
    }
    EXPECT_TRUE(nextRan.load());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Tavel: background task failed: bad frame"}));
}

TEST(ConcurrentExecutor, HasAThreadEvenWhenAskedForNone) {
    std::atomic<bool> ran{false};
    {
        ConcurrentExecutor executor(0);
        executor.submit([&] { ran = true; });
    }
    EXPECT_TRUE(ran.load());
}

}  // namespace
}  // namespace tavel
