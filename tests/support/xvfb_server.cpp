#include "support/xvfb_server.h"

#include "support/child_process.h"

#include <signal.h>
#include <sys/wait.h>

namespace tavel::test {

namespace {

[[noreturn]] void fail(const std::string& message) {
    failToStart("Xvfb", message);
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::string number;  // the free display number it took
    pid_ = startReporting(
        {"Xvfb", "-displayfd", "{fd}", "-noreset", "-nolisten", "tcp", "-screen", "0", screen,
         "+extension", "RANDR", "+extension", "MIT-SCREEN-SAVER", "+extension", "GLX"},
        environmentWith({}), number);
    if (pid_ < 0) fail("cannot start Xvfb (install the xvfb package)");
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
