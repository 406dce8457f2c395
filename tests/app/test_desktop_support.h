#pragma once
// A running tavel for end-to-end tests: its own Xvfb, session and "system" buses and
// configuration folder; its command line run against it, and the X server's windows and
// pixels looked at.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/plasma_session.h"
#include "support/sway_server.h"
#include "support/temp_dir.h"
#include "support/x11_desktop_session.h"
#include "support/xvfb_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Xlib stays out of this header: its macros (None, Status...) break GoogleTest.
struct _XDisplay;

namespace tavel::test {

struct CommandResult {
    int status = -1;
    std::string out, err;
};

// A mapped top-level window of the X server.
struct WindowInfo {
    int x, y, width, height;
    bool overrideRedirect;
    std::string type;                 // the _NET_WM_WINDOW_TYPE atom name, if any
    std::vector<std::string> states;  // the _NET_WM_STATE atom names
};

// A display's line in a status text.
struct DisplayStatus {
    std::string effect;
    long frames = -1;  // -1: the display has no window
    bool operator==(const DisplayStatus&) const = default;
};
// The displays of a status text, by key.
std::map<std::string, DisplayStatus> displaysOf(const std::string& status);

class DesktopSession {
public:
    // Xvfb of the given size; `settingsJson` (when not empty) is stored before start.
    // With `sway`, the application and its commands see that compositor (its $DISPLAY and
    // session bus where its login has them) and not the Xvfb.
    DesktopSession(int width, int height, const std::string& settingsJson = "",
                   const SwayServer* sway = nullptr);
    // In a running X11 desktop (or GNOME's Wayland session) instead: its display, buses
    // and login environment, with a configuration and data folder of its own.
    DesktopSession(const X11DesktopSession& desktop, const std::string& settingsJson);
    // In a Plasma session: its compositor, Xwayland and session bus.
    DesktopSession(int width, int height, const std::string& settingsJson,
                   const PlasmaSession& plasma);
    // Asks the application to quit, as a user would, and kills it when it does not.
    ~DesktopSession();

    // The session's own Xvfb (not in an X11 desktop).
    const XvfbServer& x() const { return *xvfb_; }
    // The application (`tavel` with `args`), in the background once started. Started as
    // at login unless told otherwise: the gallery stays closed.
    void start(const std::vector<std::string>& args = {"--background"});
    ChildProgram& app() { return app_; }
    // Runs `tavel ARGS...` in this session (with no $DISPLAY at all unless `withDisplay`)
    // and waits for it.
    CommandResult tavel(const std::vector<std::string>& args, bool withDisplay = true) const;
    std::string status() const { return tavel({"status"}).out; }
    // Polls `check` (a real process: there is no clock to advance) until it holds;
    // false after `limit`.
    static bool poll(const std::function<bool()>& check, std::chrono::milliseconds limit);
    // Polls `tavel status` until `accept` takes its text, left in `last`; after `limit`, a
    // failure that shows the last text and the application's log.
    ::testing::AssertionResult waitForStatus(const std::function<bool(const std::string&)>& accept,
                                             std::chrono::milliseconds limit,
                                             std::string* last = nullptr) const;
    // The processes the application started that still run, as "PID NAME": below it in
    // the process tree, or anywhere with its environment (one whose parent ended).
    std::vector<std::string> processesStarted() const;
    // The application's resident memory in KiB, from /proc; -1 when it is not running.
    long residentKilobytes() const;
    // Mapped top-level windows of the X server, bottom first.
    std::vector<WindowInfo> windows() const;
    // Mean brightness (0..255) of the root window's pixels in a rectangle.
    double brightness(int x, int y, int width, int height) const;
    std::string settingsFile() const;
    // Where the application keeps what it makes ($XDG_DATA_HOME/Tavel).
    std::filesystem::path dataFolder() const {
        return desktop_ ? dir_ / "data" / "Tavel" : dir_ / ".local/share/Tavel";
    }
    const std::string& systemBusAddress() const {
        return desktop_ ? desktop_->systemBusAddress() : system_->address();
    }
    std::string logText() const;  // the application's standard error

private:
    void storeSettings(const std::string& settingsJson);
    std::filesystem::path settingsPath() const;
    std::vector<std::string> environment(bool withDisplay = true) const;

    TempDir dir_;
    const SwayServer* sway_ = nullptr;
    const PlasmaSession* plasma_ = nullptr;
    const X11DesktopSession* desktop_ = nullptr;
    std::optional<XvfbServer> xvfb_;  // the session's own, without a desktop
    std::optional<DbusDaemon> session_, system_;
    _XDisplay* display_ = nullptr;
    ChildProgram app_;  // last: gone before the server and buses it uses
};

}  // namespace tavel::test
