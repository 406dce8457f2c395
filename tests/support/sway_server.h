#pragma once
// A private headless sway for one test program (and, for tests that need outputs to go
// away, a nested sway drawing its outputs as windows of the first one). Sway refuses to
// run as root: under root it runs as "nobody", with a runtime folder of its own that
// only that user may enter; the tests connect to its socket as they are.

#include "support/child_process.h"
#include "support/dbus_daemon.h"

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
    // The person's bar: waybar from sway's `bar` block, with a tray (a status notifier
    // host, and the watcher when none runs) as its only module, on a session bus the
    // server runs for the login. Shows a plain strip kBarHeight pixels high along the top
    // of each output, until an item comes to its tray at the right end.
    bool bar = false;
    // Everything made ready (folders, configuration, the bus) but sway itself, which
    // start() then starts: for programs that come before the compositor.
    bool later = false;
};

struct Shot;

class SwayServer {
public:
    static constexpr int kBarHeight = 20;
    static constexpr std::uint32_t kBarColour = 0x202020;

    // Starts sway with these configuration lines: headless, or (with `host`) nested in
    // `host`'s compositor, and what `login` asks for (only prepares it with login.later).
    // Aborts the test program with sway's log when it cannot start or does not open its
    // sockets within 20 s, or does not show the background and the bar or let the tests
    // into Xwayland within 20 s more each.
    explicit SwayServer(const std::vector<std::string>& config, const SwayServer* host = nullptr,
                        const SwayLogin& login = {});
    ~SwayServer();
    SwayServer(const SwayServer&) = delete;
    SwayServer& operator=(const SwayServer&) = delete;

    // Starts the prepared sway of a `later` login, as the constructor does otherwise.
    void start();

    // The Wayland socket's name (for $WAYLAND_DISPLAY) and its runtime folder. Before a
    // `later` login starts, the name sway will take: the first free one, in a runtime
    // folder of its own.
    const std::string& socket() const { return socket_; }
    const std::filesystem::path& runtimeDir() const { return runtimeDir_; }
    // $WAYLAND_DISPLAY, $XDG_RUNTIME_DIR and $SWAYSOCK set to this server's, $DISPLAY
    // to its Xwayland's (unset without one or before it runs), and
    // $DBUS_SESSION_BUS_ADDRESS to the login's bus where it has one.
    std::vector<std::string> environment() const;
    // The login's session bus; empty without one.
    std::string busAddress() const { return bus_ ? bus_->address() : std::string(); }
    // Whether `shot` shows the person's background below the bar, as swaybg draws it.
    bool showsBackground(const Shot& shot) const;

    // Runs a client tool (swaymsg, grim, wtype) against this server, without a shell;
    // its exit status, and its standard output in `output` when given.
    int run(const std::vector<std::string>& command, std::string* output = nullptr) const;
    // Starts one that keeps running beside the test.
    bool start(ChildProgram& program, const std::vector<std::string>& command) const;
    // What sway wrote so far, for failure messages.
    std::string log() const;

private:
    void waitForBackground() const;
    void waitForBar() const;
    void letClientsIntoXwayland();

    std::filesystem::path base_, runtimeDir_, logFile_;
    bool ownsFolder_ = false;  // a nested server uses its host's
    std::string socket_, ipcSocket_;
    std::string display_;  // Xwayland's, as sway gives it to its clients
    SwayLogin login_;
    std::vector<std::string> command_, swayEnvironment_;
    std::optional<DbusDaemon> bus_;  // the login's, for a bar
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
