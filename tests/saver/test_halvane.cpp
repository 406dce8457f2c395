// halvane run as hosts run it, on Xvfb; its log (terminal-only) read from a pseudo-terminal.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// How long a check may take at most; a fault fails the test after this, never hangs it.
constexpr auto kLimit = 30s;
const std::string kStartLine = "HalvaneSaver: startAnimation, interval=0.03333333333333333";
const std::string kFrameLine = "HalvaneSaver: animateOneFrame #";

std::string hex(Window w) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", w);
    return text;
}

class Halvane : public ::testing::Test {
protected:
    test::TempDir dir;
    Display* display = XOpenDisplay(test::sharedXvfb().name().c_str());  // its windows go with it
    int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::string logText;
    test::ChildProgram halvane;

    void SetUp() override {
        ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        halvane.stop(SIGKILL);
        if (display) XCloseDisplay(display);
        close(terminal);
    }

    // A mapped white window, as a host makes one for its saver.
    Window makeWindow(int x, int y, int width, int height) {
        Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, width, height, 0,
                                       0, WhitePixel(display, DefaultScreen(display)));
        XMapWindow(display, w);
        XSync(display, False);
        return w;
    }

    // Without a CPU budget unless one is given: its line would join every log.
    std::vector<std::string> environment(const std::string& hostWindow,
                                         const std::string& budget = "0") {
        std::vector<std::string> overrides = {
            "DISPLAY=" + test::sharedXvfb().name(), "XDG_CONFIG_HOME=" + (dir / "config").string(),
            "HOME=" + dir.path().string(), "TAVEL_CPU_BUDGET=" + budget};
        if (!hostWindow.empty()) overrides.push_back("XSCREENSAVER_WINDOW=" + hostWindow);
        return test::environmentWith(overrides, {"XSCREENSAVER_WINDOW"});
    }

    void start(std::vector<std::string> args, const std::string& hostWindow = "",
               const std::string& budget = "0") {
        args.insert(args.begin(), HALVANE_BINARY);
        ASSERT_TRUE(halvane.start(args, environment(hostWindow, budget), ptsname(terminal)));
    }

    // The distinct pixel values (0xRRGGBB) in a rectangle of a mapped window.
    std::set<unsigned long> colours(Window w, int x, int y, int width, int height) {
        std::set<unsigned long> seen;
        if (XImage* image = XGetImage(display, w, x, y, width, height, AllPlanes, ZPixmap)) {
            for (int j = 0; j < height; ++j)
                for (int i = 0; i < width; ++i) seen.insert(XGetPixel(image, i, j) & 0xffffff);
            XDestroyImage(image);
        }
        return seen;
    }

    // No white background left, and a picture, not one flat colour.
    bool effectCovers(Window w, int x, int y, int width, int height) {
        auto seen = colours(w, x, y, width, height);
        return seen.size() >= 16 && !seen.contains(0xffffff);
    }

    // False when halvane ended first or after kLimit.
    bool waitUntil(const std::function<bool()>& check) {
        const auto deadline = std::chrono::steady_clock::now() + kLimit;
        while (!check()) {
            if (halvane.waitForExit(50ms) || std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return true;
    }

    // Log lines other than start and frame lines; logText keeps all of them.
    Lines otherLines() {
        char buffer[4096];
        for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
            std::ranges::copy_if(std::string_view(buffer, n), std::back_inserter(logText),
                                 [](char c) { return c != '\r'; });
        Lines other;
        std::istringstream in(logText);
        for (std::string line; std::getline(in, line);)
            if (line != kStartLine && !line.starts_with(kFrameLine)) other.push_back(line);
        return other;
    }
};

// On llvmpipe it keeps to the CPU budget, the option over the environment.
TEST_F(Halvane, DrawsIntoTheNamedWindowFollowsItsSizeKeepsItsBudgetAndEndsOnSigterm) {
    Window w = makeWindow(700, 40, 96, 64);
    start({"--window-id", std::to_string(w), "--cpu-budget", "5"}, "", "40");
    EXPECT_TRUE(waitUntil([&] { return effectCovers(w, 0, 0, 96, 64); }));

    // The new part of the window shows white until halvane draws over it at the new size.
    XResizeWindow(display, w, 160, 112);
    XSync(display, False);
    EXPECT_TRUE(waitUntil([&] { return effectCovers(w, 0, 0, 160, 112); }));
    // Two frames can be all it drew by then.
    EXPECT_TRUE(waitUntil([&] {
        otherLines();
        return logText.find(kFrameLine + "3\n") != std::string::npos;
    }));

    EXPECT_EQ(halvane.stop(SIGTERM), 0);
    Lines other = otherLines();
    ASSERT_EQ(other.size(), 1u) << logText;
    EXPECT_TRUE(other[0].ends_with(": keeping within 5% of a core")) << logText;
}

// The host's window wins over --root; the global effect shows its own tuning (intensity 0: black).
TEST_F(Halvane, ShowsTheStoredEffectInTheHostsWindowUntilTheHostDestroysIt) {
    std::filesystem::create_directories(dir / "config" / "io.tavel.Tavel");
    std::ofstream(dir / "config" / "io.tavel.Tavel" / "marlowen.settings.v2")
        << R"({"globalShaderID":"tiles","params":{)"
           R"("tiles":{"speed":1,"zoom":1,"intensity":0,"hue":0},)"
           R"("halvane":{"speed":1,"zoom":1,"intensity":1,"hue":0}}})";
    Window w = makeWindow(700, 200, 80, 48);
    start({"--root"}, hex(w));
    EXPECT_TRUE(waitUntil([&] {
        auto seen = colours(w, 0, 0, 80, 48);
        return !seen.empty() &&
               std::ranges::all_of(seen, [](unsigned long p) { return (p & 0xfcfcfc) == 0; });
    }));
    XDestroyWindow(display, w);
    XSync(display, False);
    EXPECT_EQ(halvane.waitForExit(kLimit), 0);
    EXPECT_EQ(otherLines(), Lines{"HalvaneSaver: the window " + hex(w) + " is gone"});
}

// Drawn on the root window, it gives the root its own background back when it ends.
TEST_F(Halvane, OnTheRootItLeavesTheRootsBackgroundWhenItEnds) {
    Window root = DefaultRootWindow(display);
    XSetWindowBackground(display, root, WhitePixel(display, DefaultScreen(display)));
    XClearWindow(display, root);
    XSync(display, False);
    start({"--root"});
    EXPECT_TRUE(waitUntil([&] { return effectCovers(root, 200, 200, 96, 96); }));
    EXPECT_EQ(halvane.stop(SIGTERM), 0);
    EXPECT_EQ(colours(root, 200, 200, 96, 96), std::set<unsigned long>{0xffffff});
}

// Without a host window it shows its own, until the window manager's close request.
TEST_F(Halvane, PreviewsInAWindowOfItsOwnUntilItIsClosed) {
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    start({});
    Window own = None;
    ASSERT_TRUE(waitUntil([&] {
        for (XEvent mapped; XCheckTypedEvent(display, MapNotify, &mapped);)
            own = mapped.xmap.window;
        return own != None && effectCovers(own, 0, 0, 64, 64);
    }));
    XEvent close{};
    XClientMessageEvent& request = close.xclient;
    request.type = ClientMessage;
    request.window = own;
    request.format = 32;
    request.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    request.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, own, False, NoEventMask, &close);
    XSync(display, False);
    EXPECT_EQ(halvane.waitForExit(kLimit), 0);
    EXPECT_EQ(otherLines(), Lines{});
}

// Bad arguments exit 2, an unusable window 1, each with one line; --help prints the usage.
TEST_F(Halvane, HelpBadArgumentsAndMissingWindows) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string hostWindow = "";  // $XSCREENSAVER_WINDOW
        std::string budget = "0";     // $TAVEL_CPU_BUDGET
    };
    const Case cases[] = {
        {{"--window-id", "12abc"}, 2},
        {{}, 1, "0x1fffff0"},  // no such window
        {{"--help"}, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> command = c.args;
        command.insert(command.begin(), HALVANE_BINARY);
        const auto out = dir / "out", err = dir / "err";
        int status = test::waitProcess(test::startProcess(
            command, environment(c.hostWindow, c.budget), out.c_str(), err.c_str()));
        const std::string text = test::slurp(c.status ? err : out);  // help on standard output
        EXPECT_EQ(status, c.status) << c.hostWindow << testing::PrintToString(c.args);
        EXPECT_TRUE(c.status ? text.starts_with("halvane: ") && std::ranges::count(text, '\n') == 1
                             : text.starts_with("Usage: halvane"))
            << text;
    }
}

}  // namespace
}  // namespace tavel
