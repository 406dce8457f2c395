// halvane as screen-saver hosts run it: a separate process on the test program's Xvfb,
// drawing into a window the test made (as a host makes one), ended by a signal or by
// the window's destruction. Its log lines are read from a pseudo-terminal on its
// standard error (the system log sink writes there only when that is a terminal).

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

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

// How long a check may take at most; a fault fails the test after this, never hangs it.
constexpr auto kLimit = 30s;

// A pseudo-terminal whose other end becomes a child's standard error.
class Terminal {
public:
    Terminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        path_ = ptsname(master_);
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~Terminal() { close(master_); }
    const char* path() const { return path_.c_str(); }
    // The lines written so far, without the terminal's carriage returns.
    std::vector<std::string> lines() {
        char buffer[4096];
        for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) text_.append(buffer, n);
        std::vector<std::string> lines;
        std::istringstream in(text_);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

private:
    int master_ = -1;
    std::string path_;
    std::string text_;
};

struct Pixels {
    double white = 0, black = 0;  // fractions of the pixels
    std::size_t colours = 0;      // distinct values
};

class Halvane : public ::testing::Test {
protected:
    test::TempDir dir;
    Display* display = nullptr;
    std::vector<Window> windows;
    Terminal terminal;
    test::ChildProgram halvane;

    void SetUp() override {
        display = XOpenDisplay(test::sharedXvfb().name().c_str());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        halvane.stop(SIGKILL);
        for (Window w : windows) XDestroyWindow(display, w);
        XCloseDisplay(display);
    }

    // A mapped white window, as a host makes one for its saver.
    Window makeWindow(int x, int y, int width, int height) {
        int screen = DefaultScreen(display);
        Window w = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, width, height, 0,
                                       0, WhitePixel(display, screen));
        XMapWindow(display, w);
        XSync(display, False);
        windows.push_back(w);
        return w;
    }

    void storeSettings(const std::string& json) {
        std::filesystem::create_directories(dir / "config" / "io.tavel.Tavel");
        std::ofstream(dir / "config" / "io.tavel.Tavel" / "marlowen.settings.v2") << json;
    }

    std::vector<std::string> environment(const std::vector<std::string>& more = {}) {
        std::vector<std::string> overrides = {"DISPLAY=" + test::sharedXvfb().name(),
                                              "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                              "HOME=" + dir.path().string()};
        overrides.insert(overrides.end(), more.begin(), more.end());
        return test::environmentWith(overrides, {"XSCREENSAVER_WINDOW"});
    }

    void start(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        std::vector<std::string> command = args;
        command.insert(command.begin(), HALVANE_BINARY);
        ASSERT_TRUE(halvane.start(command, environment(env), terminal.path()));
    }

    Pixels pixels(Window w, int x, int y, int width, int height) {
        Pixels result;
        XImage* image = XGetImage(display, w, x, y, width, height, AllPlanes, ZPixmap);
        if (!image) return result;
        std::set<unsigned long> seen;
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                unsigned long p = XGetPixel(image, i, j) & 0xffffff;
                seen.insert(p);
                result.white += p == 0xffffff;
                result.black += ((p >> 16) & 255) <= 2 && ((p >> 8) & 255) <= 2 && (p & 255) <= 2;
            }
        XDestroyImage(image);
        result.white /= width * height;
        result.black /= width * height;
        result.colours = seen.size();
        return result;
    }

    // An effect covers the whole rectangle: nothing of the white background is left,
    // and it is a picture, not one flat colour.
    bool effectCovers(Window w, int x, int y, int width, int height) {
        Pixels p = pixels(w, x, y, width, height);
        return p.white == 0 && p.colours >= 16;
    }

    // Waits until `check` holds; false when halvane ended first or after kLimit. Woken
    // by halvane's end at once; otherwise it looks again every 50 ms.
    bool waitUntil(const std::function<bool()>& check) {
        const auto deadline = std::chrono::steady_clock::now() + kLimit;
        while (!check()) {
            if (halvane.waitForExit(50ms) || std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return true;
    }

    // halvane's log lines other than the start line and the frame lines.
    std::vector<std::string> otherLines() {
        std::vector<std::string> other;
        for (const auto& line : terminal.lines())
            if (!line.starts_with("HalvaneSaver: animateOneFrame #") &&
                line != "HalvaneSaver: startAnimation, interval=0.03333333333333333")
                other.push_back(line);
        return other;
    }
};

std::string hex(Window w) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", w);
    return text;
}

