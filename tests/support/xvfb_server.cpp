#include "support/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace tavel::test {

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "Xvfb for tests: %s\n", message.c_str());
    std::exit(2);
}

pid_t spawn(const std::vector<std::string>& command, posix_spawn_file_actions_t* actions,
            char** env) {
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), env) != 0) return -1;
    return pid;
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
    // Xvfb picks a free display number and writes it to this pipe once it is ready.
    int ready[2];
    if (pipe(ready) != 0) fail("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string fd = std::to_string(ready[1]);
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = spawn({"Xvfb", "-displayfd", fd, "-noreset", "-nolisten", "tcp", "-screen", "0", screen,
                  "+extension", "RANDR", "+extension", "MIT-SCREEN-SAVER", "+extension", "GLX"},
                 &actions, environ);
    posix_spawn_file_actions_destroy(&actions);
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
    std::vector<std::string> env = {"DISPLAY=" + name_};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8)) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    // The tools' chatter (xrandr prints what it did) stays out of the test output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = spawn(command, &actions, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (pid < 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

XvfbServer& sharedXvfb() {
    static XvfbServer server;
    setenv("DISPLAY", server.name().c_str(), 1);
    return server;
}

}  // namespace tavel::test
