// System sleep from a fake logind on a private bus, and the merge of sleep sources.

#include "bus_test.h"
#include "platform/dbus/logind_sleep.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tavel::test {
namespace {

constexpr const char* kLogindName = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";

// Emits PrepareForSleep from the manager object; owns logind's name unless told not to.
class FakeLogind {
public:
    FakeLogind(std::unique_ptr<BusConnection> bus, bool ownName) : bus_(std::move(bus)) {
        object_ = sdbus::createObject(bus_->connection(), kManagerPath);
        object_->registerSignal("PrepareForSleep")
            .onInterface(kManagerInterface)
            .withParameters<bool>("start");
        object_->finishRegistration();
        if (ownName) bus_->connection().requestName(kLogindName);
        bus_->wake();
    }
    void prepareForSleep(bool start) {
        object_->emitSignal("PrepareForSleep").onInterface(kManagerInterface).withArguments(start);
        bus_->wake();
    }
    BusConnection& bus() { return *bus_; }

private:
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<sdbus::IObject> object_;
};

class LogindSleepTest : public BusTest {
protected:
    void startSource() {
        bus_ = open();
        source_ = std::make_unique<LogindSleepSource>(*bus_);
        source_->setHandlers(
            [this] {
                events_ += "sleep ";
                handlerThread_ = std::this_thread::get_id();
            },
            [this] { events_ += "wake "; });
    }

    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<LogindSleepSource> source_;
    std::string events_;
    std::thread::id handlerThread_;
};

TEST_F(LogindSleepTest, PrepareForSleepBecomesSleepAndWake) {
    FakeLogind logind(open(), true);
    startSource();

    logind.prepareForSleep(true);
    ASSERT_TRUE(runUntil([&] { return events_ == "sleep "; })) << events_;
    EXPECT_EQ(handlerThread_, std::this_thread::get_id());
    logind.prepareForSleep(false);
    ASSERT_TRUE(runUntil([&] { return events_ == "sleep wake "; })) << events_;
}

TEST_F(LogindSleepTest, LogindStartingAfterTheSourceIsHeard) {
    startSource();  // no logind on the bus: nothing happens, nothing fails
    FakeLogind logind(open(), true);
    logind.prepareForSleep(true);
    EXPECT_TRUE(runUntil([&] { return events_ == "sleep "; })) << events_;
}

TEST_F(LogindSleepTest, OnlyLogindsNameOwnerIsHeard) {
    FakeLogind logind(open(), true);
    FakeLogind impostor(open(), false);
    startSource();

    impostor.prepareForSleep(true);
    roundTrip(impostor.bus());  // routed before logind's signal below
    logind.prepareForSleep(false);
    ASSERT_TRUE(runUntil([&] { return !events_.empty(); }));
    EXPECT_EQ(events_, "wake ");
}

TEST_F(LogindSleepTest, HandlersCanBeRemoved) {
    FakeLogind logind(open(), true);
    startSource();
    source_->setHandlers({}, {});
    logind.prepareForSleep(true);
    roundTrip(logind.bus());
    // A second subscriber shows when the signal has been delivered.
    LogindSleepSource witness(*bus_);
    bool delivered = false;
    witness.setHandlers({}, [&] { delivered = true; });
    logind.prepareForSleep(false);
    ASSERT_TRUE(runUntil([&] { return delivered; }));
    EXPECT_EQ(events_, "");
}

// A source the test drives by hand.
class ManualSleepSource final : public DisplaySleepSource {
public:
    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override {
        didSleep_ = std::move(didSleep);
        didWake_ = std::move(didWake);
    }
    void sleep() {
        if (didSleep_) didSleep_();
    }
    void wake() {
        if (didWake_) didWake_();
    }
    bool hasHandlers() const { return didSleep_ && didWake_; }

private:
    std::function<void()> didSleep_;
    std::function<void()> didWake_;
};

class CombinedSleepSourceTest : public ::testing::Test {
protected:
    CombinedSleepSourceTest() {
        auto a = std::make_unique<ManualSleepSource>();
        auto b = std::make_unique<ManualSleepSource>();
        a_ = a.get();
        b_ = b.get();
        std::vector<std::unique_ptr<DisplaySleepSource>> sources;
        sources.push_back(std::move(a));
        sources.push_back(std::move(b));
        combined_ = std::make_unique<CombinedSleepSource>(std::move(sources));
        combined_->setHandlers([this] { events_ += "sleep "; }, [this] { events_ += "wake "; });
    }

    ManualSleepSource* a_;
    ManualSleepSource* b_;
    std::unique_ptr<CombinedSleepSource> combined_;
    std::string events_;
};

TEST_F(CombinedSleepSourceTest, AsleepWhileAnySourceSleeps) {
    EXPECT_FALSE(combined_->asleep());
    a_->sleep();
    EXPECT_EQ(events_, "sleep ");
    EXPECT_TRUE(combined_->asleep());
    b_->sleep();
    a_->wake();
    EXPECT_EQ(events_, "sleep ");
    EXPECT_TRUE(combined_->asleep());
    b_->wake();
    EXPECT_EQ(events_, "sleep wake ");
    EXPECT_FALSE(combined_->asleep());
}

TEST_F(CombinedSleepSourceTest, RepeatsAndWakesWithoutSleepChangeNothing) {
    a_->wake();
    EXPECT_EQ(events_, "");
    a_->sleep();
    a_->sleep();
    EXPECT_EQ(events_, "sleep ");
    b_->wake();  // b never slept: a still does
    EXPECT_TRUE(combined_->asleep());
    a_->wake();
    a_->wake();
    EXPECT_EQ(events_, "sleep wake ");
    b_->sleep();
    EXPECT_EQ(events_, "sleep wake sleep ");
}

TEST_F(CombinedSleepSourceTest, HandlersMayReplaceThemselves) {
    int sleeps = 0;
    combined_->setHandlers(
        [&] {
            ++sleeps;
            combined_->setHandlers({}, {});
        },
        {});
    a_->sleep();
    a_->wake();
    b_->sleep();
    EXPECT_EQ(sleeps, 1);
    EXPECT_TRUE(combined_->asleep());
}

// Notes at its destruction whether its handlers were still installed.
class RecordingSleepSource final : public DisplaySleepSource {
public:
    explicit RecordingSleepSource(bool& handlersLeftAtEnd)
        : handlersLeftAtEnd_(handlersLeftAtEnd) {}
    ~RecordingSleepSource() override { handlersLeftAtEnd_ = didSleep_ || didWake_; }
    void setHandlers(std::function<void()> didSleep, std::function<void()> didWake) override {
        didSleep_ = std::move(didSleep);
        didWake_ = std::move(didWake);
    }

private:
    bool& handlersLeftAtEnd_;
    std::function<void()> didSleep_;
    std::function<void()> didWake_;
};

TEST(CombinedSleepSourceEnd, RemovesItsHandlersBeforeItsSourcesGo) {
    bool handlersLeftAtEnd = true;
    {
        std::vector<std::unique_ptr<DisplaySleepSource>> sources;
        sources.push_back(std::make_unique<RecordingSleepSource>(handlersLeftAtEnd));
        CombinedSleepSource combined(std::move(sources));
        handlersLeftAtEnd = false;
    }
    EXPECT_FALSE(handlersLeftAtEnd);
}

}  // namespace
}  // namespace tavel::test
