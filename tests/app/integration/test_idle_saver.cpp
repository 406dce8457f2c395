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
        AppState& s = make();
        saver = std::make_unique<IdleSaver>(
            IdleSaverDependencies{clock, screens, idle, saverWindows, {&global, &local}});
        saver->attach(s);
        return s;
    }
    // The watcher runs every 3 s; these tests tick it by hand.
    void tick() { saver->watcherTick(); }
};

TEST_F(IdleSaverTest, ShowsAfterTheSetMinutesAndEachScreenShowsItsOwnEffect) {
    makeWithSaver(R"({"idleAnimateMinutes":1,"sameOnAllDisplays":false,)"
                  R"("perDisplay":{"2":"vortex"},"fps":24,"retinaQuality":false})");
    idle.seconds = 59.9;
    tick();
    EXPECT_FALSE(saver->shown());
    idle.seconds = 60;
    tick();
    ASSERT_TRUE(saver->shown());
    ASSERT_EQ(saverWindows.made.size(), 2u);
    EXPECT_EQ(saverWindows.made[0].screen, "Left");
    EXPECT_EQ(saverWindows.made[0].state->effectId, "halvane");
    EXPECT_EQ(saverWindows.made[1].state->effectId, "vortex");
    EXPECT_EQ(saverWindows.made[1].state->fps, 24);
    EXPECT_EQ(saverWindows.made[1].state->qualityScale, 0.5);
    EXPECT_TRUE(view("Left").paused);  // the desktop views pause under the saver
    EXPECT_TRUE(view("Right").paused);
    EXPECT_EQ(global.starts, 1);
    EXPECT_EQ(local.starts, 1);
}

TEST_F(IdleSaverTest, FadesInOverOnePointTwoSecondsAndOutOverHalfASecond) {
    makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 10;  // "Always": ten seconds
    tick();
    auto& first = *saverWindows.made[0].state;
    EXPECT_EQ(first.alpha, 0.0);
    EXPECT_TRUE(first.front);
    clock.advance(600ms);
    EXPECT_NEAR(first.alpha, 0.5, 0.02);
    clock.advance(700ms);
    EXPECT_EQ(first.alpha, 1.0);

    global.input();
    EXPECT_FALSE(saver->shown());
    EXPECT_TRUE(first.front);  // still fading out
    clock.advance(250ms);
    EXPECT_NEAR(first.alpha, 0.5, 0.04);
    clock.advance(300ms);
    EXPECT_EQ(first.alpha, 0.0);
    EXPECT_FALSE(first.front);
    EXPECT_EQ(saverWindows.visible(), 0);
}

TEST_F(IdleSaverTest, AnyInputDismissesOnceAndTheViewsComeBackThroughApplyAll) {
    AppState& s = makeWithSaver(R"({"idleAnimateMinutes":-1})");
    s.togglePaused();  // the user's own pause must survive the saver
    s.togglePaused();
    idle.seconds = 30;
    tick();
    local.input();  // input on the saver's own windows
    EXPECT_FALSE(saver->shown());
    EXPECT_FALSE(view("Left").paused);
    EXPECT_EQ(global.stops, 1);
    EXPECT_EQ(local.stops, 1);
    global.input();  // monitors are gone: nothing more happens
    saver->dismiss();
    EXPECT_EQ(global.stops, 1);

    s.togglePaused();
    idle.seconds = 30;
    tick();
    global.input();
    EXPECT_TRUE(view("Left").paused);  // applyAll keeps the user's pause
}

TEST_F(IdleSaverTest, AShortIdleTimeAtATickDismissesAShownSaver) {
    makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 12;
    tick();
    idle.seconds = 2.5;
    tick();
    EXPECT_TRUE(saver->shown());
    idle.seconds = 1.9;
    tick();
    EXPECT_FALSE(saver->shown());
}

TEST_F(IdleSaverTest, ZeroMeansOffAndHidesAShownSaverAtTheNextTick) {
    AppState& s = makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 1e6;
    tick();
    ASSERT_TRUE(saver->shown());
    s.updateSettings([](AppSettings& x) { x.idleAnimateMinutes = 0; });
    tick();
    EXPECT_FALSE(saver->shown());
    tick();
    EXPECT_FALSE(saver->shown());
    EXPECT_EQ(saverWindows.made.size(), 2u);
}

TEST_F(IdleSaverTest, SleepingDisplaysFreezeTheWatcher) {
    makeWithSaver(R"({"idleAnimateMinutes":-1})");
    sleep.sleep();
    clock.runPending();
    idle.seconds = 100;
    tick();
    EXPECT_FALSE(saver->shown());
    sleep.wake();
    clock.runPending();
    tick();
    ASSERT_TRUE(saver->shown());
    sleep.sleep();
    clock.runPending();
    idle.seconds = 0;
    tick();
    EXPECT_TRUE(saver->shown());  // neither shows nor hides while asleep
}

TEST_F(IdleSaverTest, PowerSavingBlocksShowingButNotAShownSaver) {
    power.low = true;
    AppState& s = makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 100;
    tick();
    EXPECT_FALSE(saver->shown());
    s.updateSettings([](AppSettings& x) { x.pauseOnLowPower = false; });
    tick();
    ASSERT_TRUE(saver->shown());
    s.updateSettings([](AppSettings& x) { x.pauseOnLowPower = true; });
    tick();
    EXPECT_TRUE(saver->shown());  // stays until input arrives
}

TEST_F(IdleSaverTest, SleepPausesTheSaversOwnViews) {
    makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 100;
    tick();
    saver->displaySleepChanged(true);
    EXPECT_TRUE(saverWindows.made[0].state->paused);
    saver->displaySleepChanged(false);
    EXPECT_FALSE(saverWindows.made[1].state->paused);
}

TEST_F(IdleSaverTest, APresentationDuringAFadeOutKeepsItsOwnWindows) {
    makeWithSaver(R"({"idleAnimateMinutes":-1})");
    idle.seconds = 100;
    tick();
    clock.advance(2s);
    global.input();
    clock.advance(100ms);  // first set fading out
    idle.seconds = 100;
    tick();
    ASSERT_TRUE(saver->shown());
    clock.advance(1s);
    EXPECT_EQ(saverWindows.visible(), 2);  // the old set is gone, the new one stays
    EXPECT_TRUE(saverWindows.made[2].state->front);
    EXPECT_TRUE(saverWindows.made[3].state->front);
    EXPECT_FALSE(saverWindows.made[0].state->front);
}

TEST_F(IdleSaverTest, AnUnknownStoredIdShowsTheFlagship) {
    makeWithSaver(R"({"idleAnimateMinutes":-1,"globalShaderID":"aurora"})");
    idle.seconds = 100;
    tick();
    EXPECT_EQ(saverWindows.made[0].state->effectId, "halvane");
}

}  // namespace
}  // namespace tavel
