#include "platform/coalescing_preferences_store.h"

#include <utility>

namespace tavel {

CoalescingPreferencesStore::CoalescingPreferencesStore(PreferencesStore& inner, Executor& writer,
                                                       LogSink& log)
    : inner_(inner), writer_(writer), log_(log) {}

CoalescingPreferencesStore::~CoalescingPreferencesStore() {
    flush();
}

std::optional<std::vector<std::uint8_t>> CoalescingPreferencesStore::data(
    std::string_view key) const {
    {
        std::lock_guard lock(mutex_);
        if (auto it = pending_.find(std::string(key)); it != pending_.end()) return it->second;
    }
    return inner_.data(key);
}

std::string CoalescingPreferencesStore::setData(std::string_view key,
                                                std::span<const std::uint8_t> bytes) {
    if (!isValidPreferenceName(key)) return "invalid preference key \"" + std::string(key) + "\"";
    bool submit = false;
    {
        std::lock_guard lock(mutex_);
        pending_[std::string(key)].assign(bytes.begin(), bytes.end());
        submit = !std::exchange(queued_, true);
    }
    if (submit) writer_.submit([this] { writePending(); });
    return {};
}

void CoalescingPreferencesStore::writePending() {
    for (;;) {
        std::map<std::string, std::vector<std::uint8_t>> batch;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                queued_ = false;
                idle_.notify_all();
                return;
            }
            batch.swap(pending_);
        }
        for (const auto& [key, bytes] : batch) {
            std::string error = inner_.setData(key, bytes);
            std::lock_guard lock(mutex_);
            if (!error.empty() && error != lastError_)
                log_.write("Tavel: settings could not be stored: " + error);
            lastError_ = error;
        }
    }
}

void CoalescingPreferencesStore::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !queued_; });
}

}  // namespace tavel
