#include "support/manual_scheduler.h"

#include <algorithm>
#include <stdexcept>

namespace tavel::test {

namespace {

// Clears a flag on leaving scope, exceptions included.
class Running {
public:
    explicit Running(bool& flag) : flag_(flag) { flag_ = true; }
    ~Running() { flag_ = false; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    bool& flag_;
};

}  // namespace

void ManualScheduler::post(Task task) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
}

TimerHandle ManualScheduler::scheduleOnce(Duration delay, Task task) {
    return schedule(dueAfter(delay), Duration::zero(), std::move(task));
}

TimerHandle ManualScheduler::scheduleRepeating(Duration interval, Task task) {
    if (interval <= Duration::zero())
        throw std::invalid_argument("scheduleRepeating needs a positive interval");
    return schedule(dueAfter(interval), interval, std::move(task));
}

Duration ManualScheduler::now() const {
    return now_;
}

Duration ManualScheduler::dueAfter(Duration delay) const {
    if (delay <= Duration::zero()) return now_;
    // "Never", such as Duration::max(), stays representable.
    if (delay > Duration::max() - now_) return Duration::max();
    return now_ + delay;
}

TimerHandle ManualScheduler::schedule(Duration due, Duration interval, Task task) {
    auto timer = std::make_shared<Timer>();
    timer->task = std::move(task);
    timer->interval = interval;
    // Releases the task's captures at once, as the real loop does. While the task runs it
    // has been moved out of the timer, so this never destroys a running task.
    timer->state->onCancel = [weak = std::weak_ptr<Timer>(timer)] {
        if (auto timer = weak.lock()) timer->task = nullptr;
    };
    timers_.emplace(Key{due, nextOrder_++}, timer);
    return TimerHandle(timer->state);
}

void ManualScheduler::enter() {
    if (running_)
        throw std::logic_error(
            "ManualScheduler: advance()/runPending() called from a task it runs; "
            "call them from the test body only");
}

void ManualScheduler::advance(Duration d) {
    if (d < Duration::zero())
        throw std::invalid_argument("ManualScheduler::advance: time does not go back");
    enter();
    Running running(running_);
    const Duration end = dueAfter(d);
    runPosted();
    while (!timers_.empty() && timers_.begin()->first.first <= end) fireNext();
    now_ = end;
    runPosted();
}

void ManualScheduler::fireNext() {
    auto node = timers_.extract(timers_.begin());
    const std::shared_ptr<Timer> timer = std::move(node.mapped());
    if (timer->state->cancelled) return;
    now_ = node.key().first;
    Task task = std::move(timer->task);
    timer->task = nullptr;
    if (timer->interval == Duration::zero()) {
        timer->state->finished = true;
        task();
    } else {
        task();
        if (!timer->state->cancelled) {
            timer->task = std::move(task);
            // Keeps its first scheduling order among timers due at the same time.
            timers_.emplace(Key{dueAfter(timer->interval), node.key().second}, timer);
        }
    }
    runPosted();
}

void ManualScheduler::runPending() {
    enter();
    Running running(running_);
    runPosted();
}

void ManualScheduler::runPosted() {
    for (;;) {
        Task task;
        {
            std::lock_guard lock(postedMutex_);
            if (posted_.empty()) return;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
    }
}

std::size_t ManualScheduler::pendingTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(),
                      [](const auto& entry) { return !entry.second->state->cancelled; }));
}

std::size_t ManualScheduler::postedCount() const {
    std::lock_guard lock(postedMutex_);
    return posted_.size();
}

void ManualExecutor::submit(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
}

void ManualExecutor::runAll() {
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

std::size_t ManualExecutor::pending() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

}  // namespace tavel::test
