#pragma once
// plasmashell as Tavel talks to it: whether it runs, and its scripting interface
// (org.kde.PlasmaShell.evaluateScript on /PlasmaShell). The session bus implements it
// (dbus/plasma_shell_client.h); tests give a fake. Main thread only.

#include <functional>
#include <string>

namespace tavel {

class PlasmaShell {
public:
    struct Answer {
        bool ok = false;
        std::string text;  // what the script printed, or why it failed
        // It failed before the script ran: plasmashell owns its name before its scripting
        // object exists, or did not answer in time. Worth asking again.
        bool notRun = false;
    };

    virtual ~PlasmaShell() = default;
    // Whether org.kde.plasmashell has an owner, as last heard.
    virtual bool running() const = 0;
    // Called on the main thread whenever the name's owner changes: plasmashell started,
    // was replaced by a new one (which shows the desktops anew), or ended. One handler;
    // an empty one removes it.
    virtual void setOwnerHandler(std::function<void()> handler) = 0;
    // Runs the script; `done` runs later on the main thread with its answer (or the
    // failure: refused, timed out, no plasmashell), unless this object is gone by then.
    virtual void evaluate(const std::string& script, std::function<void(Answer)> done) = 0;
    // Runs it and waits for the answer (a few seconds at most): for the end of the
    // process, when the loop no longer runs.
    virtual Answer evaluateNow(const std::string& script) = 0;
};

}  // namespace tavel
