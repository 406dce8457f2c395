#include "platform/coalescing_preferences_store.h"

#include <exception>
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
        for (const Values* values : {&pending_, &inFlight_, &unwritten_})
            if (auto it = values->find(key); it != values->end()) return it->second;
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
        {
            std::lock_guard lock(mutex_);
            // Values that failed before are tried again, unless a newer one replaces them.
            pending_.merge(unwritten_);
            unwritten_.clear();
            if (pending_.empty()) {
                queued_ = false;
                idle_.notify_all();
                return;
            }
            inFlight_.swap(pending_);
        }
        for (const auto& [key, bytes] : inFlight_) {
            std::string error;
            try {
                error = inner_.setData(key, bytes);
            } catch (const std::exception& failure) {
                error = failure.what();
            } catch (...) {
                error = "unknown failure";
            }
            std::lock_guard lock(mutex_);
            if (!error.empty() && !pending_.count(key)) unwritten_[key] = bytes;
            if (!error.empty() && error != lastError_)
                log_.write("Tavel: settings could not be stored: " + error);
            lastError_ = error;
        }
        std::lock_guard lock(mutex_);
        inFlight_.clear();
        // A round that failed everything waits for the next change before trying again.
        if (pending_.empty()) {
            queued_ = false;
            idle_.notify_all();
            return;
        }
    }
}

void CoalescingPreferencesStore::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !queued_; });
}

bool CoalescingPreferencesStore::flush(Duration limit) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, limit, [this] { return !queued_; });
}

}  // namespace tavel
