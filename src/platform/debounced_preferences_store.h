#pragma once
// Settings writes wait a moment on the main loop, so that a slider dragged at 120 steps a
// second stores its newest value a few times a second, not at every step. One write (an
// atomic replace with its folder flushed) takes about a millisecond on a disk: well
// under a frame, so it needs no thread of its own.
//
// Reads see the newest value at once. A value whose write failed stays readable, the
// failure is logged once per distinct error, and it is written again with the next
// change. flush() writes what waits at once, on the calling thread: the main loop, or
// the lost-display path on whichever thread met it.

#include "effects/log_sink.h"
#include "platform/preferences_store.h"
#include "platform/scheduler.h"

#include <chrono>
#include <map>
#include <mutex>

namespace tavel {

class DebouncedPreferencesStore final : public PreferencesStore {
public:
    static constexpr Duration kDelay = std::chrono::milliseconds(200);

    // `inner` and `scheduler` must outlive this store.
    DebouncedPreferencesStore(PreferencesStore& inner, Scheduler& scheduler, LogSink& log);
    ~DebouncedPreferencesStore() override;  // flushes

    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override;
    // Keeps the value for the next write; fails at once only for an invalid key.
    Result<void> setData(std::string_view key, std::span<const std::uint8_t> bytes) override;
    std::string describe(std::string_view key) const override { return inner_.describe(key); }

    // Writes every value that waits, now.
    void flush();

private:
    PreferencesStore& inner_;
    Scheduler& scheduler_;
    LogSink& log_;
    mutable std::mutex mutex_;  // a flush from another thread against the main loop
    std::map<std::string, std::vector<std::uint8_t>, std::less<>> waiting_;
    std::string lastError_;
    TimerHandle write_;  // main thread
};

}  // namespace tavel
