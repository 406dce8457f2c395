#pragma once
// A private KDE Plasma session as a Wayland login starts it (KWin with Xwayland, a bus,
// kactivitymanagerd, kded5, plasmashell); it finds Tavel's plugin in the build tree.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/shot.h"
#include "support/temp_dir.h"

#include <string>
#include <vector>

namespace tavel::test {

class PlasmaSession {
public:
    // `outputs` screens side by side; aborts with the logs when a part does not start.
    PlasmaSession(int width, int height, int outputs = 1);
    PlasmaSession(const PlasmaSession&) = delete;
    PlasmaSession& operator=(const PlasmaSession&) = delete;

    std::vector<std::string> environment() const;

    // Runs a script in plasmashell: what it printed, or "error: ..." when it failed.
    std::string evaluate(const std::string& script) const;
    // The whole workspace as KWin shows it (spectacle); not taken when it fails.
    Shot screenshot() const;
    std::string log() const;

private:
    std::vector<std::string> programEnvironment() const;  // with the session's own home

    TempDir dir_;
    DbusDaemon bus_;
    std::string display_;                            // Xwayland's
    ChildProgram kwin_, activities_, kded_, shell_;  // stopped last first
};

}  // namespace tavel::test
