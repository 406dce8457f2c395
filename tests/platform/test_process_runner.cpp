// Child processes for real: the argument vector reaches the program untouched, the
// outcomes are told apart, the environment is inherited, and the program gets nothing
// of ours it should not (descriptors, ignored signals).

#include "platform/posix_process_runner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tavel {
namespace {

using Outcome = ProcessResult::Outcome;

struct RunCase {
    const char* what;
    std::vector<std::string> command;
    Outcome outcome;
    int code;  // the exit status, or the signal for Killed
    std::string output;
    std::string errors;
};

TEST(PosixProcessRunner, RunsTheArgumentVectorAndTellsOutcomesApart) {
    // What the child must not inherit: a descriptor without close-on-exec and an ignored
    // SIGPIPE (a tool writing into a closed pipe would then see errors instead of ending).
    int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    auto oldPipe = signal(SIGPIPE, SIG_IGN);
    setenv("TAVEL_PROBE", "inherited", 1);

    const RunCase cases[] = {
        {"no shell parses the arguments",
         {"printf", "%s|", "a b", "$HOME", "*", "'q'", "; true"},
         Outcome::Exited,
         0,
         "a b|$HOME|*|'q'|; true|",
         ""},
        {"exit status and both streams",
         {"sh", "-c", "echo out; echo err >&2; exit 3"},
         Outcome::Exited,
         3,
         "out\n",
         "err\n"},
        {"standard input is empty",
         {"sh", "-c", "read line; echo \"[$line]\""},
         Outcome::Exited,
         0,
         "[]\n",
         ""},
        {"the environment is inherited",
         {"printenv", "TAVEL_PROBE"},
         Outcome::Exited,
         0,
         "inherited\n",
         ""},
        {"only the standard streams are open",
         {"ls", "/proc/self/fd"},
         Outcome::Exited,
         0,
         "0\n1\n2\n3\n",
         ""},  // 3: the folder ls is reading
        {"a missing program", {"tavel-no-such-program"}, Outcome::NotInstalled, 0, "", ""},
        {"a file that is no program", {"/dev/null"}, Outcome::NotStarted, 0, "", ""},
        {"killed by a signal", {"sh", "-c", "kill -TERM $$"}, Outcome::Killed, SIGTERM, "", ""},
    };
    PosixProcessRunner runner;
    for (const auto& c : cases) {
        ProcessResult result = runner.run(c.command);
        EXPECT_EQ(result.outcome, c.outcome) << c.what;
        EXPECT_EQ(c.outcome == Outcome::Killed ? result.signal : result.exitStatus, c.code)
            << c.what;
        EXPECT_EQ(result.output, c.output) << c.what;
        EXPECT_EQ(result.errors, c.errors) << c.what;
    }

    // The ignored signals' mask (glibc's own signals aside): SIGPIPE is not among them.
    std::string ignored = runner.run({"grep", "-o", "SigIgn:.*", "/proc/self/status"}).output;
    ASSERT_GT(ignored.size(), 8u);
    EXPECT_EQ(std::stoull(ignored.substr(7), nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u) << ignored;

    unsetenv("TAVEL_PROBE");
    signal(SIGPIPE, oldPipe);
    close(leaked);
}

TEST(PosixProcessRunner, StopsAtTheTimeLimitButNotForWhatTheProgramLeftBehind) {
    // Overrunning: killed, and what it said so far is kept.
    ProcessResult overrun = PosixProcessRunner(std::chrono::milliseconds(200))
                                .run({"sh", "-c", "echo begun; sleep 30"});
    EXPECT_EQ(overrun.outcome, Outcome::TimedOut);
    EXPECT_EQ(overrun.output, "begun\n");

    // A program that ends while its background child still holds the output open has
    // ended: the call returns with its status instead of running into the limit.
    ProcessResult ended = PosixProcessRunner().run({"sh", "-c", "sleep 30 & echo $!"});
    EXPECT_EQ(ended.outcome, Outcome::Exited);
    ASSERT_FALSE(ended.output.empty());
    kill(std::stoi(ended.output), SIGKILL);

    // A flood of output is read to its end (the program never blocks on a full pipe) and
    // kept up to its bound.
    ProcessResult flood = PosixProcessRunner().run({"head", "-c", "3000000", "/dev/zero"});
    EXPECT_EQ(flood.outcome, Outcome::Exited);
    EXPECT_EQ(flood.output.size(), std::size_t(1) << 20);
}

}  // namespace
}  // namespace tavel
