// Start, windows, the settings reaction, persisting, the pause and the lock-screen timers.

#include "support/app_state_fixture.h"

#include <cmath>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::AppStateTest;
using test::Journal;
using test::screen;

TEST_F(AppStateTest, CreationOnlyLoadsAndStartRunsItsStepsOnce) {
    storeSettings(R"({"globalShaderID":"tiles","fps":24,"perDisplay":{"2":"dome"}})");
    AppState& s = make(false);
    EXPECT_EQ(s.settings().fps, 24);
    EXPECT_TRUE(screens.made.empty() && clock.pendingTimerCount() == 0 && !screens.changed);
    s.start();
    s.start();
    EXPECT_EQ(journal, (Journal{"front Left", "front Right", "apply Left", "apply Right",
                                "begin Rendering live wallpaper", "screens changed", "regular",
                                "activate", "still", "video"}));
    EXPECT_EQ(s.displays(), (std::vector<DisplayInfo>{{"1", "Left"}, {"2", "Right"}}));
    EXPECT_EQ(s.selectedDisplayTarget(), kAllDisplays);
    EXPECT_EQ(s.browseIndex(), 5);      // "tiles"
    EXPECT_EQ(shown(), "tiles tiles");  // the same on all displays
    EXPECT_EQ(store.writes, 0);         // the loaded record is not written back
    EXPECT_EQ(desktop.iconRefreshes, 1);
    clock.advance(6s);  // the live icons every 2 s, the idle watcher every 3 s
    EXPECT_EQ(desktop.iconRefreshes, 4);
    EXPECT_EQ(desktop.idleTicks, 2);
}

TEST_F(AppStateTest, EachChangeRunsItsStepsInOrderAndTheActivityFollowsThePause) {
    AppState& s = makeWith(R"({"syncLockScreen":false})");
    auto update = [&s](void (*change)(AppSettings&)) {
        return [&s, change] { s.updateSettings(change); };
    };
    const std::string kBegin = "begin Rendering live wallpaper";
    const std::tuple<const char*, std::function<void()>, Journal> steps[] = {
        {"an equal write",
         [&] { s.setSettings(s.settings()); },
         {"store", "apply Left", "apply Right"}},
        {"switches on",
         update([](AppSettings& x) {
             x.showDockIcon = false, x.syncLockScreen = true, x.liveLockVideo = true;
             x.fps = 60, x.retinaQuality = false;
         }),
         {"store", "apply Left", "apply Right", "accessory", "still", "guide", "forced"}},
        {"switches off",
         update([](AppSettings& x) {
             x.showDockIcon = true, x.syncLockScreen = false, x.liveLockVideo = false;
         }),
         {"store", "apply Left", "apply Right", "regular", "activate", "picture back", "restore"}},
        {"video again",
         update([](AppSettings& x) { x.liveLockVideo = true; }),
         {"store", "apply Left", "apply Right", "guide", "forced"}},
        {"pause", [&] { s.togglePaused(); }, {"store", "apply Left", "apply Right", "end"}},
        {"pause again",
         update([](AppSettings& x) { x.paused = true; }),
         {"store", "apply Left", "apply Right"}},
        {"resume", [&] { s.togglePaused(); }, {"store", "apply Left", "apply Right", kBegin}},
        {"power saving", [&] { desktop.lowPower = true, desktop.powerChanged(); }, {}},  // deferred
        {"main queue", [&] { clock.runPending(); }, {"apply Left", "apply Right", "end"}},
        {"sleep", [&] { desktop.slept(); }, {}},
        {"main queue", [&] { clock.runPending(); }, {"apply Left", "apply Right", "asleep"}},
        {"power back",
         [&] { desktop.lowPower = false, desktop.powerChanged(), clock.runPending(); },
         {"apply Left", "apply Right"}},
        {"wake",
         [&] { desktop.woke(), clock.runPending(); },
         {"apply Left", "apply Right", kBegin, "awake"}},
        {"saver shown", [&] { s.setIdleSaverShown(true); }, {"apply Left", "apply Right", "end"}},
        {"saver gone", [&] { s.setIdleSaverShown(false); }, {"apply Left", "apply Right", kBegin}},
        {"a store that fails",
         [&] {
             store.failWith = "disk full";  // logged once, not on every write
             s.updateSettings([](AppSettings& x) { x.fps = 11; });
             s.updateSettings([](AppSettings& x) { x.fps = 12; });
             store.failWith.clear();
         },
         {"store", "apply Left", "apply Right", "store", "apply Left", "apply Right"}},
        {"a number JSON cannot hold: nothing is stored, the rest runs",
         update([](AppSettings& x) { x.params["tiles"].speed = NAN, x.showDockIcon = false; }),
         {"apply Left", "apply Right", "accessory"}},
        {"storable again",
         update([](AppSettings& x) { x.params.clear(); }),
         {"store", "apply Left", "apply Right"}},
    };
    for (const auto& [what, step, expected] : steps) {
        SCOPED_TRACE(what);
        journal.clear();
        step();
        EXPECT_EQ(journal, expected);
        EXPECT_EQ(view("Left").paused, s.viewsPaused());
        EXPECT_EQ(desktop.activity != 0, !s.viewsPaused());  // held exactly while views run
        EXPECT_EQ(s.holdsActivity(), !s.viewsPaused());
    }
    EXPECT_EQ(stored(), s.settings());
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"Tavel: settings could not be stored: disk full"});
    EXPECT_EQ(view("Left").fps, 12);
    EXPECT_EQ(view("Left").qualityScale, 0.5);
}

