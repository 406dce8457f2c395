#pragma once
// Keeps disk writes off the main thread: values are handed to a background executor
// that writes only the newest value of each key. A slider dragged at 120 steps a
// second costs the main thread a copy of the bytes per step, not an fsync.
//
// Reads see the newest value at once: before it is written, while it is being written
// and after its write failed (a failed value is written again with the next round of
// writes). flush() waits until everything handed over has been tried.

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
    // background writes (an error text or an exception of `inner`) are logged, once per
    // distinct error.
    CoalescingPreferencesStore(PreferencesStore& inner, Executor& writer, LogSink& log);
    ~CoalescingPreferencesStore() override;

    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override;
    // Accepts the value for writing; fails at once only for an invalid key.
    std::string setData(std::string_view key, std::span<const std::uint8_t> bytes) override;
    std::string describe(std::string_view key) const override { return inner_.describe(key); }

    // Blocks until every value handed over so far has been written or has failed.
    void flush();
    // The same, for at most `limit`; false when writes were still going on then.
    bool flush(Duration limit);

private:
    using Values = std::map<std::string, std::vector<std::uint8_t>, std::less<>>;
    void writePending();

    PreferencesStore& inner_;
    Executor& writer_;
    LogSink& log_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    Values pending_;       // handed over, not yet taken by the writer
    Values inFlight_;      // being written now
    Values unwritten_;     // the last write of these failed
    bool queued_ = false;  // a write job is submitted and has not finished
    std::string lastError_;
};

}  // namespace tavel
