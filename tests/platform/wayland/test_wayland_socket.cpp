// Finding $WAYLAND_DISPLAY's socket, and waiting for a compositor that opens it later.

#include "platform/wayland/wayland_socket.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;

TEST(WaylandSocketPath, IsTheNameInTheRuntimeFolderOrAPathItself) {
    struct Case {
        const char *display, *runtimeDir, *path;
    };
    for (const Case& c : std::vector<Case>{{"wayland-1", "/run/user/7", "/run/user/7/wayland-1"},
                                           {"/tmp/compositor", nullptr, "/tmp/compositor"},
                                           {"wayland-1", nullptr, nullptr},
                                           {"wayland-1", "", nullptr},
                                           {"", "/run/user/7", nullptr},
                                           {nullptr, "/run/user/7", nullptr}}) {
        auto path = waylandSocketPath(c.display, c.runtimeDir);
        EXPECT_EQ(path ? path->string() : "none", c.path ? c.path : "none")
            << (c.display ? c.display : "unset");
    }
}

// A socket bound at `path`, as a compositor opens it, and listening unless told not to.
int bindAt(const std::filesystem::path& path, bool listens = true) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listens && listen(fd, 1) != 0))
        ADD_FAILURE() << "cannot bind at " << path;
    return fd;
}

TEST(WaitForSocket, ReturnsOnceTheCompositorOpensIt) {
    test::TempDir run;
    const auto socket = run / "wayland-1";
    int fd = -1;
    std::thread compositor([&] { fd = bindAt(socket); });
    EXPECT_TRUE(waitForSocket(socket, 20s));
    compositor.join();
    EXPECT_TRUE(waitForSocket(socket, 0ms));  // there already
    close(fd);
}

// Bound and not yet listening, the socket refuses connections: not ready until it listens.
TEST(WaitForSocket, WaitsForTheCompositorToListen) {
    test::TempDir run;
    const auto socket = run / "wayland-1";
    const int fd = bindAt(socket, false);
    EXPECT_FALSE(waitForSocket(socket, 100ms));
    ASSERT_EQ(listen(fd, 1), 0);
    EXPECT_TRUE(waitForSocket(socket, 0ms));
    close(fd);
}

TEST(WaitForSocket, GivesUpAfterTheLimitOrWithoutItsFolder) {
    test::TempDir run;
    // Other files in the folder do not end the wait.
    std::thread other([&] { std::ofstream(run / "wayland-1.lock") << ""; });
    EXPECT_FALSE(waitForSocket(run / "wayland-1", 200ms));
    other.join();
    EXPECT_FALSE(waitForSocket(run / "missing" / "wayland-1", 20s));  // at once
}

}  // namespace
}  // namespace tavel
