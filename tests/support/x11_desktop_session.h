#pragma once
// A real desktop started as its login starts it (on Xvfb, or GNOME's Wayland session through
// its Xwayland), with icons on ~/Desktop; what a person sees there and does.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/shot.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <gtest/gtest.h>

#include <chrono>
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
std::string nameOf(X11Desktop desktop);  // "xfce", "gnome_wayland"...

// A viewable window that can show something, bottom first among its siblings.
struct TopLevel {
    unsigned long window;
    Rect rect;
    bool overrideRedirect;
    std::vector<std::string> types, states;  // _NET_WM_WINDOW_TYPE and _NET_WM_STATE names
    bool typed(const std::string& type) const { return std::ranges::count(types, type) > 0; }
};
// The children of `parent` (0: the root window).
std::vector<TopLevel> childrenOf(_XDisplay* display, unsigned long parent = 0);
// The root window's pixels in `area` (not taken when they cannot be read).
Shot grab(_XDisplay* display, const Rect& area);

// What each desktop's login does.
struct DesktopLogin {
    enum Trait {
        Composites = 1,
        Icons = 2,          // a desktop program draws icons
        Panel = 4,          // a dock window shows before the baseline
        OverviewFirst = 8,  // opens on an overview, which the person leaves
        Wayland = 16,       // a Wayland compositor: clients get its Xwayland
    };
    const char* name;                                // XDG_CURRENT_DESKTOP
    const char* session;                             // DESKTOP_SESSION and XDG_SESSION_DESKTOP
    std::vector<std::vector<std::string>> settings;  // the person's, stored before
    std::vector<std::string> windowManager;
    std::vector<std::vector<std::string>> programs;  // once the window manager runs
    int traits = 0;
    bool has(Trait trait) const { return traits & trait; }
};

class X11DesktopSession {
public:
    // Starts the desktop on 1280x720 and, once every icon is drawn, takes the baseline.
    explicit X11DesktopSession(X11Desktop desktop);
    // Stops everything the session started; destroy it after what a test started itself.
    ~X11DesktopSession();
    X11DesktopSession(const X11DesktopSession&) = delete;
    X11DesktopSession& operator=(const X11DesktopSession&) = delete;

    const ::testing::AssertionResult& ready() const { return ready_; }  // else what is missing
    _XDisplay* openDisplay() const;                                     // null when it fails
    // Whether the desktop menu is an X11 window the checks can see (not on Wayland).
    bool seesMenus() const { return !login_.has(DesktopLogin::Wayland); }
    const std::string& systemBusAddress() const { return system_->address(); }
    // The login's environment, with `extra` ("NAME=value", none of the login's own).
    std::vector<std::string> environment(const std::vector<std::string>& extra = {}) const;

    Shot screenshot() const;
    const Shot& baseline() const { return baseline_; }  // before any test touched it
    // What the baseline shows on the desktop off the backdrop (an icon and its label),
    // clear of panels; the launcher is one of them.
    const std::vector<Rect>& icons() const { return icons_; }
    // Nothing but the backdrop, away from icons and panels, toward the bottom right.
    const Rect& freeArea() const { return freeArea_; }

    // Each icon's own pixels (far from the backdrop's colour) keep their colours.
    ::testing::AssertionResult iconsLookAsInBaseline() const;
    // The panels (outside the work area, or above the desktop at the start) mostly do too.
    ::testing::AssertionResult panelsLookAsInBaseline() const;
    // A right-click in the free area opens the desktop program's menu (without one, the
    // window manager's); Escape closes it.
    ::testing::AssertionResult rightClickOpensTheDesktopMenu() const;
    // A double-click on the launcher runs its command.
    ::testing::AssertionResult doubleClickOpensTheLauncher() const;

private:
    ::testing::AssertionResult start();
    void writeHome() const;
    int run(const std::vector<std::string>& command) const;
    void startProgram(const std::vector<std::string>& command);
    std::string log() const;
    // GNOME Shell's Wayland session.
    ::testing::AssertionResult findXwayland();
    ::testing::AssertionResult startRemoteDesktop();
    void leaveOverview() const;
    Shot shellScreenshot() const;
    void clickAt(int x, int y, int button, int count) const;  // count 0: only moves there
    ::testing::AssertionResult waitForWindowManager() const;
    ::testing::AssertionResult waitForDesktop();
    void findIcons();
    void stopEverything();

    const DesktopLogin& login_;
    TempDir dir_;
    std::optional<XvfbServer> xvfb_;        // first made, last gone: every program is its client
    std::string displayName_, xauthority_;  // $DISPLAY and, for Xwayland, $XAUTHORITY
    _XDisplay* display_ = nullptr;
    std::optional<DbusDaemon> session_, system_;
    // On Wayland: GNOME Shell's screenshots and remote desktop session, on this connection.
    std::unique_ptr<sdbus::IConnection> shell_;
    std::string remoteDesktop_;
    std::list<ChildProgram> programs_;         // in start order
    std::vector<std::filesystem::path> logs_;  // the programs' standard error

    ::testing::AssertionResult ready_ = ::testing::AssertionFailure();
    long menuOwner_ = -1;  // the process whose menu a right-click on the desktop opens
    Shot baseline_;
    std::uint32_t backdrop_ = 0;
    std::vector<Rect> icons_, covered_;
    Rect workArea_, launcher_, freeArea_;
};

// The processes whose environment holds `entry` ("NAME=value"), as a session marks its own.
std::vector<pid_t> processesWith(const std::string& entry);

}  // namespace tavel::test
