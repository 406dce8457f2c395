// tavel as users meet it: on an X server with two monitors, driven from the command
// line. Each test runs its own Xvfb, buses and instance.

#include "app/test_desktop_support.h"
#include "platform/screen.h"
#include "support/fake_power_profiles.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::DesktopSession;

// A monitor's display key, as the application derives it from the monitor's name.
std::string keyOf(const std::string& name) {
    return std::to_string(*displayNumberForMonitorName(name));
}

// A status check: the text contains `part`.
auto has(std::string part) {
    return [part = std::move(part)](const std::string& status) {
        return status.find(part) != std::string::npos;
    };
}

const std::string kA = keyOf("A"), kB = keyOf("B");

// Two 640x480 monitors side by side; the server's own output is given to "A".
void twoMonitors(const DesktopSession& session) {
    ASSERT_EQ(session.x().run({"xrandr", "--setmonitor", "A", "640/169x480/127+0+0", "screen"}), 0);
    ASSERT_EQ(session.x().run({"xrandr", "--setmonitor", "B", "640/169x480/127+640+0", "none"}), 0);
}

bool bothDrawing(const std::string& status) {
    return test::framesOf(status, kA) > 3 && test::framesOf(status, kB) > 3;
}

std::vector<test::WindowInfo> desktopWindows(const DesktopSession& session) {
    auto all = session.windows();
    std::vector<test::WindowInfo> desktop;
    for (auto& w : all)
        if (w.type == "_NET_WM_WINDOW_TYPE_DESKTOP" && w.mapped) desktop.push_back(w);
    std::sort(desktop.begin(), desktop.end(), [](auto& a, auto& b) { return a.x < b.x; });
    return desktop;
}

TEST(Desktop, EachMonitorGetsADesktopWindowShowingTheEffect) {
    DesktopSession session(1280, 480, R"({"idleAnimateMinutes":0})");
    twoMonitors(session);
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus(bothDrawing, 30s, &status)) << status << session.logText();

    auto desktop = desktopWindows(session);
    ASSERT_EQ(desktop.size(), 2u);
    EXPECT_EQ((std::array{desktop[0].x, desktop[0].y, desktop[0].width, desktop[0].height}),
              (std::array{0, 0, 640, 480}));
    EXPECT_EQ((std::array{desktop[1].x, desktop[1].y, desktop[1].width, desktop[1].height}),
              (std::array{640, 0, 640, 480}));
    for (const auto& w : desktop)
        for (const char* state : {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY",
                                  "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
            EXPECT_NE(std::find(w.states.begin(), w.states.end(), state), w.states.end()) << state;

    // The flagship lights the bottom of each monitor far more than the top.
    EXPECT_GT(session.brightness(0, 400, 640, 60), 3 * session.brightness(0, 10, 640, 60) + 5);
    EXPECT_GT(session.brightness(640, 400, 640, 60), 3 * session.brightness(640, 10, 640, 60) + 5);
}

TEST(Desktop, SetPauseAndResumeFromTheCommandLine) {
    DesktopSession session(1280, 480, R"({"idleAnimateMinutes":0})");
    twoMonitors(session);
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus(bothDrawing, 30s, &status)) << status << session.logText();

    auto set = session.tavel({"set", "tiles", "--display", kB});
    ASSERT_EQ(set.status, 0) << set.err;
    status = session.status();
    EXPECT_EQ(test::effectOf(status, kB), "tiles") << status;
    EXPECT_EQ(test::effectOf(status, kA), "halvane") << status;
    // Written in the background: it reaches the file soon, not necessarily before the reply.
    EXPECT_TRUE(DesktopSession::poll(
        [&] {
            return session.settingsFile().find("\"" + kB + "\":\"tiles\"") != std::string::npos;
        },
        10s))
        << session.settingsFile();

    EXPECT_EQ(session.tavel({"set", "tiles", "--display", "12345"}).status, 2);
    EXPECT_EQ(session.tavel({"set", "aurora"}).status, 2);

    ASSERT_EQ(session.tavel({"pause"}).status, 0);
    ASSERT_TRUE(session.waitForStatus(has("views: paused (paused by the user)"), 5s, &status))
        << status;
    const long frozenA = test::framesOf(status, kA), frozenB = test::framesOf(status, kB);
    std::string later;
    session.waitForStatus([](const std::string&) { return false; }, 1s, &later);
    EXPECT_EQ(test::framesOf(later, kA), frozenA);  // the counters stand still
    EXPECT_EQ(test::framesOf(later, kB), frozenB);
    EXPECT_NE(later.find("process activity: none"), std::string::npos) << later;

    ASSERT_EQ(session.tavel({"resume"}).status, 0);
    EXPECT_TRUE(session.waitForStatus(
        [&](const std::string& s) {
            return test::framesOf(s, kA) > frozenA + 3 && test::framesOf(s, kB) > frozenB + 3;
        },
        10s, &status))
        << status;
}

