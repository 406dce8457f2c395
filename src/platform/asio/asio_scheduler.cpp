#include "platform/asio/asio_scheduler.h"

#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <stdexcept>
#include <system_error>

namespace tavel {

namespace {

// One scheduled timer. Kept alive by its pending wait only: when the wait completes
// without being rearmed (fired once, cancelled, or the loop is destroyed) it goes away.
struct LoopTimer {
    explicit LoopTimer(asio::io_context& context) : timer(context) {}
    asio::steady_timer timer;
    Task task;
    Duration interval{};  // zero for a one-shot timer
    std::shared_ptr<TimerHandle::State> state = std::make_shared<TimerHandle::State>();
};

void arm(const std::shared_ptr<LoopTimer>& timer);

void fire(const std::shared_ptr<LoopTimer>& timer, const std::error_code& error) {
    // The flag covers a cancel that came after the wait had already completed.
    if (error || timer->state->cancelled) return;
    if (timer->interval == Duration::zero()) {
        timer->state->finished = true;
        timer->task();
        return;
    }
    timer->task();
    if (timer->state->cancelled) return;  // cancelled from inside its own task
    const Duration due = timer->timer.expiry().time_since_epoch();
    const Duration now = std::chrono::steady_clock::now().time_since_epoch();
    timer->timer.expires_at(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            fixedRateNextDue(due, timer->interval, now))));
    arm(timer);
}

void arm(const std::shared_ptr<LoopTimer>& timer) {
    timer->timer.async_wait([timer](const std::error_code& error) { fire(timer, error); });
}

TimerHandle start(asio::io_context& context, Duration delay, Duration interval, Task task) {
    auto timer = std::make_shared<LoopTimer>(context);
    timer->task = std::move(task);
    timer->interval = interval;
    timer->state->onCancel = [weak = std::weak_ptr<LoopTimer>(timer)] {
        if (auto timer = weak.lock()) {
            try {
                timer->timer.cancel();
            } catch (const std::system_error&) {
                // The cancelled flag still keeps the task from running.
            }
        }
    };
    timer->timer.expires_after(delay);
    arm(timer);
    return TimerHandle(timer->state);
}

}  // namespace

Duration fixedRateNextDue(Duration previousDue, Duration interval, Duration now) {
    if (interval <= Duration::zero())
        throw std::invalid_argument("fixedRateNextDue needs a positive interval");
    const Duration next = previousDue + interval;
    if (next >= now) return next;
    const auto missed = (now - next + interval - Duration(1)) / interval;
    return next + missed * interval;
}

void AsioScheduler::post(Task task) {
    asio::post(context_, std::move(task));
}

TimerHandle AsioScheduler::scheduleOnce(Duration delay, Task task) {
    return start(context_, delay, Duration::zero(), std::move(task));
}

TimerHandle AsioScheduler::scheduleRepeating(Duration interval, Task task) {
    if (interval <= Duration::zero())
        throw std::invalid_argument("scheduleRepeating needs a positive interval");
    return start(context_, interval, interval, std::move(task));
}

Duration AsioScheduler::now() const {
    return std::chrono::steady_clock::now().time_since_epoch();
}

void AsioScheduler::run() {
    {
        auto work = asio::make_work_guard(context_);
        context_.run();
    }
    context_.restart();
}

void AsioScheduler::runFor(Duration duration) {
    context_.run_for(duration);
    // Stopped by stop() or by running out of work: ready for the next run.
    if (context_.stopped()) context_.restart();
}

void AsioScheduler::stop() {
    context_.stop();
}

}  // namespace tavel
