#pragma once
// A running tavel for end-to-end tests: its own Xvfb, session and "system" buses and
// configuration folder; helpers to run the command line against it and to look at the
// X server's windows and pixels.

#include "support/dbus_daemon.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Xlib stays out of this header: its macros (None, Status...) break GoogleTest.
struct _XDisplay;

namespace tavel::test {

struct CommandResult {
    int status = -1;
    std::string out, err;
};

struct WindowInfo {
    unsigned long id;  // the X window
    int x, y, width, height;
    bool mapped;
    bool overrideRedirect;
    std::string type;                 // the _NET_WM_WINDOW_TYPE atom name, if any
    std::vector<std::string> states;  // the _NET_WM_STATE atom names
};

class DesktopSession {
public:
    // Xvfb of the given size; `settingsJson` (when not empty) is stored before start.
    DesktopSession(int width, int height, const std::string& settingsJson = "");
    ~DesktopSession();

    const XvfbServer& x() const { return xvfb_; }
    // Runs `tavel ARGS...` in this session and waits for it.
    CommandResult tavel(const std::vector<std::string>& args) const;
    // Starts the application (`tavel` with no arguments) in the background.
    void start();
    // Waits (at most `limit`) for the application to exit; its status, or -1.
    int waitForExit(std::chrono::milliseconds limit);
    pid_t pid() const { return pid_; }
    // The application's resident memory in KiB, from /proc; -1 when it is not running.
    long residentKilobytes() const;
    // Polls `check` (a real process: there is no clock to advance) until it holds;
    // false after `limit`.
    static bool poll(const std::function<bool()>& check, std::chrono::milliseconds limit);
    // Polls `tavel status` until `accept` takes its text; false after `limit`.
    bool waitForStatus(const std::function<bool(const std::string&)>& accept,
                       std::chrono::milliseconds limit, std::string* last = nullptr) const;
    std::string status() const { return tavel({"status"}).out; }
    // Top-level windows of the X server, bottom first.
    std::vector<WindowInfo> windows() const;
    // Mean brightness (0..255) of the root window's pixels in a rectangle.
    double brightness(int x, int y, int width, int height) const;
    std::string settingsFile() const;
    const std::string& systemBusAddress() const { return system_.address(); }
    // Runs `tavel` (no arguments) with no DISPLAY at all.
    CommandResult tavelWithoutDisplay() const;
    std::string logText() const;

private:
    std::vector<std::string> environment(bool withDisplay = true) const;
    CommandResult run(const std::vector<std::string>& args, bool withDisplay) const;

    TempDir dir_;
    XvfbServer xvfb_;
    DbusDaemon session_, system_;
    _XDisplay* display_ = nullptr;
    pid_t pid_ = -1;
};

// The frame count of the display with this key in a status text, or -1.
long framesOf(const std::string& status, const std::string& key);
// The effect shown on the display with this key in a status text, or "".
std::string effectOf(const std::string& status, const std::string& key);
// The display keys in a status text, in order.
std::vector<std::string> displayKeys(const std::string& status);

}  // namespace tavel::test
