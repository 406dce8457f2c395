#include "platform/line_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>

extern char** environ;

namespace tavel {

namespace {

constexpr std::size_t kErrorsLimit = 4 << 10;

// Ends the child however the reading ends: a stop asked for by a thrown exception kills
// it; either way it is waited for.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        wait();
    }
    int wait() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_;
};

}  // namespace

LineProcessResult runReadingLines(const std::vector<std::string>& command,
                                  const std::function<void(const std::string&)>& line) {
    LineProcessResult result;
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return result;
    if (pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    fcntl(err[1], F_SETFL, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawnError != 0) {
        close(out[0]);
        close(err[0]);
        return result;
    }
    result.started = true;
    Child child(pid);
    struct Pipes {
        int out, err;
        ~Pipes() {
            close(out);
            close(err);
        }
    } pipes{out[0], err[0]};

    // Standard error is read as it comes, so a talkative child never blocks on it.
    auto readErrors = [&] {
        std::array<char, 1024> chunk;
        for (ssize_t n; (n = read(pipes.err, chunk.data(), chunk.size())) > 0;)
            result.errors.append(chunk.data(),
                                 std::min<std::size_t>(n, kErrorsLimit - result.errors.size()));
    };
    std::string pending;
    std::array<char, 4096> chunk;
    for (;;) {
        ssize_t n = read(pipes.out, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(chunk.data(), std::size_t(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            line(text);
        }
        readErrors();
    }
    result.exitStatus = child.wait();
    readErrors();
    return result;
}

}  // namespace tavel
