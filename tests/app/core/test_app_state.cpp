// The application state on fakes and the manual clock, from start to the login item.

#include "support/app_state_fixture.h"

#include <cmath>
#include <limits>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::AppStateTest;
using test::Journal;

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
             x.showDockIcon = false;
             x.syncLockScreen = true;
             x.liveLockVideo = true;
             x.fps = 60;
             x.retinaQuality = false;
         }),
         {"store", "apply Left", "apply Right", "accessory", "still", "guide", "forced"}},
        {"switches off",
         update([](AppSettings& x) {
             x.showDockIcon = true;
             x.syncLockScreen = false;
             x.liveLockVideo = false;
         }),
         {"store", "apply Left", "apply Right", "regular", "activate", "picture back", "restore"}},
        {"pause", [&] { s.togglePaused(); }, {"store", "apply Left", "apply Right", "end"}},
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
        {"a store that fails",
         [&] {
             store.failWith = "disk full";  // logged once, not on every write
             s.updateSettings([](AppSettings& x) { x.fps = 11; });
             s.updateSettings([](AppSettings& x) { x.fps = 12; });
             store.failWith.clear();
         },
         {"store", "apply Left", "apply Right", "store", "apply Left", "apply Right"}},
        {"a number JSON cannot hold: nothing is stored, the rest runs",
         update([](AppSettings& x) {
             x.params["tiles"].speed = NAN;
             x.showDockIcon = false;
         }),
         {"apply Left", "apply Right", "accessory"}},
    };
    for (const auto& [what, step, expected] : steps) {
        SCOPED_TRACE(what);
        journal.clear();
        step();
        EXPECT_EQ(journal, expected);
        EXPECT_EQ(view("Left").paused, s.viewsPaused());
        EXPECT_EQ(desktop.activity != 0, !s.viewsPaused());  // held exactly while views run
    }
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"Tavel: settings could not be stored: disk full"});
    EXPECT_EQ(view("Left").fps, 12);
    EXPECT_EQ(view("Left").qualityScale, 0.5);
}

// Unknown stored ids show the flagship, and stay stored until a choice for all.
TEST_F(AppStateTest, ChoosingForOneDisplayOrForAll) {
    AppState& s = makeWith(
        R"({"globalShaderID":"aurora","sameOnAllDisplays":false,"perDisplay":{"1":"nope"}})");
    EXPECT_EQ(shown(), "halvane halvane");
    s.setSelectedDisplayTarget("2");
    s.setShader("orbits");
    EXPECT_EQ(stored().perDisplay,
              (std::map<std::string, std::string>{{"1", "nope"}, {"2", "orbits"}}));
    EXPECT_EQ(stored().globalShaderID, "aurora");
    EXPECT_EQ(shown(), "halvane orbits");
    EXPECT_EQ(s.activeShaderID(), "orbits");
    s.setSelectedDisplayTarget(kAllDisplays);
    EXPECT_EQ(s.activeShaderID(), "halvane");

    s.setShader("tiles");
    EXPECT_TRUE(stored().sameOnAllDisplays && stored().perDisplay.empty());
    EXPECT_EQ(stored(), s.settings());
    EXPECT_EQ(shown(), "tiles tiles");
    EXPECT_EQ(Journal(journal.end() - 2, journal.end()), (Journal{"still", "video"}));
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

TEST_F(AppStateTest, ShuffleRunsEveryPeriodAndNeverPicksTheShownEffect) {
    for (const char* minutes : {"0", "-3", "9223372036854775807"}) {  // none, none, capped
        AppState& s = makeWith(std::string(R"({"shuffleMinutes":)") + minutes + "}");
        EXPECT_EQ(s.shuffleScheduled(), minutes[0] == '9');
        clock.advance(24h);
        EXPECT_EQ(s.settings().globalShaderID, "halvane");
    }
    std::vector<std::size_t> asked;
    randomIndex = [&](std::size_t n) { return asked.push_back(n), std::size_t{2}; };
    AppState& s = makeWith(
        R"({"shuffleMinutes":5,"sameOnAllDisplays":false,"perDisplay":{"1":"dome","2":"tiles"}})");
    s.setSelectedDisplayTarget("2");
    s.setBrowseIndex(9);
    clock.advance(3min);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 5; });  // same period: no restart
    clock.advance(2min);
    EXPECT_EQ(calls("still"), 1);  // each shuffle syncs the still once
    EXPECT_EQ(store.writes, 4);    // the per-display choices end; target and cursor stay
    EXPECT_TRUE(stored().sameOnAllDisplays && stored().perDisplay.empty());
    EXPECT_EQ(shown(), "filament filament");  // index 2 with halvane left out
    EXPECT_EQ(s.selectedDisplayTarget(), "2");
    EXPECT_EQ(s.browseIndex(), 9);
    EXPECT_EQ(asked, std::vector<std::size_t>{15});  // uniform picks among the others
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 0; });
    EXPECT_FALSE(s.shuffleScheduled());
}

