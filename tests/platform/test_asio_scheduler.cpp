// What only the real loop and the executors' threads do (the shared contract is in
// test_scheduler_contract.cpp). These run the loop rather than sleep, and assert order and
// counts, never exact timings.

#include "platform/asio/asio_scheduler.h"
#include "platform/asio/thread_executors.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <initializer_list>
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

TEST(FixedRateNextDue, IsTheFirstDueTimeOnTheGridThatIsNotBeforeNow) {
    struct Case {
        Duration previous, interval, now, next;
    };
    const Case cases[] = {
        {100ms, 10ms, 100ms, 110ms}, {100ms, 10ms, 103ms, 110ms},  // a little late
        {100ms, 10ms, 110ms, 110ms},                               // due right now
        {100ms, 10ms, 111ms, 120ms}, {100ms, 10ms, 135ms, 140ms},  // missed ones skipped
        {100ms, 10ms, 140ms, 140ms}, {100ms, 10ms, 140ms + 1ns, 150ms}, {0s, 1min, 1h + 1s, 61min},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fixedRateNextDue(c.previous, c.interval, c.now), c.next)
            << c.previous.count() << " " << c.interval.count() << " " << c.now.count();
    EXPECT_THROW(fixedRateNextDue(0s, 0s, 1s), std::invalid_argument);
    EXPECT_THROW(fixedRateNextDue(0s, -1s, 1s), std::invalid_argument);
}

TEST(AsioScheduler, NowIsTheSteadyClock) {
    AsioScheduler loop;
    const Duration before = Clock::now().time_since_epoch();
    const Duration now = loop.now();
    EXPECT_LE(before, now);
    EXPECT_LE(now, Clock::now().time_since_epoch());
}

TEST(AsioScheduler, RunWaitsForWorkUntilStoppedFromAnyThread) {
    AsioScheduler loop;
    Watchdog watchdog(loop);
    const auto loopThread = std::this_thread::get_id();
    std::atomic<int> ran{0};
    bool allOnLoopThread = true;
    std::jthread other([&] {
        for (int i = 0; i < 100; ++i)
            loop.post([&] {
                allOnLoopThread &= std::this_thread::get_id() == loopThread;
                if (++ran == 100) std::jthread([&] { loop.stop(); }).join();
            });
    });
    loop.run();  // waits for the posts even while none has arrived yet
    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(ran.load(), 100);
    EXPECT_TRUE(allOnLoopThread);

    // A stop while not running ends the next run at once; what is queued stays queued.
    bool queued = false;
    loop.post([&] { queued = true; });
    loop.stop();
    loop.run();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_FALSE(queued);
    int ticks = 0;
    TimerHandle repeating = loop.scheduleRepeating(1ms, [&] {
        if (++ticks % 3 == 0) loop.stop();
    });
    loop.run();  // and the loop runs again, its timers carrying on
    loop.run();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_TRUE(queued);
    EXPECT_EQ(ticks, 6);
}

TEST(AsioScheduler, RunForReturnsAtItsEndOrOnceNothingIsLeft) {
    AsioScheduler loop;
    int ticks = 0;
    TimerHandle repeating = loop.scheduleRepeating(1ms, [&] { ++ticks; });
    loop.runFor(5ms);  // returns although the timer goes on
    repeating.cancel();
    TimerHandle cancelled = loop.scheduleOnce(1h, [] {});
    cancelled.cancel();
    const auto start = Clock::now();
    loop.runFor(kGiveUp);  // the cancelled timers keep nothing waiting
    EXPECT_LT(Clock::now() - start, kGiveUp);
}

TEST(AsioScheduler, AnExceptionFromATaskLeavesTheRunAndEndsItsRepeatingTimer) {
    AsioScheduler loop;
    int ticks = 0;
    TimerHandle failing = loop.scheduleRepeating(1ms, [&] {
        if (++ticks == 2) throw std::runtime_error("tick failed");
    });
    EXPECT_THROW(loop.runFor(kGiveUp), std::runtime_error);
    loop.runFor(kGiveUp);  // not rearmed: it runs no more
    EXPECT_EQ(ticks, 2);
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
    char name[16] = {};
    std::thread::id workerThread;
    bool overlapped = false;
    std::promise<void> gate;
    std::atomic<int> inside{0};
    {
        SerialExecutor executor("marlowen.liveicon");
        // Holds the thread until every task is queued, so the destructor meets a full queue.
        executor.submit([ready = gate.get_future().share()] { ready.wait(); });
        executor.submit([&] {
            pthread_getname_np(pthread_self(), name, sizeof name);
            workerThread = std::this_thread::get_id();
        });
        for (int i = 0; i < 100; ++i)
            executor.submit([&, i] {
                overlapped |= inside.fetch_add(1) != 0;
                order.push_back(i);
                // Submitted while draining: still runs.
                if (i == 99) executor.submit([&] { order.push_back(100); });
                inside.fetch_sub(1);
            });
        gate.set_value();
    }
    EXPECT_EQ(std::string(name), "marlowen.liveic");
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 101u);
    for (int i = 0; i <= 100; ++i) EXPECT_EQ(order[i], i);
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

TEST(ThreadExecutors, RunEveryTaskBeforeTheyGoAndReportFailures) {
    MemoryLogSink log;
    std::atomic<int> done{0};
    {
        SerialExecutor serial("tavel.test", log);
        ConcurrentExecutor pool(0, log);  // has a thread even when asked for none
        for (Executor* executor : std::initializer_list<Executor*>{&serial, &pool}) {
            executor->submit([] { throw std::runtime_error("disk full"); });
            executor->submit([] { throw 42; });
            for (int i = 0; i < 100; ++i) executor->submit([&] { done.fetch_add(1); });
        }
    }
    EXPECT_EQ(done.load(), 200);
    auto lines = log.lines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Tavel: background task failed: disk full",
                                        "Tavel: background task failed: disk full",
                                        "Tavel: background task failed: unknown exception",
                                        "Tavel: background task failed: unknown exception"}));
}

}  // namespace
}  // namespace tavel
