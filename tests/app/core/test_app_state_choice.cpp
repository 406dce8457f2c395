// Shuffle, browsing, pausing, power-saving mode, display sleep and the dock icon.

#include "support/app_state_fixture.h"

#include <cmath>
#include <random>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::AppStateTest;

TEST_F(AppStateTest, NoShuffleTimerForPeriodsBelowOneMinute) {
    for (int minutes : {0, -3}) {
        storeSettings(R"({"shuffleMinutes":)" + std::to_string(minutes) + "}");
        AppState& s = make();
        EXPECT_FALSE(s.shuffleScheduled());
        clock.advance(24h);
        EXPECT_EQ(s.settings().globalShaderID, "halvane");
    }
}

TEST_F(AppStateTest, ShufflesEveryPeriodAndRestartsOnlyWhenThePeriodChanges) {
    storeSettings(R"({"shuffleMinutes":5})");
    AppState& s = make();
    auto shuffles = [&] { return store.writes / 3; };  // three writes per shuffle
    clock.advance(3min);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 5; });  // same value: no restart
    int base = store.writes;
    clock.advance(2min);  // t = 5 min
    EXPECT_EQ(store.writes - base, 3);
    clock.advance(1min);  // t = 6 min: change to 10
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 10; });
    base = store.writes;
    clock.advance(9min + 59s);
    EXPECT_EQ(store.writes, base);
    clock.advance(1s);  // t = 16 min
    EXPECT_EQ(store.writes - base, 3);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 0; });
    EXPECT_FALSE(s.shuffleScheduled());
    (void)shuffles;
}

TEST_F(AppStateTest, ShuffleNeverPicksTheGlobalEffectAndIsUniformOverTheRest) {
    std::mt19937 engine(20261206);
    randomIndex = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
    };
    AppState& s = make();
    std::map<std::string, int> picks;
    constexpr int kDraws = 7500;
    for (int i = 0; i < kDraws; ++i) {
        s.updateSettings([](AppSettings& x) { x.globalShaderID = "halvane"; });
        s.shuffleNow();
        ++picks[s.settings().globalShaderID];
    }
    EXPECT_EQ(picks.count("halvane"), 0u);
    ASSERT_EQ(picks.size(), 15u);
    // Chi-square against uniform with 14 degrees of freedom; 36.1 is the 0.1% point.
    double expected = kDraws / 15.0, chi2 = 0;
    for (auto& [id, n] : picks) chi2 += (n - expected) * (n - expected) / expected;
    EXPECT_LT(chi2, 36.1);
}

TEST_F(AppStateTest, ShuffleUsesTheWholeIndexRangeOfTheCandidates) {
    std::vector<std::size_t> asked;
    randomIndex = [&](std::size_t n) {
        asked.push_back(n);
        return n - 1;  // the last candidate
    };
    AppState& s = make();
    s.shuffleNow();
    EXPECT_EQ(s.settings().globalShaderID, "gridtunnel");
    s.updateSettings([](AppSettings& x) { x.globalShaderID = "no-such-effect"; });
    s.shuffleNow();
    EXPECT_EQ(asked, (std::vector<std::size_t>{15, 16}));  // unknown id: all sixteen
}

TEST_F(AppStateTest, ShuffleEndsPerDisplayChoicesButKeepsTargetAndCursor) {
    storeSettings(R"({"sameOnAllDisplays":false,"perDisplay":{"1":"dome","2":"tiles"}})");
    randomIndex = [](std::size_t) { return 2; };  // "filament" (halvane left out)
    AppState& s = make();
    s.setSelectedDisplayTarget("2");
    s.setBrowseIndex(9);
    int before = store.writes;
    s.shuffleNow();
    EXPECT_EQ(store.writes - before, 3);
    EXPECT_TRUE(s.settings().sameOnAllDisplays);
    EXPECT_TRUE(s.settings().perDisplay.empty());
    EXPECT_EQ(view("Left").effectId, "filament");
    EXPECT_EQ(view("Right").effectId, "filament");
    EXPECT_EQ(s.selectedDisplayTarget(), "2");
    EXPECT_EQ(s.browseIndex(), 9);
    EXPECT_EQ(integrations.stills, 1);
    EXPECT_EQ(integrations.videos, 1);
}

