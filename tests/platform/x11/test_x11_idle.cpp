// Idle time and input on Xvfb (xdotool, through XTEST as a device would); the DPMS sleep rule.

#include "x11_loop_fixture.h"  // first: gtest before any X11 header

#include "platform/x11/x11_display_sleep.h"
#include "platform/x11/x11_idle.h"

#include <X11/extensions/dpmsconst.h>

#include <chrono>
#include <string>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

// Relative motion back and forth (an absolute move is a warp: it makes no raw events).
std::vector<std::string> moveCommand() {
    static int step = 0;
    ++step;
    return {"xdotool", "mousemove_relative", "--", step % 2 ? "7" : "-7", "5"};
}

using X11InputTest = test::X11LoopTest;

// Each kind of input resets the idle time and reaches the monitor's latest callback; once
// stopped, nothing more (a second watcher tells when our events would have come).
TEST_F(X11InputTest, InputResetsTheIdleTimeAndReachesTheMonitorUntilStopped) {
    ScreenSaverIdleTime idle(*connection);
    XInputMonitor monitor(*connection);
    ASSERT_TRUE(idle.available() && monitor.available());
    int replaced = 0, inputs = 0;
    monitor.start([&] { ++replaced; });
    monitor.start([&] { ++inputs; });
    const std::vector<std::string> cases[] = {moveCommand(),
                                              {"xdotool", "key", "shift"},
                                              {"xdotool", "click", "1"},
                                              {"xdotool", "click", "3"},
                                              {"xdotool", "click", "5"}};  // the wheel
    for (const auto& command : cases) {
        SCOPED_TRACE(command[1] + command.back());
        inputs = 0;
        ASSERT_TRUE(runUntil(loop, [&] { return idle.idleSeconds() >= 0.25; }));
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(xvfb.run(command), 0);
        double after = idle.idleSeconds();
        std::chrono::duration<double> since = std::chrono::steady_clock::now() - start;
        EXPECT_LE(after, since.count() + 0.05);
        EXPECT_TRUE(runUntil(loop, [&] { return inputs > 0; }));
    }
    EXPECT_EQ(replaced, 0);

    auto witnessConnection = X11Connection::open(loop.context());
    ASSERT_NE(witnessConnection, nullptr);
    XInputMonitor witness(*witnessConnection);
    int witnessed = inputs = 0;
    witness.start([&] { ++witnessed; });
    monitor.start([&] {
        ++inputs;
        monitor.stop();
    });
    // Three events at once, the later two queued behind the first; then one more.
    ASSERT_EQ(xvfb.run({"xdotool", "key", "shift", "key", "shift", "click", "1"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return witnessed >= 3; }));
    ASSERT_EQ(xvfb.run(moveCommand()), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return witnessed >= 4; }));
    ASSERT_TRUE(settle());
    EXPECT_EQ(inputs, 1);
}

TEST(DisplaySleep, AnyLevelButOnCountsWhileDpmsIsEnabledAndOnlyChangesAreReported) {
    // Disabled DPMS keeps the screens on whatever level the server last reported.
    EXPECT_FALSE(displaysAsleep(false, DPMSModeOff));
    EXPECT_FALSE(displaysAsleep(true, DPMSModeOn));
    for (int level : {DPMSModeStandby, DPMSModeSuspend, DPMSModeOff})
        EXPECT_TRUE(displaysAsleep(true, level)) << level;

    // The first reading, also after a reset, is only the baseline.
    SleepTracker tracker;
    std::vector<SleepChange> changes;
    for (bool asleep : {true, true, false, false, true, false})
        changes.push_back(tracker.update(asleep));
    tracker.reset();
    for (bool asleep : {true, false}) changes.push_back(tracker.update(asleep));
    using enum SleepChange;
    EXPECT_EQ(changes, (std::vector<SleepChange>{none, none, woke, none, slept, woke, none, woke}));
}

}  // namespace
}  // namespace tavel
