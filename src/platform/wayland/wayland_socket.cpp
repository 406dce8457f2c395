#include "platform/wayland/wayland_socket.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace tavel {

namespace {

// Whether a connection to `socket` is taken: something listens there.
bool listening(const std::filesystem::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.native().size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, socket.c_str(), socket.native().size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool taken = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return taken;
}

}  // namespace

std::optional<std::filesystem::path> waylandSocketPath(const char* display,
                                                       const char* runtimeDir) {
    if (!display || !*display) return std::nullopt;
    if (display[0] == '/') return std::filesystem::path(display);
    if (!runtimeDir || !*runtimeDir) return std::nullopt;
    return std::filesystem::path(runtimeDir) / display;
}

bool waitForSocket(const std::filesystem::path& socket, std::chrono::milliseconds limit) {
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0) return false;
    // Watched before the first look, so a socket made in between is not missed.
    const bool watching =
        inotify_add_watch(watch, socket.parent_path().c_str(), IN_CREATE | IN_MOVED_TO) >= 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::error_code ignored;
    bool ready = listening(socket);
    while (watching && !ready) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        // The compositor binds the socket (the file appears, which wakes this) and then
        // listens on it; a connection in between is refused, and nothing tells when it
        // listens: then it is tried again shortly.
        const bool made = std::filesystem::exists(socket, ignored);
        const long long wait = std::min<long long>(left.count(), made ? 10 : 60000);
        pollfd changed{watch, POLLIN, 0};
        if (poll(&changed, 1, static_cast<int>(wait)) > 0) {
            alignas(inotify_event) char events[4096];
            [[maybe_unused]] auto drained = read(watch, events, sizeof events);
        }
        ready = listening(socket);
    }
    close(watch);
    return ready;
}

}  // namespace tavel
