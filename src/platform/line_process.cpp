#include "platform/line_process.h"

#include "platform/piped_spawn.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>

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
    const PipedChild started = spawnPiped(command);
    if (started.pid < 0) return result;
    result.started = true;
    Child child(started.pid);
    struct Pipes {
        int out, err;
        ~Pipes() {
            close(out);
            close(err);
        }
    } pipes{started.out, started.err};

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
