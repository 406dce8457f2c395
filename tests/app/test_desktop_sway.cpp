// tavel under sway: a background surface on each output, its tray item in the person's bar,
// the idle saver on the compositor's idle notifications, the gallery through Xwayland.

#include "app/test_desktop_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::DesktopSession;
using test::framesOfOnly;
using test::has;

// Whether process `pid` has an inotify watch on `folder`, as one waiting for a socket does.
bool watchesFolder(pid_t pid, const std::filesystem::path& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return false;
    char inode[40];
    std::snprintf(inode, sizeof inode, " ino:%lx ", static_cast<unsigned long>(info.st_ino));
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fdinfo", ignored))
        if (test::slurp(entry.path()).find(inode) != std::string::npos) return true;
    return false;
}

// Sway as a login starts it (Xwayland, swaybg, waybar), tavel started after it or before
// (then without $DISPLAY for the gallery); once tavel quits, nothing it started is left.
class UnderSway : public ::testing::TestWithParam<bool> {};

TEST_P(UnderSway, TheEffectShowsAboveThePersonsBackgroundAndItsItemInTheBar) {
    const bool tavelFirst = GetParam();
    test::SwayServer sway(
        {"output * mode 320x240", "default_border none"}, nullptr,
        {.xwayland = true, .background = 0x3366cc, .bar = true, .later = tavelFirst});
    DesktopSession session(64, 64, R"({"idleAnimateMinutes":0})", &sway);
    if (tavelFirst) {
        session.start();
        // Waiting for the compositor's socket before the compositor starts.
        ASSERT_TRUE(test::waitUntil(
                        [&] {
                            return watchesFolder(session.app().pid(), sway.runtimeDir()) ||
                                   session.app().waitForExit(0ms).has_value();
                        },
                        20s) &&
                    session.app().pid() > 0)
            << session.logText();
        sway.start();
    } else {
        ASSERT_EQ(test::SwayServer::trayPixels(test::screenshot(sway, "HEADLESS-1")), 0);
        session.start();
    }
    std::string status;
    ASSERT_TRUE(session.waitForStatus([](const std::string& s) { return framesOfOnly(s) > 3; }, 30s,
                                      &status));
    EXPECT_TRUE(has(tavelFirst ? "gallery: unavailable" : "gallery: hidden")(status)) << status;
    // The EGL context names Mesa's rasteriser too: the budget applies.
    EXPECT_TRUE(has("cpu budget: 25% of a core (llvmpipe")(status)) << status;

    // The effect moves over most of the output (swaybg's plain picture over it would not).
    const test::Shot first = test::screenshot(sway, "HEADLESS-1");
    const long frames = framesOfOnly(session.status());
    ASSERT_TRUE(session.waitForStatus(
        [&](const std::string& s) { return framesOfOnly(s) > frames + 3; }, 20s));
    const test::Shot second = test::screenshot(sway, "HEADLESS-1");
    ASSERT_TRUE(first.taken && second.taken) << sway.log();
    EXPECT_GT(test::changedShare(first, second), 0.3);

    // The bar's tray draws tavel's item (the only one there).
    EXPECT_TRUE(test::waitUntil(
        [&] { return test::SwayServer::trayPixels(test::screenshot(sway, "HEADLESS-1")) > 30; },
        20s))
        << session.logText();

    if (!tavelFirst) {
        // A second start opens the gallery: GLX and EGL take turns, and both go on drawing.
        ASSERT_EQ(session.tavel({}).status, 0);
        ASSERT_TRUE(session.waitForStatus(
            [](const std::string& s) { return test::galleryFrames(s) > 3; }, 20s, &status));
        const long desktop = framesOfOnly(status), gallery = test::galleryFrames(status);
        EXPECT_TRUE(session.waitForStatus(
            [&](const std::string& s) {
                return framesOfOnly(s) > desktop + 3 && test::galleryFrames(s) > gallery + 3;
            },
            20s));
    }

    // An output added gets a background surface of its own that draws.
    ASSERT_EQ(sway.run({"swaymsg", "create_output"}), 0);
    EXPECT_TRUE(session.waitForStatus(
        [](const std::string& text) {
            auto displays = test::displaysOf(text);
            return displays.size() == 2 && std::all_of(displays.begin(), displays.end(),
                                                       [](auto& d) { return d.second.frames > 3; });
        },
        30s));

    ASSERT_EQ(session.tavel({"quit"}).status, 0);
    ASSERT_TRUE(session.app().waitForExit(10s).has_value());
    EXPECT_EQ(session.processesStarted(), std::vector<std::string>{});
    EXPECT_TRUE(
        test::waitUntil([&] { return sway.showsBackground(test::screenshot(sway, "")); }, 10s))
        << "the person's background does not show again";
}

INSTANTIATE_TEST_SUITE_P(, UnderSway, ::testing::Bool(), [](const auto& info) {
    return info.param ? "TavelStartedBeforeTheLogin" : "TavelStartedAfterTheLogin";
});

// The compositor's idle notifications, on a plain sway where nothing else stands in,
// start the saver; a key typed on the seat (wtype's virtual keyboard) dismisses it.
TEST(Desktop, UnderAWaylandCompositorTheIdleSaverComesAndAKeyDismissesIt) {
    test::SwayServer sway({"output * mode 320x240", "default_border none"});
    DesktopSession session(64, 64, R"({"idleAnimateMinutes":-1})", &sway);
    session.start();
    // "Always" means ten seconds without input; the watcher looks every three.
    ASSERT_TRUE(session.waitForStatus(has("idle saver: shown"), 30s));
    std::vector<std::string> keys = {"wtype"};
    for (int i = 0; i < 20; ++i) keys.insert(keys.end(), {"-s", "150", "x"});
    test::ChildProgram typing;
    ASSERT_TRUE(sway.start(typing, keys));
    EXPECT_TRUE(session.waitForStatus(has("idle saver: hidden"), 10s));
}

}  // namespace
}  // namespace tavel
