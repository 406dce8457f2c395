// The pure rules behind X11 screens (RandR monitors, Xft.dpi) and the DPMS sleep state.

#include <gtest/gtest.h>  // first: Xlib's None macro breaks gtest's type lists

#include "platform/x11/randr_screens.h"
#include "platform/x11/x11_display_sleep.h"

#include <X11/extensions/dpmsconst.h>

#include <string>
#include <utility>
#include <vector>

namespace tavel {
namespace {

TEST(ScreenRecordsFor, PutsTheFirstPrimaryFirstAndGivesFramesInPoints) {
    // Of several primaries only the first moves (the server may flag more than one).
    std::vector<MonitorGeometry> monitors = {{"HDMI-1", false, 0, 0, 10, 10},
                                             {"DP-1", true, 10, 0, 10, 10},
                                             {"DP-2", false, 20, 0, 10, 10},
                                             {"DP-3", true, 30, 0, 10, 10}};
    std::vector<std::string> names;
    for (const auto& screen : screenRecordsFor(monitors, 1.0)) names.push_back(screen.name);
    EXPECT_EQ(names, (std::vector<std::string>{"DP-1", "HDMI-1", "DP-2", "DP-3"}));

    EXPECT_EQ(
        screenRecordsFor({{"DP-1", true, -3840, 200, 3840, 2160}, {"", false, 0, 0, 8, 6}}, 2.0),
        (std::vector<ScreenRecord>{
            {displayNumberForMonitorName("DP-1"), "DP-1", {-1920, 100, 1920, 1080}, 2.0},
            {std::nullopt, "", {0, 0, 4, 3}, 2.0}}));
}

TEST(ScaleFromResources, IsXftDpiOver96OrOne) {
    const std::pair<const char*, double> cases[] = {
        {"Xcursor.size: 24\nXft.dpi: 144\nXft.antialias: 1\n", 1.5},
        {"Xft.dpi: 120.0\n", 1.25},
        {"Xcursor.size: 24\n", 1.0},
        {"Xft.dpi: inf\n", 1.0},
    };
    for (auto [text, scale] : cases) EXPECT_EQ(scaleFromResources(text), scale) << text;
}

TEST(DisplaySleep, AnyLevelButOnCountsWhileDpmsIsEnabledAndOnlyChangesAreReported) {
    // Disabled DPMS keeps the screens on whatever level the server last reported.
    EXPECT_FALSE(displaysAsleep(false, DPMSModeOff));
    EXPECT_FALSE(displaysAsleep(true, DPMSModeOn));
    EXPECT_TRUE(displaysAsleep(true, DPMSModeStandby));

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
