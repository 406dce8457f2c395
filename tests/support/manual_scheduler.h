#pragma once
// A Scheduler and an Executor for tests: time moves, and tasks run, only when the test says so.

#include "platform/scheduler.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace tavel::test {

class ManualScheduler final : public Scheduler {
public:
    void post(Task task) override;  // any thread
    // A negative delay means "due now".
    TimerHandle scheduleOnce(Duration delay, Task task) override;
    TimerHandle scheduleRepeating(Duration interval, Task task) override;
    Duration now() const override { return now_; }  // starts at zero

    // Moves the clock to now() + d, running the posted tasks, then each timer at its own due
    // time (ties in scheduling order), each followed by what it posted.
    void advance(Duration d);
    // Runs the posted tasks, and those they post, without moving time.
    void runPending();
    // Timers that may still fire.
    std::size_t pendingTimerCount() const;

private:
    struct Timer {
        Task task;            // empty while running, and once cancelled
        Duration interval{};  // zero for a one-shot timer
        std::shared_ptr<TimerHandle::State> state = std::make_shared<TimerHandle::State>();
    };
    using Key = std::pair<Duration, std::uint64_t>;  // due time, scheduling order

    Duration dueAfter(Duration delay) const;
    TimerHandle schedule(Duration due, Duration interval, Task task);
    void fireNext();

    Duration now_{};
    std::uint64_t nextOrder_ = 0;
    std::map<Key, std::shared_ptr<Timer>> timers_;
    std::mutex postedMutex_;
    std::deque<Task> posted_;
};

// Queues tasks, from any thread, until runAll() runs them in submission order.
class ManualExecutor final : public Executor {
public:
    void submit(Task task) override;
    void runAll();

private:
    std::mutex mutex_;
    std::deque<Task> tasks_;
};

}  // namespace tavel::test
