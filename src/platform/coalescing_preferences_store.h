#pragma once
// Keeps disk writes off the main thread: values are handed to a background executor
// that writes only the newest value of each key. A slider dragged at 120 steps a
// second costs the main thread a copy of the bytes per step, not an fsync.
//
// Reads see the newest value at once, written or not. flush() waits until everything
// handed over has reached the inner store (at exit, and in tests).

#include "effects/log_sink.h"
#include "platform/preferences_store.h"
#include "platform/scheduler.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace tavel {

class CoalescingPreferencesStore final : public PreferencesStore {
public:
    // `inner` and `writer` must outlive this store; `writer` should be serial. Failed
    // background writes are logged, once per distinct error.
    CoalescingPreferencesStore(PreferencesStore& inner, Executor& writer, LogSink& log);
    ~CoalescingPreferencesStore() override;

    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override;
    // Accepts the value for writing; fails at once only for an invalid key.
    std::string setData(std::string_view key, std::span<const std::uint8_t> bytes) override;
    std::string describe(std::string_view key) const override { return inner_.describe(key); }

    // Blocks until every value handed over so far is written (or has failed).
    void flush();

private:
    void writePending();

    PreferencesStore& inner_;
    Executor& writer_;
    LogSink& log_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::map<std::string, std::vector<std::uint8_t>> pending_;  // newest unwritten values
    bool queued_ = false;  // a write job is submitted and has not finished
    std::string lastError_;
};

}  // namespace tavel
