#pragma once
// One real desktop whose windows Tavel makes through X11, started as its login starts it:
// an X11 desktop on a private Xvfb, or GNOME's Wayland session (gnome-shell headless with
// a virtual monitor and its Xwayland, where Tavel's windows go). A session bus that
// starts services on demand, a private system bus, XDG_CURRENT_DESKTOP, the desktop's own
// window manager or compositor (compositing where the desktop composites) and its own
// program that draws the icons, and a home whose ~/Desktop holds a folder, a text file
// and a trusted launcher. Then what a person sees and does there: screenshots (read back
// with XGetImage from the root window, what the compositor shows; on Wayland, GNOME
// Shell's own), and clicks with xdotool. Everything the session started is stopped at
// the end, services included.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Xlib stays out of this header: its macros (None, Status...) break GoogleTest.
struct _XDisplay;
namespace sdbus {
class IConnection;
}

namespace tavel::test {

enum class X11Desktop { Xfce, Gnome, GnomeWayland, Mate, Openbox };
// "xfce", "gnome", "gnome_wayland", "mate", "openbox": for test names.
std::string nameOf(X11Desktop desktop);

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool intersects(const Rect& o) const {
        return x < o.x + o.width && o.x < x + width && y < o.y + o.height && o.y < y + height;
    }
    Rect grown(int by) const { return {x - by, y - by, width + 2 * by, height + 2 * by}; }
    int centerX() const { return x + width / 2; }
    int centerY() const { return y + height / 2; }
};

// A screenshot: 0xRRGGBB, rows top first.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};
// The share of pixels in `area` that differ between two pictures of the same size.
double changedShare(const Picture& a, const Picture& b, const Rect& area);

class X11DesktopSession {
public:
    // Starts the desktop on a 1280x720 Xvfb (or GNOME Shell's 1280x720 virtual monitor)
    // and waits (at most a minute) until its window manager runs and, where it has one,
    // the desktop program's window is mapped with every icon drawn; then takes the
    // baseline. ready() says whether all that happened.
    explicit X11DesktopSession(X11Desktop desktop);
    // Stops the desktop's programs, then every process that still carries the session's
    // mark (services the bus started, what they started), then the buses and Xvfb. The
    // test process stays their subreaper and waits for every child that ended: destroy
    // this after the programs a test started itself.
    ~X11DesktopSession();
    X11DesktopSession(const X11DesktopSession&) = delete;
    X11DesktopSession& operator=(const X11DesktopSession&) = delete;

    // Success once started; else what did not come, with the programs' logs.
    const ::testing::AssertionResult& ready() const { return ready_; }
    // From the first program started to the baseline taken.
    std::chrono::milliseconds startupTime() const { return startupTime_; }
    X11Desktop desktop() const { return desktop_; }
    // The X display the session gives its clients ($DISPLAY): Xvfb's, or Xwayland's.
    const std::string& displayName() const { return displayName_; }
    // A new connection to it, with the session's authority; null when it fails.
    _XDisplay* openDisplay() const;
    // Whether rightClickOpensTheDesktopMenu() can see the menu: it looks for the menu's
    // X11 window, which a desktop program on Wayland does not make.
    bool seesMenus() const;
    const std::string& systemBusAddress() const { return system_->address(); }
    // The environment the login gives its programs, with `overrides` ("NAME=value") in
    // place and the variables in `remove` left out.
    std::vector<std::string> environment(const std::vector<std::string>& overrides = {},
                                         const std::vector<std::string>& remove = {}) const;
    // Runs a client tool (xdotool...) in the session and waits for it: its exit status.
    int run(const std::vector<std::string>& command) const;

    Picture screenshot() const;
    // The screen as the desktop showed it once started, before any test touched it.
    const Picture& baseline() const { return baseline_; }
    // Where the baseline shows something other than the backdrop on the desktop
    // program's window (an icon with its label), within the work area and clear of
    // windows above the desktop (panels); the launcher is one of them.
    const std::vector<Rect>& icons() const { return icons_; }
    const Rect& launcher() const { return launcher_; }
    // A part of the desktop with nothing but the backdrop on it, away from the icons and
    // panels, toward the bottom right (where the effects show most).
    const Rect& freeArea() const { return freeArea_; }

    // Every icon shows as in the baseline: its own pixels (those far from the backdrop's
    // colour) keep their colours; what shows around them may differ.
    ::testing::AssertionResult iconsLookAsInBaseline() const;
    // The panels (what lies outside the work area, and the windows above the desktop
    // there were at the start) still show: most of each is as in the baseline (a clock
    // and the tray's new icons change a little).
    ::testing::AssertionResult panelsLookAsInBaseline() const;
    // A right-click in the free area opens a menu of the desktop program (without one,
    // the window manager's desktop menu); Escape closes it again.
    ::testing::AssertionResult rightClickOpensTheDesktopMenu() const;
    // A double-click on the launcher runs its command (on Wayland, clicked through
    // mutter's remote desktop, as xdotool's clicks reach X clients only).
    ::testing::AssertionResult doubleClickOpensTheLauncher() const;

    // What the desktop's programs wrote, for failure messages.
    std::string log() const;

private:
    ::testing::AssertionResult start();
    void startProgram(const std::vector<std::string>& command);
    ::testing::AssertionResult findXwayland();
    ::testing::AssertionResult startRemoteDesktop();
    void leaveOverview() const;
    ::testing::AssertionResult waitForDesktop();
    Picture shellScreenshot() const;
    // On Wayland: the pointer moved to a place, and clicked there `count` times.
    void pointerTo(int x, int y) const;
    void clickAt(int x, int y, int button, int count) const;
    void findIcons();
    void stopEverything();

    X11Desktop desktop_;
    TempDir dir_;
    std::optional<XvfbServer> xvfb_;        // first made, last gone: every program is its client
    std::string displayName_, xauthority_;  // $DISPLAY and, for Xwayland, $XAUTHORITY
    _XDisplay* display_ = nullptr;
    std::optional<DbusDaemon> session_, system_;
    // On Wayland: the connection that asks GNOME Shell for screenshots, and its remote
    // desktop session (which lives as long as the connection) for the pointer.
    std::unique_ptr<sdbus::IConnection> shell_;
    std::string remoteDesktop_;
    std::list<ChildProgram> programs_;         // in start order
    std::vector<std::filesystem::path> logs_;  // the programs' standard error

    ::testing::AssertionResult ready_ = ::testing::AssertionFailure();
    std::chrono::milliseconds startupTime_{0};
    long menuOwner_ = -1;  // the process whose menu a right-click on the desktop opens
    Picture baseline_;
    std::uint32_t backdrop_ = 0;
    std::vector<Rect> icons_, covered_;
    Rect workArea_, launcher_, freeArea_;
};

}  // namespace tavel::test
