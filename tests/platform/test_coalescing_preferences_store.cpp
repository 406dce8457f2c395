// The background settings writer: newest value only, reads always current, failures
// retried and logged once, flush() bounded and never stuck.

#include "platform/coalescing_preferences_store.h"

#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <stdexcept>
#include <thread>

namespace tavel {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// An inner store whose writes can fail, throw, or wait until the test lets them finish.
class InnerStore final : public PreferencesStore {
public:
    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override {
        std::lock_guard lock(mutex);
        auto it = values.find(std::string(key));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    std::string setData(std::string_view key, std::span<const std::uint8_t> value) override {
        if (entered) entered->set_value();
        if (release) release->get();
        std::lock_guard lock(mutex);
        ++writes;
        if (throwing) throw std::runtime_error("disk on fire");
        if (!failWith.empty()) return failWith;
        values[std::string(key)].assign(value.begin(), value.end());
        return {};
    }
    std::string describe(std::string_view key) const override { return std::string(key); }

    mutable std::mutex mutex;
    std::map<std::string, std::vector<std::uint8_t>> values;
    int writes = 0;
    std::string failWith;
    bool throwing = false;
    std::promise<void>* entered = nullptr;        // set when a write begins
    std::shared_future<void>* release = nullptr;  // a write waits for it
};

class CoalescingStoreTest : public ::testing::Test {
protected:
    InnerStore inner;
    test::ManualExecutor writer;
    MemoryLogSink log;
    CoalescingPreferencesStore store{inner, writer, log};
};

TEST_F(CoalescingStoreTest, WritesOnlyTheNewestValueInTheBackground) {
    for (int i = 0; i < 100; ++i) EXPECT_EQ(store.setData("key", bytes(std::to_string(i))), "");
    EXPECT_EQ(inner.writes, 0);                 // nothing on the caller's thread
    EXPECT_EQ(store.data("key"), bytes("99"));  // but reads see it at once
    EXPECT_EQ(writer.pending(), 1u);            // one job for the whole burst
    writer.runAll();
    EXPECT_EQ(inner.writes, 1);
    EXPECT_EQ(inner.data("key"), bytes("99"));
    EXPECT_NE(store.setData("../x", bytes("v")), "");  // a bad key fails at once
}

TEST_F(CoalescingStoreTest, ReadsSeeTheNewestValueWhileItIsBeingWritten) {
    inner.values["key"] = bytes("old");
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    inner.entered = &entered;
    inner.release = &released;
    store.setData("key", bytes("new"));
    std::thread background([&] { writer.runAll(); });
    entered.get_future().wait();
    EXPECT_EQ(store.data("key"), bytes("new"));
    EXPECT_FALSE(store.flush(std::chrono::milliseconds(1)));  // bounded while it is stuck
    release.set_value();
    store.flush();
    background.join();
    EXPECT_EQ(inner.data("key"), bytes("new"));
}

TEST_F(CoalescingStoreTest, AFailedValueStaysReadableIsLoggedOnceAndIsWrittenLater) {
    for (bool throwing : {false, true}) {
        SCOPED_TRACE(throwing ? "throwing" : "failing");
        inner.throwing = throwing;
        inner.failWith = throwing ? "" : "no space left on device";
        store.setData("key", bytes("a"));
        store.setData("key", bytes("b"));
        writer.runAll();
        store.flush();  // returns after a failure or an exception
        EXPECT_EQ(store.data("key"), bytes("b"));
        inner.throwing = false;
        inner.failWith.clear();
        store.setData("other", bytes("x"));  // the next round tries again
        writer.runAll();
        EXPECT_EQ(inner.data("key"), bytes("b"));
        inner.values.clear();
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Tavel: settings could not be stored: no space left on device",
                               "Tavel: settings could not be stored: disk on fire"}));
}

}  // namespace
}  // namespace tavel