TEST_F(AppStateTest, ChoosingWritesTwiceForOneDisplayAndThreeTimesForAll) {
    // Unknown stored ids show the flagship, and stay stored.
    AppState& s = makeWith(
        R"({"globalShaderID":"aurora","sameOnAllDisplays":false,"perDisplay":{"1":"nope"}})");
    EXPECT_EQ(shown(), "halvane halvane");
    std::vector<AppSettings> before;  // observers hear of each write before it happens
    int id = s.addObserver([&](AppState::Property p) {
        if (p == AppState::Property::settings) before.push_back(s.settings());
    });
    s.setSelectedDisplayTarget("2");
    s.setShader("orbits");
    ASSERT_EQ(before.size(), 2u);
    EXPECT_TRUE(before[1].perDisplay.size() == 1 && !before[1].sameOnAllDisplays);
    EXPECT_EQ(stored().perDisplay,
              (std::map<std::string, std::string>{{"1", "nope"}, {"2", "orbits"}}));
    EXPECT_EQ(stored().globalShaderID, "aurora");
    EXPECT_EQ(shown(), "halvane orbits");
    EXPECT_EQ(s.activeShaderID(), "orbits");
    s.setSelectedDisplayTarget(kAllDisplays);
    EXPECT_EQ(s.activeShaderID(), "halvane");

    before.clear();
    s.setShader("tiles");
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(store.writes, 5);
    EXPECT_FALSE(before[0].sameOnAllDisplays);  // first the switch, then the choices go,
    EXPECT_TRUE(before[1].sameOnAllDisplays && !before[1].perDisplay.empty());
    EXPECT_TRUE(before[2].perDisplay.empty() && before[2].globalShaderID == "aurora");  // the id
    EXPECT_EQ(stored(), s.settings());
    EXPECT_EQ(shown(), "tiles tiles");
    EXPECT_EQ(Journal(journal.end() - 2, journal.end()), (Journal{"still", "video"}));
    s.removeObserver(id);
    s.togglePaused();
    EXPECT_EQ(before.size(), 3u);
}

TEST_F(AppStateTest, ScreenChangesRebuildEveryWindowOnTheMainQueue) {
    AppState& s = make();
    s.setSelectedDisplayTarget("2");
    const ScreenRecord a{std::nullopt, "A", {}, 1.0}, b{std::nullopt, "B", {}, 1.0};
    const std::tuple<std::vector<ScreenRecord>, std::vector<DisplayInfo>, std::string> steps[] = {
        {{screen(1, "L"), screen(2, "R"), screen(3, "T")},
         {{"1", "L"}, {"2", "R"}, {"3", "T"}},
         "2"},
        {{screen(2, "R")}, {{"2", "R"}}, "2"},      // another display goes: the target stays
        {{screen(1, "L")}, {{"1", "L"}}, "all"},    // the target goes: reset
        {{a, b}, {{"0", "A"}, {"0", "B"}}, "all"},  // no numbers: one key, the later window
    };
    for (const auto& [list, displays, target] : steps) {
        const std::size_t made = screens.made.size();
        screens.list = list;
        screens.changed();
        EXPECT_EQ(screens.made.size(), made);  // not before the main queue runs
        clock.runPending();
        EXPECT_EQ(screens.made.size(), made + list.size());  // a new set every time
        EXPECT_EQ(s.displays(), displays);
        EXPECT_EQ(s.selectedDisplayTarget(), target);
        EXPECT_EQ(view(list.back().name).effectId, "halvane");
        EXPECT_EQ(journal.back(), "screens changed");
    }
    EXPECT_EQ(shown(), "halvane");
    EXPECT_NE(s.wallpaperWindow("0"), nullptr);
}

