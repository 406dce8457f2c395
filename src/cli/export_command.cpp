#include "cli/export_command.h"

#include "app/integration/lock_video_renderer.h"
#include "cli/arguments.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>

namespace tavel::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kUsageStatus = 2;
constexpr int kBarWidth = 30;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The signal (SIGINT, SIGTERM) that arrived while a movie was written; the next frame's
// progress call then ends the run, so the temporary file is removed, not left behind.
volatile std::sig_atomic_t interrupted = 0;

struct Interrupted {};

class InterruptScope {
public:
    InterruptScope() {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = [](int signal) { interrupted = signal; };
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~InterruptScope() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// "[#########.....]  31%  about 1 min 12 s left", redrawn in place.
void drawBar(std::ostream& err, double done, double elapsed) {
    const int filled = int(done * kBarWidth);
    std::string bar = "\r[" + std::string(std::size_t(filled), '#') +
                      std::string(std::size_t(kBarWidth - filled), '.') + "] ";
    char figures[64];
    const long left = done > 0 ? long(elapsed / done * (1 - done) + 0.5) : -1;
    if (left < 0)
        std::snprintf(figures, sizeof figures, "%3d%%", int(done * 100));
    else if (left >= 60)
        std::snprintf(figures, sizeof figures, "%3d%%  about %ld min %02ld s left   ",
                      int(done * 100), left / 60, left % 60);
    else
        std::snprintf(figures, sizeof figures, "%3d%%  about %ld s left          ", int(done * 100),
                      left);
    err << bar << figures << std::flush;
}

}  // namespace

int exportMovie(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    auto chosen = requestedEffect(parseExportArguments(args), err);
    if (!chosen) return kUsageStatus;
    const auto& [request, effect] = *chosen;

    // Started by Tavel for the lock screen: it goes when Tavel goes. A reader that stops
    // reading (Tavel ending the job) is a stop request, not a death by SIGPIPE that would
    // leave the unfinished file behind.
    if (request.progressLines) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        std::signal(SIGPIPE, SIG_IGN);
    }
    const bool terminal = !request.progressLines && isatty(STDERR_FILENO);
    const auto start = Clock::now();
    bool barShown = false;
    auto progress = [&](double done) {
        if (interrupted) throw Interrupted{};
        if (request.progressLines && !(out << "progress " << done << std::endl)) {
            interrupted = SIGPIPE;
            throw Interrupted{};
        }
        if (!terminal) return;
        drawBar(err, done, secondsSince(start));
        barShown = true;
    };
    auto endBar = [&] {
        if (barShown) err << '\n';
    };

    MemoryLogSink log;
    InterruptScope interrupts;
    try {
        LockVideoRenderer::generate(effect, request.params, request.width, request.height,
                                    request.seconds, request.fps, request.output, progress, log);
    } catch (const Interrupted&) {
        endBar();
        err << "tavel: export interrupted; nothing was written\n";
        return 128 + interrupted;  // as the shell reports a process the signal ended
    } catch (const LockVideoError& error) {
        endBar();
        err << "tavel: " << error.what();
        // The renderer's own line says why a program failed; without one, most likely
        // no GL context could be made.
        if (error.code() == LockVideoError::kRenderFailed)
            err << " (" << (log.lines().empty() ? "no OpenGL 3.3 renderer?" : log.lines().back())
                << ')';
        err << '\n';
        return 1;
    }
    endBar();
    if (request.progressLines) return 0;
    const std::int64_t frames = LockVideoRenderer::frameCount(request.seconds, request.fps);
    char summary[128];
    std::snprintf(summary, sizeof summary, "%lld frames of %dx%d at %d fps in %.1f s",
                  (long long)frames, request.width, request.height, request.fps,
                  secondsSince(start));
    out << "tavel: wrote " << request.output << ": " << summary << '\n';
    return 0;
}

}  // namespace tavel::cli
