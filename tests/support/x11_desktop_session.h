#pragma once
// A real desktop started as its login starts it (on Xvfb, or GNOME's Wayland session through
// its Xwayland), with icons on ~/Desktop; what a person sees there and does.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/shot.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <sdbus-c++/sdbus-c++.h>  // before Xlib, whose macros (Status, None...) break it

#include <gtest/gtest.h>

#include <list>
#include <optional>
#include <string>
#include <vector>

// Xlib stays out of this header: its macros (None, Status...) break GoogleTest.
struct _XDisplay;

namespace tavel::test {

enum class X11Desktop { Xfce, Gnome, GnomeWayland, Mate };
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

struct DesktopLogin {  // what each desktop's login does
    enum Trait {
        Panel = 1,          // a dock window shows before the baseline
        OverviewFirst = 2,  // opens on an overview, which the person leaves
        Wayland = 4,        // a Wayland compositor: clients get its Xwayland
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
    ~X11DesktopSession();  // after what a test started itself
    X11DesktopSession(const X11DesktopSession&) = delete;
    X11DesktopSession& operator=(const X11DesktopSession&) = delete;

    const ::testing::AssertionResult& ready() const { return ready_; }  // else what is missing
    const std::string& displayName() const { return displayName_; }
    // Whether the desktop menu is an X11 window the checks can see (not on Wayland).
    bool seesMenus() const { return !login_.has(DesktopLogin::Wayland); }
    // The login's environment, with `extra` ("NAME=value", none of the login's own).
    std::vector<std::string> environment(const std::vector<std::string>& extra = {}) const;

    Shot screenshot() const;
    const Shot& baseline() const { return baseline_; }  // before any test touched it
    // Nothing but the backdrop, away from icons and panels, toward the bottom right.
    const Rect& freeArea() const { return freeArea_; }

    // Each icon's own pixels (far from the backdrop's colour) keep their colours, and the
    // panels (outside the work area, or above the desktop at the start) mostly do too.
    ::testing::AssertionResult iconsLookAsInBaseline() const;
    ::testing::AssertionResult panelsLookAsInBaseline() const;
    // A right-click in the free area opens the desktop program's menu; Escape closes it.
    ::testing::AssertionResult rightClickOpensTheDesktopMenu() const;
    // A double-click on the launcher (one of the icons) runs its command.
    ::testing::AssertionResult doubleClickOpensTheLauncher() const;

private:
    ::testing::AssertionResult start();
    void writeHome() const;
    int run(const std::vector<std::string>& command) const;
    void startProgram(const std::vector<std::string>& command);
    ::testing::AssertionResult failure(const std::string& what) const;  // with the logs' ends
    ::testing::AssertionResult waitForDesktop();
    // GNOME Shell's Wayland session: its Xwayland, screenshots, and mutter's remote desktop.
    ::testing::AssertionResult startOnWayland();
    Shot shellScreenshot() const;
    void clickAt(int x, int y, int count) const;  // left button; count 0: only moves there
    template <class... Args>
    void tell(const char* method, const Args&... args) const;
    void findIcons();
    void stopEverything();

    const DesktopLogin& login_;
    TempDir dir_;
    std::optional<XvfbServer> xvfb_;        // first made, last gone: every program is its client
    std::string displayName_, xauthority_;  // $DISPLAY and, for Xwayland, $XAUTHORITY
    _XDisplay* display_ = nullptr;
    std::optional<DbusDaemon> session_, system_;
    std::unique_ptr<sdbus::IConnection> shell_;  // on Wayland: screenshots, remote desktop
    sdbus::ObjectPath remoteDesktop_;            // that session
    std::list<ChildProgram> programs_;           // in start order
    std::vector<std::filesystem::path> logs_;    // the programs' standard error

    ::testing::AssertionResult ready_ = ::testing::AssertionFailure();
    long menuOwner_ = -1;  // the desktop program's process
    Shot baseline_;
    std::uint32_t backdrop_ = 0;
    std::vector<Rect> icons_, covered_;
    Rect workArea_, launcher_, freeArea_;
};

// The processes whose environment holds `entry` ("NAME=value"), as a session marks its own.
std::vector<pid_t> processesWith(const std::string& entry);

}  // namespace tavel::test
