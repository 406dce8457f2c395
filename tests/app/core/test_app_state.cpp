// Creation, start, windows, applying, choosing effects and the settings reaction.

#include "support/app_state_fixture.h"

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::AppStateTest;
using test::screen;

TEST_F(AppStateTest, CreationLoadsSettingsAndStartsNothing) {
    storeSettings(R"({"globalShaderID":"dome","fps":24})");
    AppState& s = make(false);
    EXPECT_EQ(s.settings().globalShaderID, "dome");
    EXPECT_EQ(s.settings().fps, 24);
    EXPECT_EQ(windows.made.size(), 0u);
    EXPECT_EQ(store.writes, 0);
    EXPECT_EQ(clock.pendingTimerCount(), 0u);
    EXPECT_EQ(s.selectedDisplayTarget(), "all");
    EXPECT_EQ(s.accent(), (Rgba{0.55f, 0.75f, 1.0f, 1.0f}));
}

TEST_F(AppStateTest, StartBuildsWindowsAppliesAndAsksForStillAndVideo) {
    storeSettings(R"({"globalShaderID":"tiles","syncLockScreen":true})");
    make(false);
    state->start();
    EXPECT_EQ((test::Journal{journal.begin(), journal.begin() + 7}),
              (test::Journal{"front Left", "front Right", "apply Left", "apply Right",
                             "activity begin", "policy regular", "activate"}));
    EXPECT_EQ(journal[journal.size() - 2], "still");
    EXPECT_EQ(journal.back(), "video");
    EXPECT_EQ(integrations.iconRefreshes, 1);
    EXPECT_EQ(state->browseIndex(), 5);  // "tiles"
    ASSERT_EQ(state->displays().size(), 2u);
    EXPECT_EQ(state->displays()[0], (DisplayInfo{"1", "Left"}));
    EXPECT_EQ(view("Right").effectId, "tiles");
    EXPECT_EQ(view("Right").fps, 30);
    EXPECT_EQ(view("Right").qualityScale, 1.0);
    EXPECT_EQ(store.writes, 0);  // the loaded record is not written back

    // The live icons every 2 s, the idle watcher every 3 s.
    clock.advance(6s);
    EXPECT_EQ(integrations.iconRefreshes, 4);
    EXPECT_EQ(integrations.idleTicks, 2);
}

TEST_F(AppStateTest, EveryWriteIsStoredAndAppliedEvenWhenEqual) {
    AppState& s = make();
    s.setSettings(s.settings());
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(stored(), AppSettings{});
    EXPECT_EQ(journal, (test::Journal{"store marlowen.settings.v2", "apply Left", "apply Right"}));

    s.updateSettings([](AppSettings& x) {
        x.fps = 60;
        x.retinaQuality = false;
    });
    EXPECT_EQ(store.writes, 2);
    EXPECT_EQ(stored().fps, 60);
    EXPECT_EQ(view("Left").fps, 60);
    EXPECT_EQ(view("Left").qualityScale, 0.5);
}

