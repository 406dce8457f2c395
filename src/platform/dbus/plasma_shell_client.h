#pragma once
// plasmashell on the session bus: the owner of org.kde.plasmashell, watched through the
// bus daemon's NameOwnerChanged, and its scripting method evaluateScript on /PlasmaShell.
//
// Thread rules: main thread only; answers and owner changes arrive inside the bus
// connection's processing on the loop.

#include "platform/plasma_shell.h"
#include "platform/scheduler.h"

#include <memory>

namespace tavel {

class BusConnection;

class PlasmaShellClient final : public PlasmaShell {
public:
    // Subscribes to the owner changes and asks once, waiting for the bus daemon's answer,
    // whether plasmashell runs now. `sessionBus` and `scheduler` (the main loop, which
    // delivers failures to send) must outlive this. Never throws: on a bus that refuses,
    // plasmashell reads as not running.
    PlasmaShellClient(BusConnection& sessionBus, Scheduler& scheduler);
    ~PlasmaShellClient() override;
    PlasmaShellClient(const PlasmaShellClient&) = delete;
    PlasmaShellClient& operator=(const PlasmaShellClient&) = delete;

    bool running() const override;
    void setOwnerHandler(std::function<void()> handler) override;
    void evaluate(const std::string& script, std::function<void(Answer)> done) override;
    Answer evaluateNow(const std::string& script) override;

    struct State;

private:
    std::shared_ptr<State> state_;  // shared with the answers still to come
};

}  // namespace tavel
