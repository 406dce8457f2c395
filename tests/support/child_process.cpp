#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

extern char** environ;

namespace tavel::test {

std::vector<std::string> environmentWith(const std::vector<std::string>& overrides,
                                         const std::vector<std::string>& remove) {
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> env = overrides;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e, name = nameOf(entry);
        bool replaced = false;
        for (const auto& o : overrides) replaced |= nameOf(o) == name;
        for (const auto& r : remove) replaced |= r == name;
        if (!replaced) env.push_back(entry);
    }
    return env;
}

pid_t startProcess(const std::vector<std::string>& command, const std::vector<std::string>& env,
                   const char* outPath, const char* errPath) {
    std::vector<char*> argv, envp;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outPath)
        posix_spawn_file_actions_addopen(&actions, 1, outPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (errPath)
        posix_spawn_file_actions_addopen(&actions, 2, errPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

pid_t startReporting(std::vector<std::string> command, const std::vector<std::string>& env,
                     std::string& line) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);  // only the write end reaches it
    for (auto& argument : command)
        if (auto at = argument.find("{fd}"); at != std::string::npos)
            argument.replace(at, 4, std::to_string(ready[1]));
    const pid_t pid = startProcess(command, env, "/dev/null", "/dev/null");
    close(ready[1]);
    pollfd waitFor{ready[0], POLLIN, 0};
    char c;
    while (pid > 0 && poll(&waitFor, 1, 20000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(ready[0]);
    return pid;
}

[[noreturn]] void failToStart(const std::string& part, const std::string& message,
                              const std::string& log) {
    std::fprintf(stderr, "%s for tests: %s\n%s\n", part.c_str(), message.c_str(), log.c_str());
    std::exit(2);
}

std::string logTails(const std::vector<std::filesystem::path>& files, std::size_t each) {
    std::string text;
    for (const auto& file : files) {
        std::string whole;
        std::getline(std::ifstream(file), whole, '\0');
        text += "== " + file.filename().string() + "\n..." +
                whole.substr(whole.size() > each ? whole.size() - each : 0) + "\n";
    }
    return text;
}

int waitProcess(pid_t pid) {
    if (pid < 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProgram::start(const std::vector<std::string>& command,
                         const std::vector<std::string>& env, const char* errPath) {
    stop();
    status_.reset();
    pid_ = startProcess(command, env, "/dev/null", errPath ? errPath : "/dev/null");
    return pid_ > 0;
}

int ChildProgram::stop(int signal) {
    if (pid_ > 0) {
        kill(pid_, signal);
        status_ = waitProcess(pid_);
        pid_ = -1;
    }
    return status_.value_or(-1);
}

std::optional<int> ChildProgram::waitForExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return status_;
    // Readable once the process has ended (before Linux 5.3, no pidfd: no limit).
    if (int fd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)); fd >= 0) {
        pollfd ended{fd, POLLIN, 0};
        int ready = poll(&ended, 1, static_cast<int>(limit.count()));
        close(fd);
        if (ready != 1) return std::nullopt;
    }
    status_ = waitProcess(pid_);
    pid_ = -1;
    return status_;
}

}  // namespace tavel::test
