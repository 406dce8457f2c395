#include "support/manual_scheduler.h"

#include <algorithm>
#include <stdexcept>

namespace tavel::test {

namespace {

// Takes the front task under the lock; an empty task when none is left.
Task takeFront(std::mutex& mutex, std::deque<Task>& tasks) {
    std::lock_guard lock(mutex);
    if (tasks.empty()) return {};
    Task task = std::move(tasks.front());
    tasks.pop_front();
    return task;
}

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

Duration ManualScheduler::dueAfter(Duration delay) const {
    return delay <= Duration::zero() ? now_ : now_ + delay;
}

TimerHandle ManualScheduler::schedule(Duration due, Duration interval, Task task) {
    auto timer = std::make_shared<Timer>(Timer{std::move(task), interval});
    // Releases the captures at once, as the real loop does (a running task is moved out).
    timer->state->onCancel = [weak = std::weak_ptr<Timer>(timer)] {
        if (auto timer = weak.lock()) timer->task = nullptr;
    };
    timers_.emplace(Key{due, nextOrder_++}, timer);
    return TimerHandle(timer->state);
}

void ManualScheduler::advance(Duration d) {
    const Duration end = dueAfter(d);
    runPending();
    while (!timers_.empty() && timers_.begin()->first.first <= end) fireNext();
    now_ = end;
    runPending();
}

void ManualScheduler::fireNext() {
    auto node = timers_.extract(timers_.begin());
    const std::shared_ptr<Timer> timer = std::move(node.mapped());
    if (timer->state->cancelled) return;
    now_ = node.key().first;
    Task task = std::exchange(timer->task, nullptr);
    if (timer->interval == Duration::zero()) timer->state->finished = true;
    task();
    if (timer->interval != Duration::zero() && !timer->state->cancelled) {
        timer->task = std::move(task);
        // Keeps its first scheduling order among timers due at the same time.
        timers_.emplace(Key{dueAfter(timer->interval), node.key().second}, timer);
    }
    runPending();
}

void ManualScheduler::runPending() {
    while (Task task = takeFront(postedMutex_, posted_)) task();
}

std::size_t ManualScheduler::pendingTimerCount() const {
    return std::ranges::count_if(timers_, [](auto& t) { return !t.second->state->cancelled; });
}

void ManualExecutor::submit(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
}

void ManualExecutor::runAll() {
    while (Task task = takeFront(mutex_, tasks_)) task();
}

}  // namespace tavel::test
