#include "support/dbus_daemon.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace tavel::test {

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "dbus-daemon for tests: %s\n", message.c_str());
    std::exit(2);
}

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
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
    const std::string program = findProgram("dbus-daemon");
    if (program.empty()) fail("dbus-daemon not found (install the dbus-daemon package)");

    std::string pattern = (std::filesystem::temp_directory_path() / "tavel-bus-XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("cannot create a temporary folder");
    folder_ = pattern;
    const std::string configuration = folder_ + "/bus.conf";
    writeConfiguration(configuration, folder_, environment != nullptr, everyUser);
    // The socket itself is open to all (the daemon makes it so); its folder must let them in.
    if (everyUser)
        std::filesystem::permissions(folder_, std::filesystem::perms::others_exec,
                                     std::filesystem::perm_options::add);

    int ready[2];
    if (pipe(ready) != 0) fail("pipe failed");
    // Prepared before fork: the child only calls async-signal-safe functions.
    const std::string configArgument = "--config-file=" + configuration;
    const std::string addressArgument = "--print-address=" + std::to_string(ready[1]);
    std::vector<char*> argv = {
        const_cast<char*>(program.c_str()),         const_cast<char*>(configArgument.c_str()),
        const_cast<char*>(addressArgument.c_str()), const_cast<char*>("--nofork"),
        const_cast<char*>("--nopidfile"),           nullptr};
    std::vector<char*> envp;
    if (environment) {
        for (const std::string& entry : *environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) fail("fork failed");
    if (pid_ == 0) {
        // Goes away with the test program, even when that one is killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        close(ready[0]);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        if (environment)
            execve(argv[0], argv.data(), envp.data());
        else
            execv(argv[0], argv.data());
        _exit(127);
    }
    close(ready[1]);

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
