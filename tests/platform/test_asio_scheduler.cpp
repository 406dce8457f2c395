// What only the real loop and the executors' threads do: failures, draining, order.

#include "platform/asio/asio_scheduler.h"
#include "platform/asio/thread_executors.h"

#include <gtest/gtest.h>

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
    {
        SerialExecutor serial("marlowen.liveicon", log);
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
        // The serial one runs its tasks in order.
        for (int i = 0; i < 100; ++i) serial.submit([&, i] { order.push_back(i); });
    }
    EXPECT_EQ(done.load(), 202);
    EXPECT_TRUE(std::ranges::equal(order, std::views::iota(0, 100)));
    // Two failures on each: one with its reason, one without.
    EXPECT_EQ(std::ranges::count(log.lines(), "Tavel: background task failed: disk full"), 2);
    EXPECT_EQ(log.lines().size(), 4u);
}

}  // namespace
}  // namespace tavel