TEST_F(AppStateTest, BrowseWrapsAndTheBrowsedEffectClamps) {
    AppState& s = make();
    s.setBrowseIndex(0);
    s.browse(-1);
    EXPECT_EQ(s.browseIndex(), 15);
    s.browse(1);
    EXPECT_EQ(s.browseIndex(), 0);
    s.browse(33);
    EXPECT_EQ(s.browseIndex(), 1);
    s.browse(-35);
    EXPECT_EQ(s.browseIndex(), 14);
    s.browse(std::numeric_limits<std::int64_t>::max());
    EXPECT_GE(s.browseIndex(), 0);
    EXPECT_LT(s.browseIndex(), 16);

    s.setBrowseIndex(99);
    EXPECT_EQ(s.browsedEffect().id, "gridtunnel");
    s.setBrowseIndex(-4);
    EXPECT_EQ(s.browsedEffect().id, "halvane");
}

TEST_F(AppStateTest, ApplyBrowsedGoesToTheTargetAndSyncFollowsTheActiveEffect) {
    AppState& s = make();
    s.setSelectedDisplayTarget("1");
    s.setBrowseIndex(11);  // "orbits"
    s.applyBrowsed();
    EXPECT_EQ(view("Left").effectId, "orbits");
    EXPECT_EQ(view("Right").effectId, "halvane");
    s.setBrowseIndex(0);
    s.syncBrowseToActive();
    EXPECT_EQ(s.browseIndex(), 11);
}

TEST_F(AppStateTest, TogglingPauseTwiceRestoresAndStoresTwice) {
    AppState& s = make();
    s.togglePaused();
    EXPECT_TRUE(stored().paused);
    s.togglePaused();
    EXPECT_FALSE(stored().paused);
    EXPECT_EQ(store.writes, 2);
    EXPECT_FALSE(view("Right").paused);
}

TEST_F(AppStateTest, PauseDecisionOverEveryCombination) {
    for (int bits = 0; bits < 16; ++bits) {
        const bool paused = bits & 1, rule = bits & 2, low = bits & 4, asleep = bits & 8;
        SCOPED_TRACE(::testing::Message() << "paused " << paused << " pauseOnLowPower " << rule
                                          << " low " << low << " asleep " << asleep);
        power.low = low;
        storeSettings(std::string(R"({"paused":)") + (paused ? "true" : "false") +
                      R"(,"pauseOnLowPower":)" + (rule ? "true" : "false") + "}");
        AppState& s = make();
        if (asleep) {
            sleep.sleep();
            clock.runPending();
        }
        const bool expected = paused || (rule && low) || asleep;
        EXPECT_EQ(view("Left").paused, expected);
        EXPECT_EQ(view("Right").paused, expected);
        EXPECT_EQ(s.viewsPaused(), expected);
        EXPECT_EQ(activity.held != 0, !expected);
    }
}

TEST_F(AppStateTest, PowerSavingModePausesOnlyWhenAskedAndIsDeferred) {
    AppState& s = make();
    power.low = true;
    power.changed();
    EXPECT_FALSE(view("Left").paused);  // deferred to the main queue
    clock.runPending();
    EXPECT_TRUE(view("Left").paused);
    EXPECT_TRUE(s.lowPowerActive());
    power.low = false;
    power.changed();
    clock.runPending();
    EXPECT_FALSE(view("Left").paused);

    s.updateSettings([](AppSettings& x) { x.pauseOnLowPower = false; });
    power.low = true;
    power.changed();
    clock.runPending();
    EXPECT_FALSE(view("Left").paused);
}

TEST_F(AppStateTest, SleepPausesEvenUnpausedViewsAndWakeResumesOnlyWhenNothingElseHolds) {
    AppState& s = make();
    sleep.sleep();
    clock.runPending();
    EXPECT_TRUE(view("Left").paused);
    EXPECT_TRUE(s.displayAsleep());
    EXPECT_EQ(integrations.sleepChanges, (std::vector<bool>{true}));
    s.togglePaused();
    sleep.wake();
    clock.runPending();
    EXPECT_TRUE(view("Left").paused);  // the user's pause still holds
    EXPECT_EQ(integrations.sleepChanges, (std::vector<bool>{true, false}));
    s.togglePaused();
    EXPECT_FALSE(view("Left").paused);
}

TEST_F(AppStateTest, TheDockIconSettingSetsThePolicy) {
    AppState& s = make();
    s.updateSettings([](AppSettings& x) { x.showDockIcon = false; });
    EXPECT_EQ(activation.policy, ActivationPolicy::accessory);
    int activations = activation.activations;
    s.updateSettings([](AppSettings& x) { x.showDockIcon = true; });
    EXPECT_EQ(activation.policy, ActivationPolicy::regular);
    EXPECT_EQ(activation.activations, activations + 1);
    s.updateSettings([](AppSettings& x) { x.fps = 25; });  // unchanged switch: no call
    EXPECT_EQ(activation.activations, activations + 1);
}

}  // namespace
}  // namespace tavel
