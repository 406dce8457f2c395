#include "platform/piped_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace tavel {

PipedChild spawnPiped(const std::vector<std::string>& command, PipedSpawnOptions options) {
    PipedChild child;
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC | (options.outputNonBlocking ? O_NONBLOCK : 0)) != 0) {
        child.error = errno;
        return child;
    }
    if (pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0) {
        child.error = errno;
        close(out[0]);
        close(out[1]);
        return child;
    }
    // dup2 clears close-on-exec on the copies; the write ends must block for the child.
    fcntl(out[1], F_SETFL, 0);
    fcntl(err[1], F_SETFL, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.ownProcessGroup) {
        posix_spawnattr_setpgroup(&attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes, flags);
    pid_t pid = -1;
    const int spawnError = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawnError != 0) {
        close(out[0]);
        close(err[0]);
        child.error = spawnError;
        return child;
    }
    child.pid = pid;
    child.out = out[0];
    child.err = err[0];
    return child;
}

}  // namespace tavel