TEST_F(AppStateTest, BrowseWrapsTheCursorAndTheBrowsedEffectClampsIt) {
    AppState& s = make();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const std::int64_t wraps[][3] = {{0, -1, 15},  {15, 1, 0},        {0, 33, 1}, {1, -35, 14},
                                     {3, kMax, 2}, {3, -kMax - 1, 3}, {99, 0, 3}, {-4, 0, 12}};
    for (auto [from, step, to] : wraps) {
        s.setBrowseIndex(from);
        s.browse(step);
        EXPECT_EQ(s.browseIndex(), to) << from << " + " << step;
    }
    for (auto [index, id] :
         {std::pair<std::int64_t, const char*>{99, "gridtunnel"}, {-4, "halvane"}, {5, "tiles"}}) {
        s.setBrowseIndex(index);
        EXPECT_EQ(s.browsedEffect().id, id);
    }
}

TEST_F(AppStateTest, BindingsReadAndWriteOneFieldOfTheirEffectsRecordAndRefuseNaNAndInfinity) {
    AppState& s = makeWith(
        R"({"params":{"tiles":{"speed":2,"zoom":1,"intensity":1,"hue":0,"accent":[0.1,0.2,0.3],)"
        R"("custom2":7}}})");
    struct Case {
        const char* id;
        Rgba accent, bg;
        float custom1, custom2, speed;
    };
    // The stored value, else the catalog's, else white and zero.
    for (const Case& c :
         {Case{"halvane", {1, 0.6f, 0.22f, 1}, {0.028f, 0.028f, 0.04f, 1}, 0.75f, 68, 1},
          {"tiles", {0.1f, 0.2f, 0.3f, 1}, {0.01f, 0.01f, 0.013f, 1}, 5.5f, 7, 2},
          {"aurora", {1, 1, 1, 1}, {1, 1, 1, 1}, 0, 0, 1}}) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(s.colorBinding(true, c.id).get(), c.accent);
        EXPECT_EQ(s.colorBinding(false, c.id).get(), c.bg);
        EXPECT_EQ(s.customBinding(1, c.id).get(), c.custom1);
        EXPECT_EQ(s.customBinding(2, c.id).get(), c.custom2);
        EXPECT_EQ(s.paramBinding(&ShaderParams::speed, c.id).get(), c.speed);
    }

    ShaderParams tiles = s.settings().params.at("tiles"), vortex;
    s.colorBinding(true, "tiles").set(Rgba{0.25f, 0.5f, 0.75f, 0.3f});  // opacity dropped
    s.customBinding(1, "vortex").set(500.0f);  // out of the slider's range: as written
    for (std::int64_t slot : {2, 0, 7, -1}) s.customBinding(slot, "vortex").set(slot + 100.0f);
    tiles.accent = {0.25f, 0.5f, 0.75f};
    vortex.custom1 = 500;
    vortex.custom2 = 99;
    const std::map<std::string, ShaderParams> written{{"tiles", tiles}, {"vortex", vortex}};
    EXPECT_EQ(stored().params, written);

    journal.clear();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {std::nanf(""), inf, -inf}) {
        s.paramBinding(&ShaderParams::hue, "tiles").set(bad);
        s.customBinding(2, "vortex").set(bad);
        s.colorBinding(false, "tiles").set(Rgba{0, bad, 0, 1});
    }
    EXPECT_TRUE(journal.empty());  // nothing stored or applied
    EXPECT_EQ(s.settings().params, written);
}

// A refusal is a log line, and observers read the real state again.
TEST_F(AppStateTest, ARefusedLoginItemIsLoggedAndTheRealStateShown) {
    struct System : LoginItem {
        bool enabled() const override { return false; }
        Result<void> setEnabled(bool) override { return Failure{"approval pending"}; }
    } system;
    loginItem = &system;
    AppState& state = make();
    std::vector<AppState::Property> told;
    state.addObserver([&](AppState::Property p) { told.push_back(p); });
    state.setLaunchAtLogin(true);
    EXPECT_FALSE(state.launchAtLogin());
    EXPECT_EQ(told, std::vector{AppState::Property::launchAtLogin});
    EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace tavel
