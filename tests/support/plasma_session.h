#pragma once
// A private KDE Plasma session, started as a Wayland login starts it: KWin with Xwayland,
// a session bus, kactivitymanagerd and kded5, then plasmashell with its desktops and panel.
// Plasma finds Tavel's wallpaper plugin staged in the build tree.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/shot.h"
#include "support/temp_dir.h"

#include <string>
#include <vector>

namespace tavel::test {

class PlasmaSession {
public:
    // `outputs` virtual screens side by side. Aborts the test program with the logs when a
    // part does not start within 30 s.
    PlasmaSession(int width, int height, int outputs = 1);
    PlasmaSession(const PlasmaSession&) = delete;
    PlasmaSession& operator=(const PlasmaSession&) = delete;

    std::vector<std::string> environment() const;

    // Runs a script in plasmashell: what it printed, or "error: ..." when it failed.
    std::string evaluate(const std::string& script) const;
    // The whole workspace as KWin shows it (spectacle); not taken when it fails.
    Shot screenshot() const;
    // `plasmashell --replace`, as a person restarts it; returns once it shows its desktops.
    void replaceShell();
    std::string log() const;

private:
    std::vector<std::string> programEnvironment() const;  // with the session's own home
    void startShell(ChildProgram& shell, const std::vector<std::string>& command);

    TempDir dir_;
    int outputs_;
    DbusDaemon bus_;
    std::string display_;                                          // Xwayland's
    ChildProgram kwin_, activities_, kded_, shell_, replacement_;  // stopped last first
};

}  // namespace tavel::test
