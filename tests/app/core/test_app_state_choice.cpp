// Shuffle, browsing and the parameter bindings.

#include "support/app_state_fixture.h"

#include <cmath>
#include <limits>
#include <set>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::AppStateTest;

TEST_F(AppStateTest, ShuffleTimerRunsEveryPeriodAndRestartsOnlyWhenItChanges) {
    for (const char* minutes : {"0", "-3", "9223372036854775807"}) {  // none, none, capped
        AppState& s = makeWith(std::string(R"({"shuffleMinutes":)") + minutes + "}");
        EXPECT_EQ(s.shuffleScheduled(), minutes[0] == '9');
        clock.advance(24h);
        EXPECT_EQ(s.settings().globalShaderID, "halvane");
    }
    AppState& s = makeWith(R"({"shuffleMinutes":5})");
    auto shuffles = [&] { return calls("still"); };  // each shuffle syncs the still once
    clock.advance(3min);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 5; });  // same period: no restart
    clock.advance(2min);
    EXPECT_EQ(shuffles(), 1);
    clock.advance(1min);  // t = 6 min
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 10; });
    clock.advance(9min + 59s);
    EXPECT_EQ(shuffles(), 1);
    clock.advance(1s);
    EXPECT_EQ(shuffles(), 2);
    s.updateSettings([](AppSettings& x) { x.shuffleMinutes = 0; });
    EXPECT_FALSE(s.shuffleScheduled());
}

TEST_F(AppStateTest, ShuffleGivesEachIndexItsOwnEffectNeverTheGlobalOne) {
    std::size_t next = 2;
    std::vector<std::size_t> asked;
    randomIndex = [&](std::size_t n) { return asked.push_back(n), next; };
    AppState& s = makeWith(R"({"sameOnAllDisplays":false,"perDisplay":{"1":"dome","2":"tiles"}})");
    s.setSelectedDisplayTarget("2");
    s.setBrowseIndex(9);
    s.shuffleNow();
    EXPECT_EQ(store.writes, 3);  // the per-display choices end; target and cursor stay
    EXPECT_TRUE(stored().sameOnAllDisplays && stored().perDisplay.empty());
    EXPECT_EQ(shown(), "filament filament");  // index 2 with halvane left out
    EXPECT_EQ(s.selectedDisplayTarget(), "2");
    EXPECT_EQ(s.browseIndex(), 9);
    EXPECT_EQ(journal.end()[-2] + " " + journal.end()[-1], "still video");

    std::set<std::string> picked;
    for (next = 0; next < 15; ++next) {
        s.updateSettings([](AppSettings& x) { x.globalShaderID = "halvane"; });
        s.shuffleNow();
        picked.insert(s.settings().globalShaderID);
    }
    // So uniform indices give uniform picks among the other fifteen.
    EXPECT_EQ(picked.size(), 15u);
    EXPECT_EQ(picked.count("halvane"), 0u);
    EXPECT_EQ(asked, std::vector<std::size_t>(16, 15));
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

TEST_F(AppStateTest, BindingsReadTheStoredValueElseTheCatalogsElseWhiteAndZero) {
    AppState& s = makeWith(
        R"({"params":{"tiles":{"speed":2,"zoom":1,"intensity":1,"hue":0,"accent":[0.1,0.2,0.3],)"
        R"("custom2":7}}})");
    struct Case {
        const char* id;
        Rgba accent, bg;
        float custom1, custom2, speed;
    };
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
}

TEST_F(AppStateTest, EachBindingWritesOneFieldOfItsEffectsRecordAndRefusesNaNAndInfinity) {
    AppState& s = make();
    s.paramBinding(&ShaderParams::speed, "dome").set(2.0f);
    s.colorBinding(true, "tiles").set(Rgba{0.25f, 0.5f, 0.75f, 0.3f});  // opacity dropped
    s.customBinding(1, "vortex").set(500.0f);  // out of the slider's range: as written
    for (std::int64_t slot : {2, 0, 7, -1}) s.customBinding(slot, "vortex").set(slot + 100.0f);
    ShaderParams dome, tiles, vortex;
    dome.speed = 2, tiles.accent = {0.25f, 0.5f, 0.75f}, vortex.custom1 = 500, vortex.custom2 = 99;
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

// Starting with the session and installing the screen saver, as the settings pane uses
// them: failures are log lines, observers always read the real state again.
class AppStateInstallation : public test::AppStateTest, public LoginItem, public SaverInstaller {
protected:
    bool enabled() const override { return on; }
    std::string setEnabled(bool value) override {
        if (refusal.empty()) on = value;
        return refusal;
    }
    bool available() const override { return present; }
    std::string install(std::string& instructions) override {
        instructions = "use it";
        return {};
    }
    bool on = false, present = false;
    std::string refusal;
};

TEST_F(AppStateInstallation, LoginAndSaverFollowTheSystemAndLogTheirFailures) {
    loginItem = this;
    saverInstaller = this;
    AppState& state = make();
    std::vector<AppState::Property> told;
    state.addObserver([&](AppState::Property p) { told.push_back(p); });

    state.setLaunchAtLogin(true);
    EXPECT_TRUE(state.launchAtLogin());
    refusal = "approval pending";
    state.setLaunchAtLogin(false);
    EXPECT_TRUE(state.launchAtLogin());  // the real state, not the wish
    EXPECT_EQ(told,
              (std::vector{AppState::Property::launchAtLogin, AppState::Property::launchAtLogin}));

    EXPECT_FALSE(state.saverEmbedded());
    EXPECT_EQ(state.installScreenSaver(), "");
    present = true;
    EXPECT_FALSE(state.saverEmbedded());              // looked up once per run
    EXPECT_EQ(state.installScreenSaver(), "use it");  // looked up at each call
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Tavel: launch-at-login change failed: approval pending",
                                        "Tavel: saver not embedded in this build"}));
}

}  // namespace
}  // namespace tavel
