#pragma once
// Running other programs (desktop tools) and waiting for their answer. Always an argument
// vector, never a shell: a file name or value is never parsed as shell syntax.

#include <string>
#include <vector>

namespace tavel {

struct ProcessResult {
    enum class Outcome {
        Exited,        // ran to its end with `exitStatus`
        NotInstalled,  // no such program on $PATH
        NotStarted,    // found, but it could not be started (not executable, no resources)
        Killed,        // ended by `signal`
        TimedOut,      // still running at the time limit, so it was killed
    };
    Outcome outcome = Outcome::Exited;
    int exitStatus = 0;
    int signal = 0;
    std::string output;  // its standard output
    std::string errors;  // the start of its standard error

    bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

// One line on why `program` did not succeed, e.g. "gsettings failed (exit status 1: No
// such schema)": the first line of what it wrote to standard error when it wrote any.
std::string describeFailure(const std::string& program, const ProcessResult& result);

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs command[0] (searched on $PATH when it has no slash) with the arguments
    // `command`, this process's environment and standard input from /dev/null; waits for
    // it within the runner's time limit. `command` must not be empty. Main thread.
    virtual ProcessResult run(const std::vector<std::string>& command) = 0;
};

}  // namespace tavel
