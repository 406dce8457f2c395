#pragma once
// A private headless sway for one test program (and, for tests that need outputs to go
// away, a nested sway drawing its outputs as windows of the first one). Sway refuses to
// run as root: under root it runs as "nobody", with a runtime folder of its own that
// only that user may enter; the tests connect to its socket as they are.

#include "support/child_process.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

// What a login starts beside sway's outputs, when a test asks for it.
struct SwayLogin {
    // `xwayland enable`, and $DISPLAY for the clients (the tests' user let in, as a
    // session lets in its own user).
    bool xwayland = false;
    // The person's own background: `output * bg` (swaybg, started by sway before any
    // client) with a plain picture of this colour, 0xRRGGBB.
    std::optional<std::uint32_t> background;
};

class SwayServer {
public:
    // Starts sway with these configuration lines: headless, or (with `host`) nested in
    // `host`'s compositor, and what `login` asks for. Aborts the test program with sway's
    // log when it cannot start or does not open its sockets within 20 s, or does not
    // show the background or let the tests into Xwayland within 20 s more each.
    explicit SwayServer(const std::vector<std::string>& config, const SwayServer* host = nullptr,
                        const SwayLogin& login = {});
    ~SwayServer();
    SwayServer(const SwayServer&) = delete;
    SwayServer& operator=(const SwayServer&) = delete;

    // The Wayland socket's name (for $WAYLAND_DISPLAY) and its runtime folder.
    const std::string& socket() const { return socket_; }
    const std::filesystem::path& runtimeDir() const { return runtimeDir_; }
    // $WAYLAND_DISPLAY, $XDG_RUNTIME_DIR and $SWAYSOCK set to this server's, and $DISPLAY
    // to its Xwayland's (unset without one).
    std::vector<std::string> environment() const;

    // Runs a client tool (swaymsg, grim, wtype) against this server, without a shell;
    // its exit status, and its standard output in `output` when given.
    int run(const std::vector<std::string>& command, std::string* output = nullptr) const;
    // Starts one that keeps running beside the test.
    bool start(ChildProgram& program, const std::vector<std::string>& command) const;
    // What sway wrote so far, for failure messages.
    std::string log() const;

private:
    void waitForBackground(std::uint32_t rgb) const;
    void letClientsIntoXwayland();

    std::filesystem::path base_, runtimeDir_, logFile_;
    bool ownsFolder_ = false;  // a nested server uses its host's
    std::string socket_, ipcSocket_;
    std::string display_;  // Xwayland's, as sway gives it to its clients
    ChildProgram sway_;
};

// What an output shows (every output, when the name is empty), as grim takes it.
struct Shot {
    bool taken = false;
    int width = 0, height = 0;
    double lit = 0;                     // share of pixels with any colour channel above 8 of 255
    std::size_t colours = 0;            // distinct colours: one for a plain window or background
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, rows top first
};
Shot screenshot(const SwayServer& sway, const std::string& output);
// A PNG file as a Shot (not taken when it cannot be read).
Shot shotFromFile(const std::string& file);
// The share of pixels that differ between two shots of the same size (1 when the sizes
// differ).
double changedShare(const Shot& a, const Shot& b);

// The process-wide headless sway of the test program (320x240 outputs), started on first
// use; also exported as $WAYLAND_DISPLAY and $XDG_RUNTIME_DIR, so connections and child
// processes find it.
SwayServer& sharedSway();

}  // namespace tavel::test
