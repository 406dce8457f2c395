// Display sleep from DPMS: the rules on readings, and the source on Xvfb, which has no
// DPMS extension and must therefore stay silent.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/x11/x11_display_sleep.h"
#include "x11_loop_fixture.h"

#include <X11/extensions/dpmsconst.h>

#include <chrono>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;

TEST(DisplaysAsleep, AnyLevelButOnCountsWhileDpmsIsEnabled) {
    EXPECT_FALSE(displaysAsleep(true, DPMSModeOn));
    EXPECT_TRUE(displaysAsleep(true, DPMSModeStandby));
    EXPECT_TRUE(displaysAsleep(true, DPMSModeSuspend));
    EXPECT_TRUE(displaysAsleep(true, DPMSModeOff));
    // Disabled DPMS keeps the screens on whatever level the server last reported.
    EXPECT_FALSE(displaysAsleep(false, DPMSModeOff));
}

TEST(SleepTracker, ReportsOnlyChangesAfterTheFirstReading) {
    SleepTracker tracker;
    std::vector<SleepChange> changes;
    for (bool asleep : {true, true, false, false, true, false})
        changes.push_back(tracker.update(asleep));
    EXPECT_EQ(changes,
              (std::vector<SleepChange>{SleepChange::none, SleepChange::none, SleepChange::woke,
                                        SleepChange::none, SleepChange::slept, SleepChange::woke}));
    tracker.reset();
    EXPECT_EQ(tracker.update(true), SleepChange::none);
    EXPECT_EQ(tracker.update(false), SleepChange::woke);
}

class DpmsSleepSourceTest : public test::X11LoopTest {};

TEST_F(DpmsSleepSourceTest, OnAServerWithoutDpmsReportsNothing) {
    DpmsSleepSource source(*connection, loop, 20ms);
    EXPECT_FALSE(source.available());
    int reports = 0;
    source.setHandlers([&] { ++reports; }, [&] { ++reports; });
    loop.runFor(200ms);
    EXPECT_EQ(reports, 0);
    source.setHandlers({}, {});
}

}  // namespace
}  // namespace tavel
