// Child processes for real: the argument vector reaches the program untouched, the
// outcomes are told apart, and the program gets nothing of ours it should not
// (descriptors, ignored signals, our standard input).

#include "platform/posix_process_runner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tavel {
namespace {

using Outcome = ProcessResult::Outcome;

TEST(PosixProcessRunner, RunsTheArgumentVectorAndTellsOutcomesApart) {
    // What the child must not inherit: a descriptor without close-on-exec and an ignored
    // SIGPIPE (a tool writing into a closed pipe would then see errors instead of ending).
    int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    auto oldPipe = signal(SIGPIPE, SIG_IGN);

    struct Case {
        std::vector<std::string> command;
        Outcome outcome = Outcome::Exited;
        int code = 0;  // the exit status, or the signal for Killed
        std::string output = "", errors = "";
    };
    const Case cases[] = {
        // No shell parses the arguments.
        {{"printf", "%s|", "a b", "$HOME", "*", "'q'", "; true"}, {}, 0, "a b|$HOME|*|'q'|; true|"},
        {{"sh", "-c", "echo out; echo err >&2; exit 3"}, {}, 3, "out\n", "err\n"},
        {{"sh", "-c", "read line; echo \"[$line]\""}, {}, 0, "[]\n"},  // an empty input
        {{"ls", "/proc/self/fd"}, {}, 0, "0\n1\n2\n3\n"},  // 3: the folder ls is reading
        {{"sh", "-c", "yes | head -c 2"}, {}, 0, "y\n"},   // yes ends on SIGPIPE, silently
        {{"tavel-no-such-program"}, Outcome::NotInstalled},
        {{"/dev/null"}, Outcome::NotStarted},
        {{"sh", "-c", "kill -TERM $$"}, Outcome::Killed, SIGTERM},
    };
    PosixProcessRunner runner;
    for (const auto& c : cases) {
        ProcessResult result = runner.run(c.command);
        const std::string shown = testing::PrintToString(c.command);
        EXPECT_EQ(result.outcome, c.outcome) << shown;
        EXPECT_EQ(c.outcome == Outcome::Killed ? result.signal : result.exitStatus, c.code)
            << shown;
        EXPECT_EQ(result.output, c.output) << shown;
        EXPECT_EQ(result.errors, c.errors) << shown;
    }
    // A flood of output is read to its end (the program never blocks on a full pipe) and
    // kept up to its bound.
    ProcessResult flood = runner.run({"head", "-c", "3000000", "/dev/zero"});
    EXPECT_EQ(flood.outcome, Outcome::Exited);
    EXPECT_EQ(flood.output.size(), std::size_t(1) << 20);
    signal(SIGPIPE, oldPipe);
    close(leaked);
}

TEST(PosixProcessRunner, StopsAtTheTimeLimitButNotForWhatTheProgramLeftBehind) {
    PosixProcessRunner runner(std::chrono::seconds(2));
    // Overrunning: killed, and what it said so far is kept.
    ProcessResult overrun = runner.run({"sh", "-c", "echo begun; sleep 30"});
    EXPECT_EQ(overrun.outcome, Outcome::TimedOut);
    EXPECT_EQ(overrun.output, "begun\n");

    // A program that ends while its background child still holds the output open has
    // ended: the call returns with its status instead of running into the limit.
    ProcessResult ended = runner.run({"sh", "-c", "sleep 30 & echo $!"});
    EXPECT_EQ(ended.outcome, Outcome::Exited);
    if (!ended.output.empty()) kill(std::stoi(ended.output), SIGKILL);
}

}  // namespace
}  // namespace tavel
