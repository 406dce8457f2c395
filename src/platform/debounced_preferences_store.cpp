#include "platform/debounced_preferences_store.h"

#include <exception>
#include <utility>

namespace tavel {

DebouncedPreferencesStore::DebouncedPreferencesStore(PreferencesStore& inner, Scheduler& scheduler,
                                                     LogSink& log)
    : inner_(inner), scheduler_(scheduler), log_(log) {}

DebouncedPreferencesStore::~DebouncedPreferencesStore() {
    write_.cancel();
    flush();
}

std::optional<std::vector<std::uint8_t>> DebouncedPreferencesStore::data(
    std::string_view key) const {
    {
        std::lock_guard lock(mutex_);
        if (auto it = waiting_.find(key); it != waiting_.end()) return it->second;
    }
    return inner_.data(key);
}

Result<void> DebouncedPreferencesStore::setData(std::string_view key,
                                                std::span<const std::uint8_t> bytes) {
    if (!isValidPreferenceName(key)) return invalidKey(key);
    {
        std::lock_guard lock(mutex_);
        waiting_[std::string(key)].assign(bytes.begin(), bytes.end());
    }
    // The timer's task never outlives the store: the handle cancels it.
    if (!write_.active()) write_ = scheduler_.scheduleOnce(kDelay, [this] { flush(); });
    return {};
}

void DebouncedPreferencesStore::flush() {
    std::lock_guard lock(mutex_);
    auto round = std::exchange(waiting_, {});
    for (auto& [key, bytes] : round) {
        std::string error;
        try {
            error = inner_.setData(key, bytes).why();
        } catch (const std::exception& failure) {
            error = failure.what();
        } catch (...) {
            error = "unknown failure";
        }
        if (!error.empty() && error != lastError_)
            log_.write("Tavel: settings could not be stored: " + error);
        lastError_ = error;
        // Kept for the next change's round.
        if (!error.empty()) waiting_.emplace(key, std::move(bytes));
    }
}

}  // namespace tavel
