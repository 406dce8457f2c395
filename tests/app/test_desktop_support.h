#pragma once
// A running tavel on its own Xvfb and buses, or in a sway, Plasma or X11 desktop session.

#include "support/plasma_session.h"
#include "support/sway_server.h"
#include "support/x11_desktop_session.h"

#include <gtest/gtest.h>

#include <map>

// Xlib stays out of this header: its macros (None, Status...) break GoogleTest.
struct _XDisplay;

namespace tavel::test {

struct CommandResult {
    int status = -1;
    std::string out;
};

struct DisplayStatus {
    std::string effect;
    long frames = -1;  // -1: the display has no window
    bool operator==(const DisplayStatus&) const = default;
};
std::map<std::string, DisplayStatus> displaysOf(const std::string& status);
long framesOfOnly(const std::string& status);   // of the one display; -1 before or with more
long galleryFrames(const std::string& status);  // -1 while the gallery is not shown
std::function<bool(const std::string&)> has(std::string part);

class DesktopSession {
public:
    // Xvfb of the given size, `settingsJson` stored; the application sees `sway` or `plasma`.
    DesktopSession(int width, int height, const std::string& settingsJson,
                   const SwayServer* sway = nullptr, const PlasmaSession* plasma = nullptr);
    DesktopSession(const X11DesktopSession& desktop, const std::string& settingsJson);
    ~DesktopSession();  // asks the application to quit, then kills it

    const XvfbServer& x() const { return *xvfb_; }
    void start();  // as at login: --background
    ChildProgram& app() { return app_; }
    CommandResult tavel(const std::vector<std::string>& args) const;  // runs `tavel ARGS...`
    std::string status() const { return tavel({"status"}).out; }
    // Polls `tavel status` until `accept` takes its text (left in `last`).
    ::testing::AssertionResult waitForStatus(const std::function<bool(const std::string&)>& accept,
                                             std::chrono::milliseconds limit,
                                             std::string* last = nullptr) const;
    // What the application started (the processes with its environment), as "PID NAME".
    std::vector<std::string> processesStarted() const;
    long residentKilobytes() const;  // -1 when it is not running
    std::vector<TopLevel> windows() const { return childrenOf(display_); }
    std::string settingsFile() const { return slurp(settingsPath()); }
    std::filesystem::path dataFolder() const { return dir_ / ".local/share/Tavel"; }
    std::string logText() const { return slurp(dir_ / "app.err"); }
    const std::string& systemBusAddress() const { return system_->address(); }  // not in a desktop

private:
    void storeSettings(const std::string& settingsJson);
    std::filesystem::path settingsPath() const {
        return dir_ / "config" / "io.tavel.Tavel" / "marlowen.settings.v2";
    }
    std::vector<std::string> environment() const;

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
