// The idle saver's watcher, presentation and dismissal, on the manual clock.

#include "app/integration/idle_saver.h"

#include "support/app_state_fixture.h"
#include "support/idle_fakes.h"

namespace tavel {
namespace {

using namespace std::chrono_literals;

class IdleSaverTest : public test::AppStateTest {
protected:
    test::FakeIdleTime idle;
    test::FakeInputMonitor global, local;
    test::FakeSaverWindows saverWindows;
    std::unique_ptr<IdleSaver> saver;

    AppState& makeWithSaver(const std::string& settings) {
        storeSettings(settings);
        state.reset();
        saver = std::make_unique<IdleSaver>(
            IdleSaverDependencies{clock, screens, idle, saverWindows, {&global, &local}});
        idleWatcher = saver.get();
        AppState& s = make();
        saver->attach(s);
        return s;
    }
    void tick() { saver->idleWatcherTick(); }
};

// A pause of the person's own survives the saver's dismissal.
TEST_F(IdleSaverTest, EachScreenShowsItsOwnEffectFadingAndAnyInputDismissesOnce) {
    AppState& s = makeWithSaver(R"({"idleAnimateMinutes":1,"sameOnAllDisplays":false,)"
                                R"("globalShaderID":"aurora","perDisplay":{"2":"vortex"},)"
                                R"("fps":24,"retinaQuality":false})");
    idle.seconds = 60;
    tick();
    ASSERT_TRUE(saver->shown());
    ASSERT_EQ(saverWindows.made.size(), 2u);
    auto& left = *saverWindows.made[0].state;
    EXPECT_EQ(left.effectId, "halvane");  // unknown id: the flagship
    EXPECT_EQ(saverWindows.made[1].state->effectId, "vortex");
    EXPECT_EQ(saverWindows.made[1].state->fps, 24);
    EXPECT_EQ(saverWindows.made[1].state->qualityScale, 0.5);
    EXPECT_TRUE(view("Left").paused && view("Right").paused);
    EXPECT_EQ(left.alpha, 0.0);
    clock.advance(1300ms);
    EXPECT_EQ(left.alpha, 1.0);

    local.input();  // input on the saver's own windows
    EXPECT_FALSE(saver->shown());
    EXPECT_FALSE(view("Left").paused);
    EXPECT_EQ(global.stops + local.stops, 2);
    clock.advance(250ms);
    EXPECT_NEAR(left.alpha, 0.5, 0.04);  // fading out over 0.5 s
    tick();  // presented again during the fade-out: the new set keeps its own windows
    ASSERT_TRUE(saver->shown());
    clock.advance(1s);
    EXPECT_EQ(left.alpha, 0.0);
    EXPECT_FALSE(left.front);
    EXPECT_EQ(saverWindows.visible(), 2);

    global.input();
    s.togglePaused();
    tick();
    global.input();
    EXPECT_TRUE(view("Left").paused);
}

TEST_F(IdleSaverTest, TheWatcherShowsAndHidesByTheRules) {
    struct Case {
        const char* what;
        std::int64_t minutes;
        double idle;
        bool lowPower, asleep, shownBefore, shownAfter;
    };
    const Case cases[] = {
        {"always means ten seconds", -1, 10, false, false, false, true},
        {"below the threshold", -1, 9.9, false, false, false, false},
        {"after the set minutes", 1, 60, false, false, false, true},
        {"off hides a shown saver", 0, 1e6, false, false, true, false},
        {"short idle time dismisses", -1, 1.9, false, false, true, false},
        {"two seconds keep it", -1, 2.5, false, false, true, true},
        {"power saving blocks showing", -1, 100, true, false, false, false},
        {"but not a shown saver", -1, 100, true, false, true, true},
        {"asleep: nothing shows", -1, 100, false, true, false, false},
        {"asleep: nothing hides", -1, 0, false, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppState& s = makeWithSaver(R"({"idleAnimateMinutes":-1})");
        if (c.shownBefore) {
            idle.seconds = 100;
            tick();
            ASSERT_TRUE(saver->shown());
        }
        s.updateSettings([&](AppSettings& x) { x.idleAnimateMinutes = c.minutes; });
        desktop.lowPower = c.lowPower;
        desktop.powerChanged();
        if (c.asleep) desktop.slept();
        clock.runPending();
        idle.seconds = c.idle;
        tick();
        EXPECT_EQ(saver->shown(), c.shownAfter);
        desktop.lowPower = false;
    }
}

TEST_F(IdleSaverTest, TheSaverStaysInChargeWhileSettingsAndScreensChange) {
    AppState& s = makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 30;
    tick();
    clock.advance(600ms);
    s.shuffleNow();
    s.setShader("tiles");
    s.updateSettings([](AppSettings& x) { x.fps = 60; });
    desktop.powerChanged();
    screens.list = {test::screen(2, "Right"), test::screen(3, "Third")};
    screens.changed();
    clock.runPending();
    EXPECT_TRUE(view("Right").paused && view("Third").paused);
    EXPECT_EQ(desktop.activity, 0u);  // nothing is rendering on the desktop
    ASSERT_EQ(saverWindows.made.size(), 3u);
    EXPECT_FALSE(saverWindows.made[0].state->front);  // "Left" is gone
    EXPECT_TRUE(saverWindows.made[1].state->front);   // "Right" stays as it was
    EXPECT_EQ(saverWindows.made[2].screen, "Third");
    EXPECT_NEAR(saverWindows.made[2].state->alpha, 0.5, 0.02);
    EXPECT_EQ(saverWindows.visible(), 2);
    saver->displaySleepChanged(true);
    EXPECT_TRUE(saverWindows.made[2].state->paused);
    saver->displaySleepChanged(false);
    EXPECT_FALSE(saverWindows.made[1].state->paused);
    global.input();
    EXPECT_FALSE(view("Right").paused);
    EXPECT_NE(desktop.activity, 0u);
}

}  // namespace
}  // namespace tavel
