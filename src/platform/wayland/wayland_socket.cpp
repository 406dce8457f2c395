#include "platform/wayland/wayland_socket.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>

namespace tavel {

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
    bool found = std::filesystem::is_socket(socket, ignored);
    while (watching && !found) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd ready{watch, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60000))) > 0) {
            alignas(inotify_event) char events[4096];
            [[maybe_unused]] auto drained = read(watch, events, sizeof events);
        }
        found = std::filesystem::is_socket(socket, ignored);
    }
    close(watch);
    return found;
}

}  // namespace tavel
