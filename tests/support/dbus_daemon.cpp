#include "support/dbus_daemon.h"

#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace tavel::test {

namespace {

[[noreturn]] void fail(const std::string& message) {
    failToStart("dbus-daemon", message);
}

void writeConfiguration(const std::string& file, const std::string& folder, bool activation,
                        bool everyUser) {
    std::ofstream out(file);
    out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir="
        << folder
        << "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
        << (activation ? "  <standard_session_servicedirs/>\n" : "")
        << "  <policy context=\"default\">\n"
        << (everyUser ? "    <allow user=\"*\"/>\n" : "")
        << "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
    if (!out) fail("cannot write " + file);
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
    writeConfiguration(configuration, folder_, environment != nullptr, everyUser);
    // The socket itself is open to all (the daemon makes it so); its folder must let them in.
    if (everyUser)
        std::filesystem::permissions(folder_, std::filesystem::perms::others_exec,
                                     std::filesystem::perm_options::add);
    // The daemon writes its address to this pipe once it listens; only the write end
    // reaches it.
    int ready[2];
    if (pipe(ready) != 0) fail("pipe failed");
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    // Ends with the test program even when that is killed.
    pid_ = startProcess(
        {"setpriv", "--pdeathsig", "TERM", "dbus-daemon", "--config-file=" + configuration,
         "--print-address=" + std::to_string(ready[1]), "--nofork", "--nopidfile"},
        environment ? *environment : environmentWith({}), "/dev/null", "/dev/null");
    close(ready[1]);
    if (pid_ < 0) fail("cannot start dbus-daemon (install the dbus-daemon package)");
    pollfd waitFor{ready[0], POLLIN, 0};
    char c;
    while (poll(&waitFor, 1, 20000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') address_ += c;
    close(ready[0]);
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
