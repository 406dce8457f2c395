#pragma once
// A private KDE Plasma session for one test, started as a Wayland login starts it: KWin
// headless (`kwin_wayland --virtual --xwayland`, a copy of the binary without the file
// capability that a container may refuse), Xwayland with $DISPLAY for the clients, a
// session bus of its own, kactivitymanagerd and kded5 (whose statusnotifierwatcher
// module the tray needs), then plasmashell with its desktops and panel. Plasma finds
// Tavel's wallpaper plugin staged in the build tree (XDG_DATA_DIRS).

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/sway_server.h"
#include "support/temp_dir.h"

#include <chrono>
#include <string>
#include <vector>

namespace tavel::test {

class PlasmaSession {
public:
    // `outputs` virtual screens of `width` x `height` side by side, the first primary.
    // Aborts the test program with the logs when a part does not start within 30 s.
    PlasmaSession(int width, int height, int outputs = 1);
    ~PlasmaSession();
    PlasmaSession(const PlasmaSession&) = delete;
    PlasmaSession& operator=(const PlasmaSession&) = delete;

    // What the session's clients see: the Wayland and X11 displays, the runtime folder,
    // the session bus, XDG_CURRENT_DESKTOP=KDE, and where Plasma's data lives.
    std::vector<std::string> environment() const;
    const std::string& busAddress() const { return bus_.address(); }

    // Runs a script in plasmashell (org.kde.PlasmaShell.evaluateScript): what it
    // printed, or "error: ..." when it failed.
    std::string evaluate(const std::string& script) const;
    // The whole workspace as KWin shows it (spectacle); not taken when it fails.
    Shot screenshot() const;
    // `plasmashell --replace`, as a person restarts it: a new plasmashell takes over from
    // the running one. Returns once the new one shows its desktops.
    void replaceShell();
    // What the session's programs wrote, for failure messages.
    std::string log() const;

private:
    // environment() with the session's own home: for the desktop's programs.
    std::vector<std::string> programEnvironment() const;
    void startShell(const std::vector<std::string>& arguments);
    void waitForDesktops();

    TempDir dir_;
    int outputs_;
    DbusDaemon bus_;
    std::string display_;  // Xwayland's, as KWin gives it to its clients
    ChildProgram kwin_, activities_, kded_;
    // The first plasmashell, and the one that replaced it.
    ChildProgram shell_, replacement_;
};

}  // namespace tavel::test