TEST_F(AppStateTest, PauseDecisionOverEveryCombination) {
    for (int bits = 0; bits < 32; ++bits) {
        SCOPED_TRACE(bits);  // from bit 0: paused, pauseOnLowPower, low power, asleep, saver
        const bool paused = bits & 1, rule = bits & 2, low = bits & 4, asleep = bits & 8,
                   saver = bits & 16;
        desktop.lowPower = low;
        AppState& s =
            makeWith(nlohmann::json{{"paused", paused}, {"pauseOnLowPower", rule}}.dump());
        if (asleep) desktop.slept();
        clock.runPending();
        s.setIdleSaverShown(saver);
        const bool expected = paused || (rule && low) || asleep || saver;
        EXPECT_EQ(view("Left").paused, expected);
        EXPECT_EQ(view("Right").paused, expected);
        EXPECT_EQ(s.viewsPaused(), expected);
        EXPECT_EQ(desktop.activity != 0, !expected);
    }
}

TEST_F(AppStateTest, ParamEditsReachTheLockScreenOnceAfterTheLastStep) {
    for (auto [sync, live] : {std::pair(true, true), {true, false}, {false, true}}) {
        SCOPED_TRACE(::testing::Message() << "sync " << sync << ", live " << live);
        AppState& s =
            makeWith(nlohmann::json{{"syncLockScreen", sync}, {"liveLockVideo", live}}.dump());
        auto zoom = s.paramBinding(&ShaderParams::zoom, "halvane");
        store.writes = 0;
        for (int i = 0; i < 100; ++i) {
            zoom.set(1.0f + i * 0.01f);
            clock.advance(8ms);  // 120 steps a second
        }
        EXPECT_EQ(store.writes, 100);
        EXPECT_FLOAT_EQ(view("Left").params.zoom, 1.99f);
        clock.advance(1991ms);  // the last step was 8 ms ago: the still is due 2 s after it,
        EXPECT_EQ(calls("still"), 0);
        clock.advance(1ms);
        EXPECT_EQ(calls("still"), sync);
        clock.advance(1999ms);  // the video 4 s after it
        EXPECT_EQ(calls("video"), 0);
        clock.advance(1ms);
        EXPECT_EQ(calls("video"), live);
        // An effect change alone does not reach the lock screen through the reaction.
        s.updateSettings([](AppSettings& x) { x.globalShaderID = "dome"; });
        clock.advance(1min);
        EXPECT_EQ(calls("still") + calls("video"), sync + live);
        // Switched off with a still pending: the picture goes back and no still follows.
        zoom.set(1.5f);
        s.updateSettings([](AppSettings& x) { x.syncLockScreen = false; });
        clock.advance(1min);
        EXPECT_EQ(calls("still"), sync);
        EXPECT_EQ(calls("picture back"), sync);
    }
}

TEST_F(AppStateTest, NothingRunsForAStateThatIsGone) {
    AppState& s = make();
    auto screensChanged = screens.changed, powerChanged = desktop.powerChanged;
    screensChanged();
    powerChanged();
    s.updateSettings([](AppSettings& x) { x.params["halvane"].hue = 9; });  // a still is due
    state.reset();
    EXPECT_FALSE(screens.changed || desktop.powerChanged || desktop.slept);  // handlers gone
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(desktop.activity, 0u);
    journal.clear();
    clock.advance(1h);  // the deferred work and the timers find nothing
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(desktop.iconRefreshes, 0);
}

}  // namespace
}  // namespace tavel
