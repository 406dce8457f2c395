#pragma once
// Time and work queues for the core: the main queue, timers on the main loop, and
// background executors. The application runs them on one Asio event loop; tests run
// them on a manual clock (tests/support/manual_scheduler.h), so no test waits for time.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace tavel {

using Duration = std::chrono::nanoseconds;
using Task = std::function<void()>;

// A scheduled timer. Cancelling (or destroying the handle) guarantees that the task
// does not start afterwards; a task already running finishes. Handles are move-only;
// an empty handle is inactive.
class TimerHandle {
public:
    struct State;
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<State> state) : state_(std::move(state)) {}
    TimerHandle(TimerHandle&&) noexcept = default;
    TimerHandle& operator=(TimerHandle&& other) noexcept {
        if (this != &other) {
            cancel();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    TimerHandle(const TimerHandle&) = delete;
    TimerHandle& operator=(const TimerHandle&) = delete;
    ~TimerHandle() { cancel(); }

    void cancel();
    // True while the timer may still fire: scheduled, not cancelled, and (for a
    // one-shot timer) not yet fired.
    bool active() const;

private:
    std::shared_ptr<State> state_;
};

// Shared between a handle and the scheduler that runs its timer. Main thread only.
struct TimerHandle::State {
    bool cancelled = false;
    bool finished = false;  // a one-shot timer that has fired
    // Set by the scheduler, called once when the handle cancels: lets the scheduler drop
    // the pending wait at once, so a cancelled timer neither keeps the loop alive nor
    // holds its task's captures until its due time. It must not destroy a running task.
    std::function<void()> onCancel;
};

inline void TimerHandle::cancel() {
    if (!state_) return;
    state_->cancelled = true;
    if (auto hook = std::exchange(state_->onCancel, nullptr)) hook();
    state_.reset();
}

inline bool TimerHandle::active() const {
    return state_ && !state_->cancelled && !state_->finished;
}

// The main thread's loop. Timers and posted tasks run on the main thread, one at a
// time, in order of their due time (posted tasks in posting order).
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Runs `task` on the main thread later, never inside this call. Any thread may call.
    virtual void post(Task task) = 0;
    // Main thread only. Runs `task` once, `delay` from now.
    virtual TimerHandle scheduleOnce(Duration delay, Task task) = 0;
    // Main thread only. Runs `task` every `interval`, the first time one interval from now.
    virtual TimerHandle scheduleRepeating(Duration interval, Task task) = 0;
    // Monotonic time of the main loop.
    virtual Duration now() const = 0;
};

// A background queue. Serial executors run one task at a time in submission order on
// one named thread; concurrent executors run tasks on a pool. Tasks report back only by
// posting to the main Scheduler. Any thread may submit.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void submit(Task task) = 0;
};

}  // namespace tavel
