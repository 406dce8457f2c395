#pragma once
// A private dbus-daemon for tests: its own configuration (any connection may own any name;
// no service activation, so nothing on the machine is ever started), its socket in a
// fresh temporary folder, killed and cleaned up at the end. It stands in for the session
// bus and, through $DBUS_SYSTEM_BUS_ADDRESS, for the system bus too. A login's session
// bus (for tests that run a whole desktop) starts services on demand instead.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavel::test {

class DbusDaemon {
public:
    // Starts `dbus-daemon --nofork --print-address` and waits for its address; aborts the
    // test program with a clear message when dbus-daemon is missing or does not start.
    DbusDaemon();
    // A login's session bus: the same, but services are started on demand from the
    // standard service folders (as a desktop's bus starts its settings daemon or file
    // manager), with `environment` ("NAME=value" entries) as the daemon's and theirs.
    explicit DbusDaemon(const std::vector<std::string>& environment);
    // A bus without activation that every user may use: a compositor's clients that run
    // as another user than the tests (sway's, as "nobody" under root) share it with them.
    struct EveryUser {};
    explicit DbusDaemon(EveryUser);
    // Stops the daemon (which closes every connection to it) and removes its folder.
    ~DbusDaemon();
    DbusDaemon(const DbusDaemon&) = delete;
    DbusDaemon& operator=(const DbusDaemon&) = delete;

    // The address to connect to ("unix:path=...,guid=...").
    const std::string& address() const { return address_; }

    // Points $DBUS_SESSION_BUS_ADDRESS and $DBUS_SYSTEM_BUS_ADDRESS at this daemon, so
    // code that opens the session or the system bus reaches it.
    void exportAsSessionAndSystemBus() const;

private:
    void start(const std::vector<std::string>* environment, bool everyUser = false);

    pid_t pid_ = -1;
    std::string folder_;
    std::string address_;
};

}  // namespace tavel::test
