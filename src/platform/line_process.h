#pragma once
// A child program whose standard output is read line by line while it runs (a helper
// reporting progress). Argument vector, never a shell.

#include <functional>
#include <string>
#include <vector>

namespace tavel {

struct LineProcessResult {
    bool started = false;  // false: the program could not be run at all
    int exitStatus = -1;   // its exit status; -1 when a signal ended it
    std::string errors;    // the start of what it wrote to standard error
};

// Runs `command` (command[0] is a path, not searched for) with standard input from
// /dev/null and calls `line` for each line it writes to standard output, on the calling
// thread, until it ends. `line` may throw to stop it early: the child then gets SIGTERM,
// is waited for, and the exception goes on. Blocks the calling thread.
LineProcessResult runReadingLines(const std::vector<std::string>& command,
                                  const std::function<void(const std::string&)>& line);

}  // namespace tavel