TEST_F(AppStateTest, ObserversHearOfAWriteBeforeItHappens) {
    AppState& s = make();
    std::vector<std::string> seen;
    int id = s.addObserver([&](AppState::Property p) {
        if (p == AppState::Property::settings) seen.push_back(s.settings().globalShaderID);
    });
    s.updateSettings([](AppSettings& x) { x.globalShaderID = "vortex"; });
    s.updateSettings([](AppSettings& x) { x.globalShaderID = "orbits"; });
    EXPECT_EQ(seen, (std::vector<std::string>{"halvane", "vortex"}));
    s.removeObserver(id);
    s.togglePaused();
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(AppStateTest, ChoosingForAllDisplaysWritesThreeTimes) {
    storeSettings(R"({"sameOnAllDisplays":false,"perDisplay":{"2":"orbits"}})");
    AppState& s = make();
    std::vector<AppSettings> writes;
    s.addObserver([&](AppState::Property) { writes.push_back(s.settings()); });
    s.setShader("tiles");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(store.writes, 3);
    // Each write persisted: sameOnAllDisplays first, then perDisplay, then the id.
    EXPECT_FALSE(writes[0].sameOnAllDisplays);
    EXPECT_TRUE(writes[1].sameOnAllDisplays);
    EXPECT_FALSE(writes[1].perDisplay.empty());
    EXPECT_TRUE(writes[2].perDisplay.empty());
    EXPECT_EQ(writes[2].globalShaderID, "halvane");
    EXPECT_EQ(stored().globalShaderID, "tiles");
    EXPECT_TRUE(stored().sameOnAllDisplays);
    EXPECT_EQ(view("Left").effectId, "tiles");
    EXPECT_EQ(view("Right").effectId, "tiles");
    // Then the still (sync is on by default) and the video.
    EXPECT_EQ(journal[journal.size() - 2], "still");
    EXPECT_EQ(journal.back(), "video");
}

TEST_F(AppStateTest, ChoosingForOneDisplayWritesTwiceAndKeepsTheGlobalChoice) {
    AppState& s = make();
    s.setSelectedDisplayTarget("2");
    s.setShader("orbits");
    EXPECT_EQ(store.writes, 2);
    EXPECT_FALSE(s.settings().sameOnAllDisplays);
    EXPECT_EQ(s.settings().perDisplay, (std::map<std::string, std::string>{{"2", "orbits"}}));
    EXPECT_EQ(s.settings().globalShaderID, "halvane");
    EXPECT_EQ(view("Right").effectId, "orbits");
    EXPECT_EQ(view("Left").effectId, "halvane");
    EXPECT_EQ(s.activeShaderID(), "orbits");

    // Back to every display: the per-display entry goes again.
    s.setSelectedDisplayTarget("all");
    EXPECT_EQ(s.activeShaderID(), "halvane");  // the global choice, whatever "2" shows
    s.setShader("dome");
    EXPECT_TRUE(s.settings().perDisplay.empty());
    EXPECT_EQ(view("Left").effectId, "dome");
    EXPECT_EQ(view("Right").effectId, "dome");
}

TEST_F(AppStateTest, UnknownStoredIdsShowTheFlagshipButAreKept) {
    storeSettings(
        R"({"globalShaderID":"aurora","sameOnAllDisplays":false,"perDisplay":{"1":"nope"}})");
    AppState& s = make();
    EXPECT_EQ(view("Left").effectId, "halvane");
    EXPECT_EQ(view("Right").effectId, "halvane");
    EXPECT_EQ(s.activeShaderID(), "halvane");
    EXPECT_EQ(s.shaderID("1"), "halvane");
    EXPECT_EQ(s.settings().globalShaderID, "aurora");
    s.updateSettings([](AppSettings& x) { x.fps = 20; });
    EXPECT_EQ(stored().globalShaderID, "aurora");
    EXPECT_EQ(stored().perDisplay.at("1"), "nope");
}

TEST_F(AppStateTest, ParamsAreTheStoredRecordOrTheDefault) {
    storeSettings(R"({"params":{"tiles":{"speed":2,"zoom":1,"intensity":1,"hue":0}}})");
    AppState& s = make();
    EXPECT_EQ(s.params("tiles").speed, 2.0f);
    EXPECT_EQ(s.params("dome"), ShaderParams{});
    EXPECT_EQ(s.params("Tiles"), ShaderParams{});
}

TEST_F(AppStateTest, ScreenChangesAreDeferredAndRebuildEveryWindow) {
    AppState& s = make();
    ASSERT_TRUE(screens.changed);
    screens.list.push_back(screen(3, "Third"));
    screens.changed();
    EXPECT_EQ(s.displays().size(), 2u);  // not before the main queue runs
    clock.runPending();
    EXPECT_EQ(s.displays().size(), 3u);
    EXPECT_EQ(windows.liveCount(), 3);
    EXPECT_EQ(windows.made.size(), 5u);  // a new set every time
    EXPECT_EQ(view("Third").effectId, "halvane");
}

TEST_F(AppStateTest, UnpluggingTheTargetDisplayResetsTheTarget) {
    AppState& s = make();
    s.setSelectedDisplayTarget("2");
    screens.list = {screen(1, "Left"), screen(2, "Right")};
    screens.list.erase(screens.list.begin());  // unplug "1": not the target
    screens.changed();
    clock.runPending();
    EXPECT_EQ(s.selectedDisplayTarget(), "2");
    screens.list = {screen(1, "Left")};  // unplug "2"
    screens.changed();
    clock.runPending();
    EXPECT_EQ(s.selectedDisplayTarget(), "all");
    EXPECT_EQ(windows.liveCount(), 1);
}

TEST_F(AppStateTest, ScreensWithoutNumbersShareKeyZero) {
    screens.list = {ScreenRecord{std::nullopt, "A", {}, 1.0},
                    ScreenRecord{std::nullopt, "B", {}, 1.0}};
    AppState& s = make();
    EXPECT_EQ(s.displays(), (std::vector<DisplayInfo>{{"0", "A"}, {"0", "B"}}));
    EXPECT_EQ(windows.liveCount(), 1);  // one window per distinct key
    EXPECT_NE(s.wallpaperWindow("0"), nullptr);
}

TEST_F(AppStateTest, OneActivityIsHeldExactlyWhileTheViewsRun) {
    AppState& s = make();
    EXPECT_EQ(activity.held, 1u);
    EXPECT_EQ(activity.reasons, (std::vector<std::string>{"Rendering live wallpaper"}));
    s.togglePaused();
    EXPECT_EQ(activity.ended, 1);
    EXPECT_TRUE(view("Left").paused);
    s.updateSettings([](AppSettings& x) { x.paused = true; });  // pausing again
    EXPECT_EQ(activity.ended, 1);
    s.togglePaused();
    EXPECT_EQ(activity.begun, 2);
    EXPECT_FALSE(view("Left").paused);
    s.setSettings(s.settings());
    EXPECT_EQ(activity.begun, 2);
    EXPECT_TRUE(s.holdsActivity());
}

TEST_F(AppStateTest, TheReactionRunsItsStepsInOrder) {
    storeSettings(R"({"syncLockScreen":false,"liveLockVideo":false})");
    AppState& s = make();
    s.updateSettings([](AppSettings& x) {
        x.showDockIcon = false;
        x.syncLockScreen = true;
        x.liveLockVideo = true;
        x.params["tiles"].speed = 3;
    });
    EXPECT_EQ(journal, (test::Journal{"store marlowen.settings.v2", "apply Left", "apply Right",
                                      "policy accessory", "still", "guide", "video forced"}));
    journal.clear();
    clock.advance(2s);
    EXPECT_EQ(journal, (test::Journal{"still"}));
    clock.advance(2s);
    EXPECT_EQ(journal, (test::Journal{"still", "video"}));

    journal.clear();
    s.updateSettings([](AppSettings& x) { x.liveLockVideo = false; });
    EXPECT_EQ(journal.back(), "restore aerial");
    s.updateSettings([](AppSettings& x) { x.liveLockVideo = true; });
    EXPECT_EQ(integrations.guides, 2);  // whether it shows is the guide's own business
    EXPECT_EQ(integrations.forcedVideos, 2);
}

TEST_F(AppStateTest, AHundredSliderStepsStoreAHundredTimesButRenderOnce) {
    storeSettings(R"({"liveLockVideo":true})");
    AppState& s = make();
    auto zoom = s.paramBinding(&ShaderParams::zoom, "halvane");
    for (int i = 0; i < 100; ++i) {
        zoom.set(1.0f + i * 0.01f);
        clock.advance(8ms);  // 120 steps a second
    }
    EXPECT_EQ(store.writes, 100);
    EXPECT_EQ(integrations.stills, 0);
    EXPECT_EQ(integrations.videos, 0);
    // The last step came 8 ms ago: the still is due 2 s after it.
    clock.advance(1991ms);
    EXPECT_EQ(integrations.stills, 0);
    clock.advance(1ms);
    EXPECT_EQ(integrations.stills, 1);
    clock.advance(2s);
    EXPECT_EQ(integrations.videos, 1);
    clock.advance(1min);
    EXPECT_EQ(integrations.stills, 1);
    EXPECT_EQ(integrations.videos, 1);
    EXPECT_FLOAT_EQ(view("Left").params.zoom, 1.99f);
}

TEST_F(AppStateTest, NoLockScreenWorkForParamsWhileTheSwitchesAreOff) {
    storeSettings(R"({"syncLockScreen":false})");
    AppState& s = make();
    s.paramBinding(&ShaderParams::hue, "halvane").set(90);
    clock.advance(10s);
    EXPECT_EQ(integrations.stills, 0);
    EXPECT_EQ(integrations.videos, 0);
    // An effect change alone does not reach the lock screen through the reaction.
    storeSettings(R"({})");
    AppState& t = make();
    t.updateSettings([](AppSettings& x) { x.globalShaderID = "dome"; });
    clock.advance(10s);
    EXPECT_EQ(integrations.stills, 0);
}

TEST_F(AppStateTest, AFailedStoreIsLoggedOnceAndTheRestStillRuns) {
    AppState& s = make();
    store.failWith = "disk full";
    s.updateSettings([](AppSettings& x) { x.fps = 10; });
    s.updateSettings([](AppSettings& x) { x.fps = 11; });
    EXPECT_EQ(view("Left").fps, 11);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "Tavel: settings could not be stored: disk full");
    store.failWith.clear();
    s.updateSettings([](AppSettings& x) { x.fps = 12; });
    EXPECT_EQ(stored().fps, 12);
}

TEST_F(AppStateTest, NothingRunsForAStateThatIsGone) {
    make();
    auto changed = screens.changed;
    auto powerChanged = power.changed;
    changed();
    powerChanged();
    state.reset();
    EXPECT_FALSE(screens.changed);  // handlers were removed
    clock.advance(1h);              // the deferred work and the timers find nothing
    EXPECT_EQ(windows.liveCount(), 0);
    EXPECT_EQ(activity.ended, 1);
}

}  // namespace
}  // namespace tavel
