#pragma once
// A Scheduler and an Executor for tests: time moves only when the test says so, and tasks
// run only inside advance()/runPending()/runAll(), on the test's thread. Deterministic.

#include "platform/scheduler.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace tavel::test {

class ManualScheduler final : public Scheduler {
public:
    // Any thread (a background task reporting back).
    void post(Task task) override;
    // The test's thread, as everything below. A negative delay means "due now".
    TimerHandle scheduleOnce(Duration delay, Task task) override;
    // `interval` must be positive (std::invalid_argument otherwise).
    TimerHandle scheduleRepeating(Duration interval, Task task) override;
    // Starts at zero.
    Duration now() const override;

    // Moves the clock to now() + d (d >= 0), running on the way, in order: the posted
    // tasks, then each timer that falls due, at its own due time (now() equals it while
    // the task runs), each followed by the tasks posted so far. Timers due at the same time
    // run in the order they were first scheduled. Tasks may post and schedule; a timer they
    // schedule that falls due before the end runs too. Not to be called from a task.
    void advance(Duration d);
    // Runs the posted tasks, and those they post, without moving time. Not from a task.
    void runPending();

    // Timers that may still fire (scheduled, not cancelled).
    std::size_t pendingTimerCount() const;
    // Posted tasks that have not run yet.
    std::size_t postedCount() const;

private:
    struct Timer {
        Task task;            // empty while running, and once cancelled
        Duration interval{};  // zero for a one-shot timer
        std::shared_ptr<TimerHandle::State> state = std::make_shared<TimerHandle::State>();
    };
    using Key = std::pair<Duration, std::uint64_t>;  // due time, scheduling order

    Duration dueAfter(Duration delay) const;
    TimerHandle schedule(Duration due, Duration interval, Task task);
    void runPosted();
    void fireNext();
    void enter();

    // Test thread only.
    Duration now_{};
    std::uint64_t nextOrder_ = 0;
    std::map<Key, std::shared_ptr<Timer>> timers_;
    bool running_ = false;  // inside advance()/runPending()

    // Any thread.
    mutable std::mutex postedMutex_;
    std::deque<Task> posted_;
};

// Queues tasks until the test runs them with runAll(). Any thread may submit.
class ManualExecutor final : public Executor {
public:
    void submit(Task task) override;
    // Runs the queued tasks in submission order, including those submitted meanwhile,
    // until none is left. A task that throws stops it there; the rest stay queued.
    void runAll();
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::deque<Task> tasks_;
};

}  // namespace tavel::test
