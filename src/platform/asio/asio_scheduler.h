#pragma once
// The application's main loop: one Asio io_context run on the main thread. Posted tasks,
// timers and (through context()) watched file descriptors all complete on that thread, one
// at a time.
//
// Thread rules:
// - The main thread constructs the scheduler, calls run() or runFor(), and is the only
//   thread that calls scheduleOnce(), scheduleRepeating(), context() and that cancels or
//   destroys the returned handles. Tasks run on it, inside run()/runFor().
// - post() and stop() may be called from any thread, at any time while the scheduler exists.
// - A task that throws leaves run()/runFor() with that exception (a bug on the main
//   thread is not hidden); a repeating timer whose task throws is not rearmed.

#include "platform/scheduler.h"

#include <asio/io_context.hpp>

namespace tavel {

class AsioScheduler final : public Scheduler {
public:
    AsioScheduler() = default;
    AsioScheduler(const AsioScheduler&) = delete;
    AsioScheduler& operator=(const AsioScheduler&) = delete;
    // Pending tasks and timers are dropped without running. Handles may outlive the
    // scheduler; cancelling them then does nothing.
    ~AsioScheduler() override = default;

    // Any thread. Queued behind the tasks already posted; never runs inside this call.
    void post(Task task) override;
    // Main thread. A timer on the loop; cancelling its handle also ends the wait, so a
    // cancelled timer no longer keeps runFor() from returning.
    TimerHandle scheduleOnce(Duration delay, Task task) override;
    // Main thread. Fixed rate: each due time is the previous one plus `interval`, so the
    // rate does not drift with the loop's latency; due times the loop missed while busy
    // are skipped (see fixedRateNextDue), never fired in a burst. `interval` must be
    // positive (std::invalid_argument otherwise).
    TimerHandle scheduleRepeating(Duration interval, Task task) override;
    // std::chrono::steady_clock, the clock the timers use. Any thread.
    Duration now() const override;

    // Main thread. Runs the loop until stop(), even while nothing is pending.
    void run();
    // Main thread. Runs the loop for at most `duration`; returns earlier on stop() or
    // as soon as nothing is left to wait for (no posted task, timer or watched descriptor).
    void runFor(Duration duration);
    // Any thread. Ends the current run()/runFor(); when the loop is not running, the next
    // one returns at once. Tasks still queued stay queued for the next run.
    void stop();

    // Main thread. For platform code that watches file descriptors on the same loop
    // (X11, D-Bus): its completion handlers run on the main thread like any task.
    asio::io_context& context() { return context_; }

private:
    asio::io_context context_;
};

// The due time after `previousDue` for a fixed-rate timer of `interval`, all on one
// clock: previousDue + interval, unless that is already before `now`, in which case the
// missed due times are skipped and the result is the first one on the same grid that is
// not before `now`. `interval` must be positive (std::invalid_argument otherwise).
Duration fixedRateNextDue(Duration previousDue, Duration interval, Duration now);

}  // namespace tavel
