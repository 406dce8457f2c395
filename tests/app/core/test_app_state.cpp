// The application state on fakes and the manual clock, from start to the login item.

#include "support/app_state_fixture.h"

#include <cmath>
#include <limits>
#include <set>

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
        {"the rule off",
         update([](AppSettings& x) { x.pauseOnLowPower = false; }),
         {"store", "apply Left", "apply Right", kBegin}},
        {"the rule on",
         update([](AppSettings& x) { x.pauseOnLowPower = true; }),
         {"store", "apply Left", "apply Right", "end"}},
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

TEST_F(AppStateTest, ShuffleRunsEveryPeriodAndGivesEachIndexAnEffectNeverTheGlobalOne) {
    for (const char* minutes : {"0", "-3", "9223372036854775807"}) {  // none, none, capped
        AppState& s = makeWith(std::string(R"({"shuffleMinutes":)") + minutes + "}");
        EXPECT_EQ(s.shuffleScheduled(), minutes[0] == '9');
        clock.advance(24h);
        EXPECT_EQ(s.settings().globalShaderID, "halvane");
    }
    std::size_t next = 2;
    std::vector<std::size_t> asked;
    randomIndex = [&](std::size_t n) { return asked.push_back(n), next; };
    AppState& s = makeWith(
        R"({"shuffleMinutes":5,"sameOnAllDisplays":false,"perDisplay":{"1":"dome","2":"tiles"}})");
    s.setSelectedDisplayTarget("2");
    s.setBrowseIndex(9);
    auto shuffles = [&] { return calls("still"); };  // each shuffle syncs the still once
    clock.advance(3min);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 5; });  // same period: no restart
    clock.advance(2min);
    EXPECT_EQ(shuffles(), 1);
    EXPECT_EQ(store.writes, 4);  // the per-display choices end; target and cursor stay
    EXPECT_TRUE(stored().sameOnAllDisplays && stored().perDisplay.empty());
    EXPECT_EQ(shown(), "filament filament");  // index 2 with halvane left out
    EXPECT_EQ(s.selectedDisplayTarget(), "2");
    EXPECT_EQ(s.browseIndex(), 9);
    EXPECT_EQ(journal.end()[-2] + " " + journal.end()[-1], "still video");
    clock.advance(1min);  // t = 6 min
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 10; });
    clock.advance(9min + 59s);
    EXPECT_EQ(shuffles(), 1);
    clock.advance(1s);
    EXPECT_EQ(shuffles(), 2);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 0; });
    EXPECT_FALSE(s.shuffleScheduled());

    std::set<std::string> picked;
    asked.clear();
    for (next = 0; next < 15; ++next) {
        s.updateSettings([](AppSettings& x) { x.globalShaderID = "halvane"; });
        s.shuffleNow();
        picked.insert(s.settings().globalShaderID);
    }
    EXPECT_EQ(picked.size(), 15u);  // uniform indices: uniform picks among the others
    EXPECT_EQ(picked.count("halvane"), 0u);
    EXPECT_EQ(asked, std::vector<std::size_t>(15, 15));
    s.updateSettings([](AppSettings& x) { x.globalShaderID = "no-such-effect"; });
    s.shuffleNow();
    EXPECT_EQ(asked.back(), 16u);  // nothing to leave out
    EXPECT_EQ(s.settings().globalShaderID, "gridtunnel");
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
    s.setSelectedDisplayTarget("1");
    s.setBrowseIndex(11);
    s.applyBrowsed();  // to the target only
    EXPECT_EQ(shown(), "orbits halvane");
    s.setBrowseIndex(0);
    s.syncBrowseToActive();
    EXPECT_EQ(s.browseIndex(), 11);
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

    ShaderParams dome, tiles = s.settings().params.at("tiles"), vortex;
    s.paramBinding(&ShaderParams::speed, "dome").set(2.0f);
    s.colorBinding(true, "tiles").set(Rgba{0.25f, 0.5f, 0.75f, 0.3f});  // opacity dropped
    s.customBinding(1, "vortex").set(500.0f);  // out of the slider's range: as written
    for (std::int64_t slot : {2, 0, 7, -1}) s.customBinding(slot, "vortex").set(slot + 100.0f);
    dome.speed = 2;
    tiles.accent = {0.25f, 0.5f, 0.75f};
    vortex.custom1 = 500;
    vortex.custom2 = 99;
    const std::map<std::string, ShaderParams> written{
        {"dome", dome}, {"tiles", tiles}, {"vortex", vortex}};
    EXPECT_EQ(stored().params, written);
    EXPECT_EQ(store.writes, 7);

    journal.clear();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {std::nanf(""), inf, -inf}) {
        s.paramBinding(&ShaderParams::hue, "tiles").set(bad);
        s.paramBinding(&ShaderParams::speed, "orbits").set(bad);
        s.customBinding(1, "vortex").set(bad);
        s.customBinding(2, "vortex").set(bad);
        for (Rgba colour : {Rgba{bad, 0, 0, 1}, {0, bad, 0, 1}, {0, 0, bad, 1}})
            s.colorBinding(false, "tiles").set(colour);
    }
    EXPECT_TRUE(journal.empty());  // nothing stored or applied
    EXPECT_EQ(s.settings().params, written);

    s.setShader("vortex");
    EXPECT_EQ(view("Left").params, vortex);
    journal.clear();
    s.resetParams("vortex");
    s.resetParams("orbits");  // nothing to forget: stored and applied all the same
    EXPECT_EQ(calls("store") + calls("apply Left"), 4);
    EXPECT_EQ(view("Left").params, ShaderParams{});
    EXPECT_EQ(stored().params.count("vortex"), 0u);
}

// Failures are log lines; observers always read the real state again.
TEST_F(AppStateTest, LoginAndSaverFollowTheSystemAndLogTheirFailures) {
    struct System : LoginItem, SaverInstaller {
        bool enabled() const override { return on; }
        Result<void> setEnabled(bool value) override {
            if (!refusal.empty()) return Failure{refusal};
            on = value;
            return {};
        }
        bool available() const override { return present; }
        Result<std::string> install() override { return std::string("use it"); }
        bool on = false, present = false;
        std::string refusal;
    } system;
    loginItem = &system;
    saverInstaller = &system;
    AppState& state = make();
    std::vector<AppState::Property> told;
    state.addObserver([&](AppState::Property p) { told.push_back(p); });

    state.setLaunchAtLogin(true);
    EXPECT_TRUE(state.launchAtLogin());
    system.refusal = "approval pending";
    state.setLaunchAtLogin(false);
    EXPECT_TRUE(state.launchAtLogin());  // the real state, not the wish
    EXPECT_EQ(told,
              (std::vector{AppState::Property::launchAtLogin, AppState::Property::launchAtLogin}));

    EXPECT_FALSE(state.saverEmbedded());
    EXPECT_EQ(state.installScreenSaver(), "");
    system.present = true;
    EXPECT_FALSE(state.saverEmbedded());              // looked up once per run
    EXPECT_EQ(state.installScreenSaver(), "use it");  // looked up at each call
    EXPECT_EQ(log.lines().size(), 2u);                // the refusal and the missing saver
}

}  // namespace
}  // namespace tavel
