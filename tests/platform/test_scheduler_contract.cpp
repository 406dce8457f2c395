// What every Scheduler promises, on the real loop (its times lower bounds) and the manual clock.

#include "platform/asio/asio_scheduler.h"
#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
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
}

TYPED_TEST(SchedulerContract, NothingRunsAfterCancel) {
    auto& s = this->s;
    TimerHandle once = s.scheduleOnce(1ms, this->note("cancelled before due"));
    TimerHandle repeating = s.scheduleRepeating(1ms, this->note("repeating, cancelled"));
    once.cancel();
    repeating.cancel();
    { TimerHandle destroyed = s.scheduleRepeating(1ms, this->note("handle destroyed")); }
    TimerHandle replaced;  // debouncing: a handle given a new timer cancels its old one
    for (int i = 0; i < 20; ++i) replaced = s.scheduleOnce(2ms, this->note(std::to_string(i)));
    this->loop.run();
    EXPECT_EQ(this->order, std::vector<std::string>{"19"});

    TimerHandle orphan;
    {
        TypeParam other;
        orphan = other.scheduler.scheduleOnce(1h, [] {});
    }
    orphan.cancel();  // its scheduler is gone: the cancel must not reach it
}

}  // namespace
}  // namespace tavel::test
