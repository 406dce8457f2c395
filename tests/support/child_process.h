#pragma once
// Starting other programs from tests: an argument vector (never a shell), an explicit
// environment, standard streams sent to files.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

// This process's environment with `overrides` ("NAME=value") in place of entries of the
// same name, and without the variables named in `remove`.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides,
                                         const std::vector<std::string>& remove = {});

// Starts `command` (found on $PATH when it has no slash) with standard input from
// /dev/null and standard output and error written to the given files; a null path
// leaves that stream shared with this process. -1 when it cannot be started.
pid_t startProcess(const std::vector<std::string>& command, const std::vector<std::string>& env,
                   const char* outPath, const char* errPath);

// Waits for a started process; its exit status, or -1 when it did not exit normally.
int waitProcess(pid_t pid);

// A program that runs beside a test (a compositing or window manager, or the program
// under test), ended with a signal and waited for.
class ChildProgram {
public:
    ChildProgram() = default;
    ~ChildProgram() { stop(); }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Stops the program started before, if any; false when `command` cannot be started.
    // Its output is discarded.
    bool start(const std::vector<std::string>& command);
    // The same with the environment `env` and standard error written to `errPath`.
    bool start(const std::vector<std::string>& command, const std::vector<std::string>& env,
               const char* errPath);
    // Sends `signal` unless the program was waited for already, then waits for it: its
    // exit status, -1 when it did not exit normally or nothing was started.
    int stop(int signal = SIGTERM);
    // Waits at most `limit` for the program to end by itself (woken by its end, not by
    // polling): its exit status (-1 when it did not exit normally), or nothing while it
    // still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    // Its process id, for signals and /proc; -1 before start() and once waited for.
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;  // once it ended and was waited for
};

}  // namespace tavel::test
