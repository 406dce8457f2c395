#pragma once
// A running tavel on its own Xvfb and buses, or in a sway, Plasma or X11 desktop session.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/plasma_session.h"
#include "support/sway_server.h"
#include "support/temp_dir.h"
#include "support/x11_desktop_session.h"
#include "support/xvfb_server.h"

#include <gtest/gtest.h>

#include <map>

// Xlib stays out of this header: its macros (None, Status...) break GoogleTest.
struct _XDisplay;

namespace tavel::test {

struct CommandResult {
    int status = -1;
    std::string out, err;
};

struct DisplayStatus {
    std::string effect;
    long frames = -1;  // -1: the display has no window
    bool operator==(const DisplayStatus&) const = default;
};
// The displays of a status text, by key.
std::map<std::string, DisplayStatus> displaysOf(const std::string& status);
// The frames of the one display, -1 before the first or with several.
long framesOfOnly(const std::string& status);
// The frames the gallery window drew, -1 while it is not shown.
long galleryFrames(const std::string& status);
std::function<bool(const std::string&)> has(std::string part);

class DesktopSession {
public:
    // Xvfb of the given size, `settingsJson` stored; the application sees `sway` or
    // `plasma` instead where given.
    DesktopSession(int width, int height, const std::string& settingsJson = "",
                   const SwayServer* sway = nullptr, const PlasmaSession* plasma = nullptr);
    DesktopSession(const X11DesktopSession& desktop, const std::string& settingsJson);
    // Asks the application to quit, and kills it when it does not.
    ~DesktopSession();

    const XvfbServer& x() const { return *xvfb_; }
    void start(const std::vector<std::string>& args = {"--background"});
    ChildProgram& app() { return app_; }
    // Runs `tavel ARGS...` (on a plain Xvfb, with no $DISPLAY unless `withDisplay`).
    CommandResult tavel(const std::vector<std::string>& args, bool withDisplay = true) const;
    std::string status() const { return tavel({"status"}).out; }
    // Polls `tavel status` until `accept` takes its text (left in `last`); else a failure
    // with that text and the application's log.
    ::testing::AssertionResult waitForStatus(const std::function<bool(const std::string&)>& accept,
                                             std::chrono::milliseconds limit,
                                             std::string* last = nullptr) const;
    // What the application started (the processes with its environment), as "PID NAME".
    std::vector<std::string> processesStarted() const;
    long residentKilobytes() const;  // -1 when it is not running
    std::vector<TopLevel> windows() const { return childrenOf(display_); }
    // Mean brightness (0..255) of the root window's pixels in a rectangle.
    double brightness(int x, int y, int width, int height) const;
    std::string settingsFile() const { return slurp(settingsPath()); }
    // Where the application keeps what it makes ($XDG_DATA_HOME/Tavel).
    std::filesystem::path dataFolder() const {
        return desktop_ ? dir_ / "data" / "Tavel" : dir_ / ".local/share/Tavel";
    }
    const std::string& systemBusAddress() const {
        return desktop_ ? desktop_->systemBusAddress() : system_->address();
    }
    std::string logText() const { return slurp(dir_ / "app.err"); }

private:
    void storeSettings(const std::string& settingsJson);
    std::filesystem::path settingsPath() const {
        return dir_ / "config" / "io.tavel.Tavel" / "marlowen.settings.v2";
    }
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
