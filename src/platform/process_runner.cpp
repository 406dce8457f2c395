#include "platform/process_runner.h"

namespace tavel {

std::string describeFailure(const std::string& program, const ProcessResult& result) {
    using Outcome = ProcessResult::Outcome;
    switch (result.outcome) {
        case Outcome::NotInstalled:
            return program + " is not installed";
        case Outcome::NotStarted:
            return program + " could not be started";
        case Outcome::TimedOut:
            return program + " did not finish in time";
        case Outcome::Killed:
            return program + " was killed by signal " + std::to_string(result.signal);
        case Outcome::Exited:
            break;
    }
    std::string line = program + " failed (exit status " + std::to_string(result.exitStatus);
    std::string said = result.errors.substr(0, result.errors.find('\n'));
    if (!said.empty()) line += ": " + said;
    return line + ")";
}

}  // namespace tavel