// The most common desktop event, many times over: no crash, the windows follow the
// monitors at every step, no program is compiled twice and memory does not grow.
TEST(Desktop, MonitorsComeAndGoWhileEveryViewDraws) {
    constexpr int kRounds = 30;
    DesktopSession session(1280, 480, R"({"idleAnimateMinutes":0})");
    twoMonitors(session);
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus(bothDrawing, 30s, &status)) << status << session.logText();
    ASSERT_EQ(session.tavel({"set", "tiles", "--display", kA}).status, 0);
    ASSERT_EQ(session.tavel({"set", "orbits", "--display", kB}).status, 0);
    ASSERT_TRUE(has("target: " + kB)(session.status()));

    auto windowsAt = [&](std::vector<int> xs) {
        return DesktopSession::poll(
            [&] {
                auto desktop = desktopWindows(session);
                std::vector<int> seen;
                for (const auto& w : desktop)
                    if (w.y == 0 && w.width == 640 && w.height == 480) seen.push_back(w.x);
                return seen == xs && desktop.size() == xs.size();
            },
            10s);
    };
    long firstKb = 0, lastKb = 0;
    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const long framesA = test::framesOf(session.status(), kA);
        ASSERT_EQ(session.x().run({"xrandr", "--delmonitor", "B"}), 0);
        ASSERT_TRUE(session.waitForStatus(
            [&](const std::string& s) {
                return test::displayKeys(s) == std::vector{kA} && test::framesOf(s, kA) > framesA;
            },
            20s, &status))
            << status << session.logText();
        ASSERT_TRUE(windowsAt({0}));
        // A target that is gone becomes "all"; B keeps its own effect for when it returns.
        EXPECT_TRUE(has("target: all")(status)) << status;

        ASSERT_EQ(session.x().run({"xrandr", "--setmonitor", "B", "640/169x480/127+640+0", "none"}),
                  0);
        ASSERT_TRUE(session.waitForStatus(
            [](const std::string& s) {
                return test::effectOf(s, kA) == "tiles" && test::effectOf(s, kB) == "orbits" &&
                       test::framesOf(s, kA) > 1 && test::framesOf(s, kB) > 1;
            },
            20s, &status))
            << status << session.logText();
        ASSERT_TRUE(windowsAt({0, 640}));
        // After a few rounds everything that is made once (caches, pools) is made.
        if (round == 5) firstKb = session.residentKilobytes();
        lastKb = session.residentKilobytes();
    }
    EXPECT_TRUE(has("programs compiled: 3")(status)) << status;  // halvane, tiles, orbits
    // One window's drawable alone is 1.2 MB: a leak per round would show many times over.
    EXPECT_LE(lastKb, firstKb + 4096) << "round 5: " << firstKb << " KiB, last: " << lastKb;
    RecordProperty("ResidentKiBAtRound5", std::to_string(firstKb));
    RecordProperty("ResidentKiBAtLastRound", std::to_string(lastKb));
    std::printf("resident memory: round 5 %ld KiB, round %d %ld KiB\n", firstKb, kRounds, lastKb);
}

TEST(Desktop, TheIdleSaverCoversEveryMonitorAndAKeyDismissesIt) {
    DesktopSession session(1280, 480, R"({"idleAnimateMinutes":-1})");
    twoMonitors(session);
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus(bothDrawing, 30s, &status)) << status << session.logText();
    session.x().run({"xdotool", "mousemove", "5", "5"});  // the idle time starts now

    // "Always" means ten seconds without input; the watcher looks every three.
    ASSERT_TRUE(session.waitForStatus(has("idle saver: shown"), 20s, &status)) << status;
    int covering = 0;
    for (const auto& w : session.windows())
        covering += w.mapped && w.overrideRedirect && w.width == 640 && w.height == 480;
    EXPECT_EQ(covering, 2);

    ASSERT_EQ(session.x().run({"xdotool", "key", "shift"}), 0);
    EXPECT_TRUE(session.waitForStatus(has("idle saver: hidden"), 5s, &status)) << status;
}

TEST(Desktop, PowerSaverProfilePausesTheViews) {
    DesktopSession session(640, 480, R"({"idleAnimateMinutes":0,"pauseOnLowPower":true})");
    test::FakePowerProfiles power(session.systemBusAddress(), "balanced");
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus(has("views: running"), 30s, &status))
        << status << session.logText();
    power.setProfile("power-saver");
    EXPECT_TRUE(session.waitForStatus(has("views: paused (power saving)"), 5s, &status)) << status;
    power.setProfile("balanced");
    EXPECT_TRUE(session.waitForStatus(has("views: running"), 5s, &status)) << status;
}

TEST(Desktop, TermAndHangUpEndItCleanlyWithTheSettingsStored) {
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        DesktopSession session(640, 480, R"({"idleAnimateMinutes":0})");
        session.start();
        std::string status;
        ASSERT_TRUE(session.waitForStatus(has("frames"), 30s, &status))
            << status << session.logText();
        ASSERT_EQ(session.tavel({"set", "dome"}).status, 0);
        ASSERT_EQ(kill(session.pid(), signal), 0);
        EXPECT_EQ(session.waitForExit(10s), 0);
        EXPECT_TRUE(desktopWindows(session).empty());
        EXPECT_NE(session.settingsFile().find("\"globalShaderID\":\"dome\""), std::string::npos);
        EXPECT_EQ(session.tavel({"status"}).status, 1);  // not running any more
    }
}

TEST(Desktop, ASecondStartActivatesTheFirstAndEnds) {
    DesktopSession session(640, 480, R"({"idleAnimateMinutes":0})");
    session.start();
    std::string status;
    ASSERT_TRUE(session.waitForStatus(has("frames"), 30s, &status));
    auto second = session.tavel({});
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;
}

TEST(Desktop, WithoutADisplayOneLineAndStatusOne) {
    DesktopSession session(64, 64);
    auto result = session.tavelWithoutDisplay();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

}  // namespace
}  // namespace tavel
