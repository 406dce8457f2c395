#include "platform/coalescing_preferences_store.h"

#include "support/fakes.h"
#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavel {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(CoalescingPreferencesStore, WritesOnlyTheNewestValueInTheBackground) {
    test::MemoryPreferencesStore inner;
    test::ManualExecutor writer;
    MemoryLogSink log;
    CoalescingPreferencesStore store(inner, writer, log);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(store.setData("key", bytes(std::to_string(i))), "");
    EXPECT_EQ(inner.writes, 0);                 // nothing on the caller's thread
    EXPECT_EQ(store.data("key"), bytes("99"));  // but reads see it at once
    EXPECT_EQ(writer.pending(), 1u);            // one job for the whole burst
    writer.runAll();
    EXPECT_EQ(inner.writes, 1);
    EXPECT_EQ(inner.text("key"), "99");
    store.setData("key", bytes("100"));
    store.setData("other", bytes("x"));
    writer.runAll();
    EXPECT_EQ(inner.writes, 3);
    EXPECT_EQ(inner.text("key"), "100");
    EXPECT_EQ(inner.text("other"), "x");
}

TEST(CoalescingPreferencesStore, RejectsBadKeysAtOnceAndLogsFailedWritesOnce) {
    test::MemoryPreferencesStore inner;
    test::ManualExecutor writer;
    MemoryLogSink log;
    CoalescingPreferencesStore store(inner, writer, log);
    EXPECT_NE(store.setData("../x", bytes("v")), "");
    inner.failWith = "no space left on device";
    store.setData("key", bytes("a"));
    writer.runAll();
    store.setData("key", bytes("b"));
    writer.runAll();
    EXPECT_EQ(
        log.lines(),
        (std::vector<std::string>{"Tavel: settings could not be stored: no space left on device"}));
    EXPECT_FALSE(inner.data("key"));
}

TEST(CoalescingPreferencesStore, FlushWaitsForAWriterOnAnotherThread) {
    test::MemoryPreferencesStore inner;
    test::ManualExecutor writer;
    MemoryLogSink log;
    CoalescingPreferencesStore store(inner, writer, log);
    store.setData("key", bytes("last"));
    std::thread background([&] { writer.runAll(); });
    store.flush();
    EXPECT_EQ(inner.text("key"), "last");
    background.join();
}

}  // namespace
}  // namespace tavel
