// The settings writer on the manual clock, over an inner store whose writes can fail.

#include "platform/debounced_preferences_store.h"

#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace tavel {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class InnerStore final : public PreferencesStore {
public:
    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override {
        auto it = values.find(std::string(key));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    Result<void> setData(std::string_view key, std::span<const std::uint8_t> value) override {
        if (throwing) throw std::runtime_error("disk on fire");
        if (!failWith.empty()) return Failure{failWith};
        values[std::string(key)].assign(value.begin(), value.end());
        return {};
    }
    std::string describe(std::string_view key) const override { return std::string(key); }

    std::map<std::string, std::vector<std::uint8_t>> values;
    std::string failWith;
    bool throwing = false;
};

// Storing at all, and at exit: the real desktop test's settings file.
TEST(DebouncedStore, AFailedValueStaysReadableIsLoggedOnceAndIsWrittenLater) {
    InnerStore inner;
    test::ManualScheduler clock;
    MemoryLogSink log;
    DebouncedPreferencesStore store{inner, clock, log};
    for (bool throwing : {false, true}) {
        SCOPED_TRACE(throwing ? "throwing" : "failing");
        inner.throwing = throwing;
        inner.failWith = throwing ? "" : "no space left on device";
        EXPECT_TRUE(store.setData("key", bytes("a")));
        clock.advance(DebouncedPreferencesStore::kDelay);
        EXPECT_TRUE(store.setData("key", bytes("b")));
        clock.advance(DebouncedPreferencesStore::kDelay);
        EXPECT_EQ(store.data("key"), bytes("b"));
        inner.throwing = false;
        inner.failWith.clear();
        EXPECT_TRUE(store.setData("other", bytes("x")));  // the next change writes it too
        clock.advance(DebouncedPreferencesStore::kDelay);
        EXPECT_EQ(inner.data("key"), bytes("b"));
        inner.values.clear();
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Tavel: settings could not be stored: no space left on device",
                               "Tavel: settings could not be stored: disk on fire"}));
}

}  // namespace
}  // namespace tavel