TEST_F(Halvane, DrawsIntoTheNamedWindowFollowsItsSizeAndEndsOnSigterm) {
    Window w = makeWindow(700, 40, 96, 64);
    start({"--window-id", std::to_string(w)});
    EXPECT_TRUE(waitUntil([&] { return effectCovers(w, 0, 0, 96, 64); }));

    // The new part of the window shows white until halvane draws over it at the new size.
    XResizeWindow(display, w, 160, 112);
    XSync(display, False);
    EXPECT_TRUE(waitUntil([&] { return effectCovers(w, 96, 0, 64, 112); }));
    EXPECT_TRUE(effectCovers(w, 0, 64, 160, 48));

    EXPECT_EQ(halvane.stop(SIGTERM), 0);
    auto lines = terminal.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "HalvaneSaver: startAnimation, interval=0.03333333333333333");
    EXPECT_EQ(lines[1], "HalvaneSaver: animateOneFrame #1");
    EXPECT_EQ(lines[3], "HalvaneSaver: animateOneFrame #3");
    EXPECT_EQ(otherLines(), std::vector<std::string>{});
}

// The host's window from the environment wins over --root; the stored global effect is
// shown with its stored tuning (intensity 0: black over the white window), not with
// the tuning stored for the flagship.
TEST_F(Halvane, ShowsTheStoredEffectWithItsTuningInTheHostsWindowAndEndsOnSigint) {
    storeSettings(R"({"globalShaderID":"tiles","params":{)"
                  R"("tiles":{"speed":1,"zoom":1,"intensity":0,"hue":0},)"
                  R"("halvane":{"speed":1,"zoom":1,"intensity":1,"hue":0}}})");
    Window w = makeWindow(700, 200, 80, 48);
    start({"--root"}, {"XSCREENSAVER_WINDOW=" + hex(w)});
    EXPECT_TRUE(waitUntil([&] { return pixels(w, 0, 0, 80, 48).black == 1.0; }));
    EXPECT_EQ(halvane.stop(SIGINT), 0);
    EXPECT_EQ(otherLines(), std::vector<std::string>{});
}

TEST_F(Halvane, EndsWithOneLineWhenTheHostDestroysItsWindow) {
    Window w = makeWindow(700, 300, 64, 48);
    start({"--window-id", hex(w)});
    ASSERT_TRUE(waitUntil([&] { return effectCovers(w, 0, 0, 64, 48); }));
    XDestroyWindow(display, w);
    XSync(display, False);
    windows.clear();
    EXPECT_EQ(halvane.waitForExit(kLimit), 0);
    EXPECT_EQ(otherLines(),
              std::vector<std::string>{"HalvaneSaver: the window " + hex(w) + " is gone"});
}

// Without a window from the host it shows one of its own; the window manager's close
// request ends it.
TEST_F(Halvane, PreviewsInAWindowOfItsOwnUntilItIsClosed) {
    start({});
    Window own = None;
    auto find = [&] {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && own == None; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name) {
                if (std::string(name) == "halvane") own = children[i];
                XFree(name);
            }
        }
        if (children) XFree(children);
        return own != None && effectCovers(own, 0, 0, 64, 64);
    };
    ASSERT_TRUE(waitUntil(find));
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = own;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, own, False, NoEventMask, &close);
    XSync(display, False);
    EXPECT_EQ(halvane.waitForExit(kLimit), 0);
    EXPECT_EQ(otherLines(), std::vector<std::string>{});
}

TEST_F(Halvane, HelpBadArgumentsAndMissingWindowsGetOneLine) {
    struct Case {
        std::vector<std::string> args;
        std::string hostWindow;  // $XSCREENSAVER_WINDOW
        int status;
    };
    const Case cases[] = {
        {{"--window-id"}, "", 2},
        {{"--window-id", "zebra"}, "", 2},
        {{"--window-id", "0"}, "", 2},
        {{"--window-id", "12abc"}, "", 2},
        {{"--window-id", "0x20000000"}, "", 2},
        {{"--fullscreen"}, "", 2},
        {{"--root", "extra"}, "", 2},
        {{}, "0xzz", 2},
        {{"--window-id", "0x1fffff0"}, "", 1},  // no such window
        {{}, "0x1fffff0", 1},
    };
    auto run = [&](const std::vector<std::string>& args, const std::string& hostWindow) {
        std::vector<std::string> command = args;
        command.insert(command.begin(), HALVANE_BINARY);
        std::vector<std::string> env;
        if (!hostWindow.empty()) env.push_back("XSCREENSAVER_WINDOW=" + hostWindow);
        int status = test::waitProcess(test::startProcess(
            command, environment(env), (dir / "out").c_str(), (dir / "err").c_str()));
        auto slurp = [](const std::filesystem::path& path) {
            std::stringstream text;
            text << std::ifstream(path).rdbuf();
            return text.str();
        };
        return std::tuple{status, slurp(dir / "out"), slurp(dir / "err")};
    };
    for (const Case& c : cases) {
        auto [status, out, err] = run(c.args, c.hostWindow);
        std::string shown = c.hostWindow;
        for (const auto& a : c.args) shown += " " + a;
        EXPECT_EQ(status, c.status) << shown;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << shown << ": " << err;
        EXPECT_TRUE(err.starts_with("halvane: ")) << shown << ": " << err;
        EXPECT_EQ(out, "") << shown;
    }
    auto [status, out, err] = run({"--help"}, "");
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("--window-id ID"), std::string::npos) << out;
    EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace tavel
