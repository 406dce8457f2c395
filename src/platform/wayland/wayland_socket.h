#pragma once
// Where $WAYLAND_DISPLAY's socket lies, and waiting for a compositor that has not opened
// it yet: a session may start its programs beside the compositor rather than after it.

#include <chrono>
#include <filesystem>
#include <optional>

namespace tavel {

// The socket `display` names, as libwayland finds it: the name itself when it is a path,
// else in `runtimeDir`. Nothing when `display` is unset or empty, or a name has no
// runtime folder to lie in.
std::optional<std::filesystem::path> waylandSocketPath(const char* display, const char* runtimeDir);

// Blocks until a compositor listens on `socket`, at most `limit`: woken by changes in its
// folder (inotify), and trying again every 10 ms while the socket exists but refuses
// connections (between the compositor's bind and listen). True once a connection is taken
// (and closed again at once); false after the limit, or at once when its folder does not
// exist. For the start, before the loop runs.
bool waitForSocket(const std::filesystem::path& socket, std::chrono::milliseconds limit);

}  // namespace tavel
