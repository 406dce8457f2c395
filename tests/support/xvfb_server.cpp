#include "support/xvfb_server.h"

#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavel::test {

namespace {

[[noreturn]] void fail(const std::string& message) {
    failToStart("Xvfb", message);
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
    // Xvfb writes the free display number it took to this pipe once ready; only the
    // write end reaches it.
    int ready[2];
    if (pipe(ready) != 0) fail("pipe failed");
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = startProcess(
        {"Xvfb", "-displayfd", std::to_string(ready[1]), "-noreset", "-nolisten", "tcp", "-screen",
         "0", screen, "+extension", "RANDR", "+extension", "MIT-SCREEN-SAVER", "+extension", "GLX"},
        environmentWith({}), "/dev/null", "/dev/null");
    close(ready[1]);
    if (pid_ < 0) fail("cannot start Xvfb (install the xvfb package)");
    std::string number;
    pollfd waitFor{ready[0], POLLIN, 0};
    char c;
    while (poll(&waitFor, 1, 20000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty()) fail("Xvfb did not report a display within 20 s");
    name_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

int XvfbServer::run(const std::vector<std::string>& command) const {
    // The tools' chatter (xrandr prints what it did) stays out of the test output.
    return waitProcess(
        startProcess(command, environmentWith({"DISPLAY=" + name_}), "/dev/null", nullptr));
}

XvfbServer& sharedXvfb() {
    static XvfbServer server;
    setenv("DISPLAY", server.name().c_str(), 1);
    return server;
}

}  // namespace tavel::test
