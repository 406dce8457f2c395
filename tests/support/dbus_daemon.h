#pragma once
// A private dbus-daemon for tests, in a fresh temporary folder: any connection may own any
// name, and (but for a login's bus) nothing on the machine is ever started.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavel::test {

class DbusDaemon {
public:
    DbusDaemon();  // aborts the test program when dbus-daemon does not start
    // A login's session bus: services start on demand, with `environment` ("NAME=value").
    explicit DbusDaemon(const std::vector<std::string>& environment);
    // One every user may use: sway's clients run as "nobody" under root.
    struct EveryUser {};
    explicit DbusDaemon(EveryUser);
    ~DbusDaemon();
    DbusDaemon(const DbusDaemon&) = delete;
    DbusDaemon& operator=(const DbusDaemon&) = delete;

    const std::string& address() const { return address_; }
    // Sets $DBUS_SESSION_BUS_ADDRESS and $DBUS_SYSTEM_BUS_ADDRESS to it.
    void exportAsSessionAndSystemBus() const;

private:
    void start(const std::vector<std::string>* environment, bool everyUser = false);

    pid_t pid_ = -1;
    std::string folder_;
    std::string address_;
};

}  // namespace tavel::test
