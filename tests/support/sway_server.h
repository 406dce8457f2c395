#pragma once
// A private headless sway (or one nested in another). Under root it runs as "nobody", with a
// runtime folder only that user may enter; the tests connect to its socket as they are.

#include "support/child_process.h"
#include "support/dbus_daemon.h"
#include "support/shot.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

// What a login starts beside sway's outputs.
struct SwayLogin {
    // `xwayland enable`, and $DISPLAY for the clients (the tests' user let in).
    bool xwayland = false;
    // The person's background: swaybg with a plain picture of this colour, 0xRRGGBB.
    std::optional<std::uint32_t> background;
    // waybar with a tray alone, on a bus of its own: a plain strip along the top.
    bool bar = false;
};

class SwayServer {
public:
    static constexpr int kBarHeight = 20;
    static constexpr std::uint32_t kBarColour = 0x202020;

    // Aborts the test program with sway's log when a part does not come within 20 s.
    explicit SwayServer(const std::vector<std::string>& config, const SwayServer* host = nullptr,
                        const SwayLogin& login = {});
    ~SwayServer();
    SwayServer(const SwayServer&) = delete;
    SwayServer& operator=(const SwayServer&) = delete;

    const std::string& socket() const { return socket_; }  // $WAYLAND_DISPLAY
    const std::filesystem::path& runtimeDir() const { return runtimeDir_; }
    std::vector<std::string> environment() const;
    // Pixels of the bar's strip off its colour (what its tray shows); -1 without a shot.
    static long trayPixels(const Shot& shot);

    // Runs a client tool (swaymsg, grim, wtype): its exit status.
    int run(const std::vector<std::string>& command) const;
    // Starts one that keeps running beside the test.
    bool start(ChildProgram& program, const std::vector<std::string>& command) const;
    std::string log() const;

private:
    void start();
    void waitFor(const char* what, const std::function<bool()>& done);

    std::filesystem::path base_, runtimeDir_, logFile_;
    bool ownsFolder_ = false;  // a nested server uses its host's
    std::string socket_, ipcSocket_;
    std::string display_;  // Xwayland's
    SwayLogin login_;
    std::vector<std::string> command_, swayEnvironment_;
    std::optional<DbusDaemon> bus_;
    ChildProgram sway_;
};

// What an output shows (every output, when the name is empty), as grim takes it.
Shot screenshot(const SwayServer& sway, const std::string& output);

// The test program's headless sway (320x240), started on first use; sets $WAYLAND_DISPLAY.
SwayServer& sharedSway();

}  // namespace tavel::test
