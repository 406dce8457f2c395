#include "support/dbus_daemon.h"

#include "support/child_process.h"

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

namespace tavel::test {

namespace {

[[noreturn]] void fail(const std::string& message) {
    failToStart("dbus-daemon", message);
}

}  // namespace

DbusDaemon::DbusDaemon() {
    start(nullptr);
}

DbusDaemon::DbusDaemon(const std::vector<std::string>& environment) {
    start(&environment);
}

DbusDaemon::DbusDaemon(EveryUser) {
    start(nullptr, true);
}

void DbusDaemon::start(const std::vector<std::string>* environment, bool everyUser) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavel-bus-XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("cannot create a temporary folder");
    folder_ = pattern;
    const std::string configuration = folder_ + "/bus.conf";
    std::ofstream(configuration)
        << "<busconfig>\n  <type>session</type>\n  <listen>unix:dir=" << folder_
        << "</listen>\n  <auth>EXTERNAL</auth>\n"
        << (environment ? "  <standard_session_servicedirs/>\n" : "")
        << "  <policy context=\"default\">\n"
        << (everyUser ? "    <allow user=\"*\"/>\n" : "")
        << "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
    // The socket itself is open to all (the daemon makes it so); its folder must let them in.
    if (everyUser)
        std::filesystem::permissions(folder_, std::filesystem::perms::others_exec,
                                     std::filesystem::perm_options::add);
    // Ends with the test program even when that is killed.
    pid_ = startReporting(
        {"setpriv", "--pdeathsig", "TERM", "dbus-daemon", "--config-file=" + configuration,
         "--print-address={fd}", "--nofork", "--nopidfile"},
        environment ? *environment : environmentWith({}), address_);
    if (pid_ < 0) fail("cannot start dbus-daemon (install the dbus-daemon package)");
    if (address_.empty()) fail("dbus-daemon did not report its address within 20 s");
}

DbusDaemon::~DbusDaemon() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void DbusDaemon::exportAsSessionAndSystemBus() const {
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
}

}  // namespace tavel::test
