#pragma once
// Starting other programs from tests: argument vectors (never a shell), explicit environments.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

// This process's environment with `overrides` ("NAME=value") and without `remove`.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides,
                                         const std::vector<std::string>& remove = {});

// Starts `command` from $PATH, output and error to files (null: this process's); -1 on failure.
pid_t startProcess(const std::vector<std::string>& command, const std::vector<std::string>& env,
                   const char* outPath, const char* errPath);

// Starts `command` with "{fd}" for a pipe it reports a line to once ready: that line (empty
// when none came within 20 s).
pid_t startReporting(std::vector<std::string> command, const std::vector<std::string>& env,
                     std::string& line);

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

    // Stops the one started before; false when `command` cannot start. Errors to `errPath`.
    bool start(const std::vector<std::string>& command,
               const std::vector<std::string>& env = environmentWith({}),
               const char* errPath = "/dev/null");
    // Sends `signal` and waits: its exit status, -1 when it did not exit normally.
    int stop(int signal = SIGTERM);
    // Waits at most `limit` for it to end: its exit status, or nothing while it runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    pid_t pid() const { return pid_; }  // -1 before start() and once waited for

private:
    pid_t pid_ = -1;
    std::optional<int> status_;  // once it ended and was waited for
};

}  // namespace tavel::test
