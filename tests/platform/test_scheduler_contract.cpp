// What every Scheduler promises, on the real loop (its times lower bounds) and the manual clock.

#include "platform/asio/asio_scheduler.h"
#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <memory>
#include <ranges>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tavel::test {
namespace {

using namespace std::chrono_literals;

// run(): up to 5 s of loop time (the real loop returns once nothing waits); busy(): holds it.
struct ManualLoop {
    ManualScheduler scheduler;
    void run() { scheduler.advance(5s); }
    void busy(Duration) {}  // the manual clock never falls behind
};

struct AsioLoop {
    AsioScheduler scheduler;
    void run() { scheduler.runFor(5s); }
    void busy(Duration d) {
        for (const Duration end = scheduler.now() + d; scheduler.now() < end;) {
        }
    }
};

template <class Loop>
class SchedulerContract : public ::testing::Test {
protected:
    Loop loop;
    Scheduler& s = loop.scheduler;
    std::vector<std::string> order;

    Task note(std::string name) {
        return [this, name] { order.push_back(name); };
    }
};

using Loops = ::testing::Types<ManualLoop, AsioLoop>;
TYPED_TEST_SUITE(SchedulerContract, Loops);

TYPED_TEST(SchedulerContract, PostsRunInOrderFromAnyThreadAndOneShotTimersInDueOrder) {
    auto& s = this->s;
    s.post([&] {
        this->order.push_back("a");
        s.post(this->note("posted by a"));
    });
    s.post(this->note("b"));
    EXPECT_TRUE(this->order.empty());  // never inside post()
    constexpr int kThreads = 3, kPosts = 300;
    std::vector<std::vector<int>> seen(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kPosts; ++i) s.post([&, t, i] { seen[t].push_back(i); });
            });
    }
    this->loop.run();
    EXPECT_EQ(this->order, (std::vector<std::string>{"a", "b", "posted by a"}));
    for (const auto& posts : seen)
        EXPECT_TRUE(std::ranges::equal(posts, std::views::iota(0, kPosts)));

    // One-shot timers run once, in due order, not before their delay.
    const Duration start = s.now();
    std::vector<std::pair<std::string, Duration>> runs;
    std::vector<TimerHandle> handles;
    for (auto [name, delay] : {std::pair("late", 6ms), {"early", 2ms}, {"middle", 4ms}})
        handles.push_back(s.scheduleOnce(delay, [&, name, delay, i = handles.size()] {
            EXPECT_FALSE(handles[i].active()) << "inactive while its task runs";
            EXPECT_GE(s.now() - start, Duration(delay)) << name;
            runs.emplace_back(name, s.now());
        }));
    for (const auto& handle : handles) EXPECT_TRUE(handle.active());
    this->loop.run();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].first + runs[1].first + runs[2].first, "earlymiddlelate");
    for (const auto& handle : handles) EXPECT_FALSE(handle.active());
}

TYPED_TEST(SchedulerContract, RepeatingTimerKeepsItsRateSkippingWhatItMissedUntilCancelled) {
    constexpr Duration kInterval = 3ms;
    auto& s = this->s;
    const Duration start = s.now();
    std::vector<Duration> runs;
    Duration busyUntil{};
    bool activeBetweenRuns = true;
    TimerHandle handle;
    handle = s.scheduleRepeating(kInterval, [&] {
        runs.push_back(s.now());
        activeBetweenRuns &= handle.active();
        if (runs.size() == 1) {
            this->loop.busy(kInterval * 3 + kInterval / 2);
            busyUntil = s.now();
        }
        if (runs.size() == 4) handle.cancel();  // from its own task
    });
    this->loop.run();  // the real loop returns only because the timer was cancelled
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_GE(runs[0], start + kInterval);
    // Missed due times are not made up in a burst: an interval apart from the busy end on.
    for (std::size_t k = 1; k < runs.size(); ++k)
        EXPECT_GE(runs[k], busyUntil + kInterval * static_cast<int>(k - 1)) << "run " << k;
    EXPECT_TRUE(activeBetweenRuns);
    EXPECT_FALSE(handle.active());
    EXPECT_THROW(s.scheduleRepeating(0s, [] {}), std::invalid_argument);
    EXPECT_THROW(s.scheduleRepeating(-1s, [] {}), std::invalid_argument);
}

TYPED_TEST(SchedulerContract, NothingRunsAfterCancel) {
    auto& s = this->s;
    TimerHandle once = s.scheduleOnce(1ms, this->note("cancelled before due"));
    TimerHandle repeating = s.scheduleRepeating(1ms, this->note("repeating, cancelled"));
    once.cancel();
    repeating.cancel();
    { TimerHandle destroyed = s.scheduleRepeating(1ms, this->note("handle destroyed")); }
    // Due together: the first cancels the second after its wait has already ended.
    TimerHandle victim;
    TimerHandle first = s.scheduleOnce(0ns, [&] { victim.cancel(); });
    victim = s.scheduleOnce(1ns, this->note("cancelled when due"));
    TimerHandle replaced;  // debouncing: a handle given a new timer cancels its old one
    for (int i = 0; i < 20; ++i) replaced = s.scheduleOnce(2ms, this->note(std::to_string(i)));
    // Its captures go by the time the loop has run, not at its due time.
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    TimerHandle released = s.scheduleOnce(1h, [captured] { ++*captured; });
    captured.reset();
    released.cancel();
    this->loop.run();
    EXPECT_EQ(this->order, std::vector<std::string>{"19"});
    EXPECT_TRUE(watch.expired());

    TimerHandle orphan;
    {
        TypeParam other;
        orphan = other.scheduler.scheduleOnce(1h, [] {});
    }
    orphan.cancel();  // its scheduler is gone: the cancel must not reach it
}

}  // namespace
}  // namespace tavel::test
