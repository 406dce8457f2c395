#pragma once
// System sleep from logind, and the merge of several display-sleep sources into one.

#include "platform/system_state.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tavel {

class BusConnection;

// logind's org.freedesktop.login1.Manager.PrepareForSleep(b start) on the system bus:
// start = true → didSleep, start = false (after resuming) → didWake. Only signals sent by
// the owner of org.freedesktop.login1 count. Without logind nothing is ever reported, and
// nothing is logged.
//
// Thread rules: constructed, used and destroyed on the main thread; the handlers run on the
// main thread, inside the bus connection's processing on the loop.
class LogindSleepSource final : public DisplaySleepSource {
public:
    // Subscribes to the signal. `systemBus` must outlive this source. Never throws.
    explicit LogindSleepSource(BusConnection& systemBus);
    ~LogindSleepSource() override;
    LogindSleepSource(const LogindSleepSource&) = delete;
    LogindSleepSource& operator=(const LogindSleepSource&) = delete;

    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Several sources seen as one display: asleep while any of them says asleep. didSleep is
// reported when the first source goes to sleep, didWake when the last one wakes; a source
// repeating its state, or waking without having slept, changes nothing.
//
// Thread rules: the sources may report on any thread. The merged handlers run on the
// thread of the report that changed the merged state, one at a time and in the order the
// merged state changed (a lock is held around them: they may call setHandlers and asleep(),
// but must not wait for another thread that reports to this object). setHandlers and
// asleep() may be called on any thread.
class CombinedSleepSource final : public DisplaySleepSource {
public:
    // Takes the sources and installs its own handlers on them.
    explicit CombinedSleepSource(std::vector<std::unique_ptr<DisplaySleepSource>> sources);
    // Removes its handlers from the sources before they go.
    ~CombinedSleepSource() override;
    CombinedSleepSource(const CombinedSleepSource&) = delete;
    CombinedSleepSource& operator=(const CombinedSleepSource&) = delete;

    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override;

    // True while at least one source is asleep.
    bool asleep() const;

private:
    void report(std::size_t source, bool sleeping);

    std::vector<std::unique_ptr<DisplaySleepSource>> sources_;
    // Guards everything below and is held while a merged handler runs; recursive so that a
    // handler may call back into this object.
    mutable std::recursive_mutex mutex_;
    std::vector<bool> sleeping_;
    std::size_t sleepingCount_ = 0;
    std::function<void()> didSleep_;
    std::function<void()> didWake_;
};

}  // namespace tavel
