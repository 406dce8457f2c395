#pragma once
// Starting other programs from tests: an argument vector (never a shell), an explicit
// environment, standard streams to files.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

// This process's environment with `overrides` ("NAME=value") in place of entries of the
// same name, and without the variables named in `remove`.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides,
                                         const std::vector<std::string>& remove = {});

// Starts `command` (searched on $PATH) with standard input from /dev/null and output and
// error to the given files (null: shared with this process); -1 when it cannot start.
pid_t startProcess(const std::vector<std::string>& command, const std::vector<std::string>& env,
                   const char* outPath, const char* errPath);

// Waits for a started process; its exit status, or -1 when it did not exit normally.
int waitProcess(pid_t pid);

// Ends the test program when a real part it needs (`part`: "Xvfb"...) does not start.
[[noreturn]] void failToStart(const std::string& part, const std::string& message,
                              const std::string& log = {});
// The ends of programs' logs, each under its file's name.
std::string logTails(const std::vector<std::filesystem::path>& files, std::size_t each);

// A program that runs beside a test, ended with a signal and waited for.
class ChildProgram {
public:
    ChildProgram() = default;
    ~ChildProgram() { stop(); }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Stops the one started before, if any; false when `command` cannot start. Its output
    // is discarded; standard error goes to `errPath`.
    bool start(const std::vector<std::string>& command);
    bool start(const std::vector<std::string>& command, const std::vector<std::string>& env,
               const char* errPath);
    // Sends `signal` unless it was waited for already, then waits: its exit status, -1 when
    // it did not exit normally or nothing was started.
    int stop(int signal = SIGTERM);
    // Waits at most `limit` for it to end by itself: its exit status, or nothing while it
    // still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    pid_t pid() const { return pid_; }  // -1 before start() and once waited for

private:
    pid_t pid_ = -1;
    std::optional<int> status_;  // once it ended and was waited for
};

}  // namespace tavel::test
