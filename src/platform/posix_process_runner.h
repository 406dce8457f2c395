#pragma once
// ProcessRunner on posix_spawn: the program runs in a process group of its own, so that
// when it overruns the time limit it is killed together with whatever it started.

#include "platform/process_runner.h"

#include <chrono>

namespace tavel {

class PosixProcessRunner final : public ProcessRunner {
public:
    // `limit` bounds each call: a program still running then is killed (TimedOut).
    explicit PosixProcessRunner(std::chrono::milliseconds limit = std::chrono::seconds(10))
        : limit_(limit) {}

    // The program gets no descriptor of this process but its standard streams; signals
    // this process ignores or blocks are reset for it. Standard output is kept up to
    // 1 MiB, standard error up to 4 KiB; the rest is read and dropped, so a talkative
    // program never blocks on a full pipe.
    ProcessResult run(const std::vector<std::string>& command) override;

private:
    std::chrono::milliseconds limit_;
};

}  // namespace tavel
