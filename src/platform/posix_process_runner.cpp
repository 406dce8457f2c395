#include "platform/posix_process_runner.h"

#include "platform/piped_spawn.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace tavel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t outputLimit = 1 << 20;
constexpr std::size_t errorsLimit = 4 << 10;

// A pipe's read end, read without blocking into `text` (up to `limit` bytes kept).
struct Stream {
    int fd = -1;
    std::string* text = nullptr;
    std::size_t limit = 0;

    // Reads what is there now; closes the descriptor at the end of the stream.
    void drain() {
        std::array<char, 4096> chunk;
        while (fd >= 0) {
            ssize_t n = read(fd, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return;
            if (n <= 0) {
                close(fd);
                fd = -1;
                return;
            }
            text->append(chunk.data(), std::min(std::size_t(n), limit - text->size()));
        }
    }
};

int pidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    return int(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

ProcessResult startFailure(int error) {
    ProcessResult result;
    result.outcome =
        error == ENOENT ? ProcessResult::Outcome::NotInstalled : ProcessResult::Outcome::NotStarted;
    return result;
}

}  // namespace

ProcessResult PosixProcessRunner::run(const std::vector<std::string>& command) {
    const PipedChild started =
        spawnPiped(command, {.outputNonBlocking = true, .ownProcessGroup = true});
    if (started.pid < 0) return startFailure(started.error);
    const pid_t pid = started.pid;

    ProcessResult result;
    std::array<Stream, 2> streams{Stream{started.out, &result.output, outputLimit},
                                  Stream{started.err, &result.errors, errorsLimit}};
    // The process's own descriptor tells when it has ended, even while something it
    // started in the background still holds the pipes open.
    int pidfd = pidfdOpen(pid);
    Clock::time_point deadline = Clock::now() + limit_;
    bool ended = false, timedOut = false;
    while (!ended) {
        std::array<pollfd, 3> watched{};
        nfds_t count = 0;
        for (const auto& s : streams)
            if (s.fd >= 0) watched[count++] = {s.fd, POLLIN, 0};
        if (pidfd >= 0) watched[count++] = {pidfd, POLLIN, 0};
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        // Without a process descriptor (kernels before 5.3), look every 10 ms.
        int wait = pidfd >= 0 ? int(left.count()) : std::min(int(left.count()), 10);
        if (poll(watched.data(), count, wait) < 0 && errno != EINTR) {
            timedOut = true;
            break;
        }
        for (auto& s : streams) s.drain();
        if (pidfd >= 0) {
            ended = watched[count - 1].revents & POLLIN;
        } else {
            siginfo_t info{};
            ended = waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                    info.si_pid == pid;
        }
    }
    if (timedOut) {
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);  // in case it left the group
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    for (auto& s : streams) {
        s.drain();
        if (s.fd >= 0) close(s.fd);
    }
    if (pidfd >= 0) close(pidfd);

    if (timedOut) {
        result.outcome = ProcessResult::Outcome::TimedOut;
    } else if (WIFSIGNALED(status)) {
        result.outcome = ProcessResult::Outcome::Killed;
        result.signal = WTERMSIG(status);
    } else {
        result.exitStatus = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace tavel
