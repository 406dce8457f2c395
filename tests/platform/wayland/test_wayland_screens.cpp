// Outputs as screens by the pure rules; the connection's start and loss; the socket's path
// and waiting for a compositor to open it.

#include "platform/wayland/wayland_outputs.h"
#include "platform/wayland/wayland_screens.h"
#include "platform/wayland/wayland_socket.h"
#include "wayland_fixture.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;

TEST(WaylandScreenRecords, KeepTheOrderAndTakeFramesAndScalesFromTheLogicalGeometry) {
    using L = OutputState::Logical;
    const std::pair<OutputState, ScreenRecord> cases[] = {
        // Logical geometry: the frame as it is, the scale in 120ths of mode per unit.
        {{"DP-1", 0, 0, 3840, 2160, 0, 2, L{0, 0, 1920, 1080}},
         {{}, "DP-1", {0, 0, 1920, 1080}, 2}},
        {{"HDMI-A-1", 0, 0, 2560, 1440, 0, 2, L{1920, -40, 1706, 960}},
         {{}, "HDMI-A-1", {1920, -40, 1706, 960}, 1.5}},
        // Turned a quarter (90 and flipped 270): the mode's sides swap.
        {{"DP-2", 0, 0, 1920, 1080, 1, 1, L{0, 0, 1080, 1920}},
         {{}, "DP-2", {0, 0, 1080, 1920}, 1}},
        {{"DP-3", 0, 0, 2160, 3840, 7, 2, L{0, 0, 1920, 1080}},
         {{}, "DP-3", {0, 0, 1920, 1080}, 2}},
        // No xdg-output: the position, and the mode over wl_output's whole scale.
        {{"eDP-1", -100, 50, 640, 480, 0, 2, std::nullopt}, {{}, "eDP-1", {-100, 50, 320, 240}, 2}},
        {{"", 0, 0, 800, 600, 0, 0, std::nullopt}, {{}, "", {0, 0, 800, 600}, 1}},
        // No current mode: the logical size at scale 1.
        {{"X", 5, 5, 0, 0, 0, 1, L{5, 5, 100, 80}}, {{}, "X", {5, 5, 100, 80}, 1}},
    };
    std::vector<OutputState> outputs;
    std::vector<ScreenRecord> expected;
    for (auto [output, record] : cases) {
        outputs.push_back(output);
        record.number = displayNumberForMonitorName(record.name);
        expected.push_back(record);
    }
    EXPECT_EQ(screenRecordsFor(outputs), expected);
}

TEST(WaylandConnectionOpen, GivesNothingWithoutADisplayToConnectTo) {
    test::sharedSway();
    AsioScheduler loop;
    std::string saved = std::getenv("WAYLAND_DISPLAY");
    for (const char* name : {static_cast<const char*>(nullptr), "", "no-such-socket"}) {
        if (name)
            setenv("WAYLAND_DISPLAY", name, 1);
        else
            unsetenv("WAYLAND_DISPLAY");
        EXPECT_EQ(WaylandConnection::open(loop.context()), nullptr) << (name ? name : "unset");
    }
    setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
}

// Losing the compositor (over a protocol error) exits 1 with a log line after the handler.
TEST(WaylandConnectionLost, EndsTheProcessWithALogLine) {
    test::sharedSway();
    GTEST_FLAG_SET(death_test_style, "fast");
    struct StandardError final : LogSink {
        void write(std::string_view line) override {
            std::fprintf(stderr, "%.*s\n", int(line.size()), line.data());
        }
    };
    EXPECT_EXIT(
        {
            AsioScheduler loop;
            StandardError sink;
            auto connection = WaylandConnection::open(loop.context(), sink);
            if (!connection || !connection->hasLayerShell()) std::exit(3);
            connection->setLostHandler([] { std::fprintf(stderr, "lost handler ran\n"); });
            wl_surface* surface = wl_compositor_create_surface(connection->globals().compositor);
            // No such layer: the compositor answers with an error and hangs up.
            zwlr_layer_shell_v1_get_layer_surface(connection->globals().layerShell, surface,
                                                  nullptr, 99, "bad");
            connection->dispatchSoon();
            loop.runFor(std::chrono::seconds(10));
            std::exit(4);
        },
        ::testing::ExitedWithCode(1),
        "lost handler ran\nTavel: lost the Wayland display \\(protocol error 1 on "
        "zwlr_layer_shell_v1\\)");
}

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

// A listening socket ends the wait, a bound one not yet, other files never; a missing
// folder ends it at once.
TEST(WaitForSocket, ReturnsOnceTheCompositorListensOrGivesUp) {
    test::TempDir run;
    std::thread other([&] { std::ofstream(run / "wayland-1.lock") << ""; });
    EXPECT_FALSE(waitForSocket(run / "wayland-1", 200ms));
    other.join();
    EXPECT_FALSE(waitForSocket(run / "missing" / "wayland-1", 20s));
    int fd = -1;
    std::thread compositor([&] { fd = bindAt(run / "wayland-1"); });
    EXPECT_TRUE(waitForSocket(run / "wayland-1", 20s));
    compositor.join();
    close(fd);
    fd = bindAt(run / "wayland-2", false);
    EXPECT_FALSE(waitForSocket(run / "wayland-2", 100ms));
    ASSERT_EQ(listen(fd, 1), 0);
    EXPECT_TRUE(waitForSocket(run / "wayland-2", 0ms));
    close(fd);
}

}  // namespace
}  // namespace tavel
