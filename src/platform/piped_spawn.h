#pragma once
// Starting a program with standard input from /dev/null and its standard output and
// error on pipes: the two process helpers (the runner of desktop tools, the reader of
// the exporter's lines) start their children this way.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavel {

struct PipedChild {
    pid_t pid = -1;
    int out = -1, err = -1;  // the read ends, close-on-exec; standard error's never blocks
    int error = 0;           // errno of a failed start (pid -1, no descriptors left open)
};

struct PipedSpawnOptions {
    bool outputNonBlocking = false;  // standard output's read end too
    bool ownProcessGroup = false;    // so that the whole group can be ended
};

// `command[0]` is found on $PATH when it has no slash. The child starts with default
// signal dispositions, no blocked signals and no other descriptors of this process.
PipedChild spawnPiped(const std::vector<std::string>& command, PipedSpawnOptions options = {});

}  // namespace tavel
