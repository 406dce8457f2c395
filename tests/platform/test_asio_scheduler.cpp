// What only the real loop and the executors' threads do; order and counts, not timings.

#include "platform/asio/asio_scheduler.h"
#include "platform/asio/thread_executors.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <ranges>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;

// A fault fails the test after this instead of hanging it.
constexpr Duration kGiveUp = 5s;

TEST(FixedRateNextDue, IsTheFirstDueTimeOnTheGridThatIsNotBeforeNow) {
    struct Case {
        Duration previous, interval, now, next;
    };
    const Case cases[] = {
        {100ms, 10ms, 100ms, 110ms}, {100ms, 10ms, 103ms, 110ms},        // a little late
        {100ms, 10ms, 110ms, 110ms},                                     // due right now
        {100ms, 10ms, 135ms, 140ms}, {100ms, 10ms, 140ms + 1ns, 150ms},  // missed ones skipped
        {0s, 1min, 1h + 1s, 61min},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fixedRateNextDue(c.previous, c.interval, c.now), c.next)
            << c.previous.count() << " " << c.interval.count() << " " << c.now.count();
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

// Opens on destruction, just before its executor's, whose destructor meets a long queue.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> passed = open.get_future().share();
    ~Gate() { open.set_value(); }
};

TEST(ThreadExecutors, RunEveryTaskBeforeTheyGoAndReportFailures) {
    MemoryLogSink log;
    std::atomic<int> done{0};
    std::vector<int> order;
    std::string serialThread;
    {
        SerialExecutor serial("marlowen.liveicon", log);  // cut to Linux's 15 bytes
        Gate serialGate;
        ConcurrentExecutor pool(0, log);  // has a thread even when asked for none
        Gate poolGate;
        for (auto [executor, gate] :
             {std::pair<Executor*, Gate*>(&serial, &serialGate), {&pool, &poolGate}}) {
            executor->submit([passed = gate->passed] {
                passed.wait();
                std::this_thread::yield();  // lets the destructor begin
            });
            executor->submit([] { throw std::runtime_error("disk full"); });
            executor->submit([] { throw 42; });
            for (int i = 0; i < 100; ++i) executor->submit([&] { ++done; });
            // Submitted while the executor drains: still runs.
            executor->submit([&, executor] { executor->submit([&] { ++done; }); });
        }
        // The serial one runs its tasks in order, on its named thread.
        serial.submit([&] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            serialThread = name;
        });
        for (int i = 0; i < 100; ++i) serial.submit([&, i] { order.push_back(i); });
    }
    EXPECT_EQ(done.load(), 202);
    EXPECT_EQ(serialThread, "marlowen.liveic");
    EXPECT_TRUE(std::ranges::equal(order, std::views::iota(0, 100)));
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
