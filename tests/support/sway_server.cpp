#include "support/sway_server.h"

#include "effects/offscreen/png_decode.h"
#include "support/plain_picture.h"
#include "support/temp_dir.h"

#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

namespace tavel::test {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& message, const std::string& log = {}) {
    std::fprintf(stderr, "sway for tests: %s\n%s\n", message.c_str(), log.c_str());
    std::exit(2);
}

// Sockets in `dir` whose names start with `prefix` (and are not lock files).
std::set<std::string> socketsIn(const fs::path& dir, const std::string& prefix) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.is_socket(ignored)) names.insert(name);
    }
    return names;
}

// A moment between two looks at something sway is about to do (each caller has a
// deadline).
void pause50ms() {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 50);
}

// Readable by sway's user.
void makeReadable(const fs::path& file) {
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
}

// A plain picture of `rgb` (0xRRGGBB) for the person's own background.
void writeBackground(const fs::path& file, std::uint32_t rgb) {
    if (!writePlainPicture(file, rgb)) fail("cannot encode the background picture");
    makeReadable(file);
}

// The person's waybar, where it looks for it in their home: a plain opaque strip with
// the tray alone, so that anything drawn on it is a tray item.
void writeBarConfiguration(const fs::path& home) {
    const fs::path folder = home / ".config" / "waybar";
    fs::create_directories(folder);
    for (const fs::path& made : {home / ".config", folder})
        fs::permissions(made, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%06x", unsigned(SwayServer::kBarColour));
    std::ofstream(folder / "config")
        << R"({"layer": "top", "position": "top", "height": )" << SwayServer::kBarHeight
        << R"(, "modules-right": ["tray"], "tray": {"icon-size": 16, "spacing": 4}})" << '\n';
    std::ofstream(folder / "style.css")
        << "* { min-height: 0; }\nwindow#waybar { background: " << colour << "; }\n";
    makeReadable(folder / "config");
    makeReadable(folder / "style.css");
}

// The one name in `now` that is not in `before`; empty when there is none.
std::string added(const std::set<std::string>& before, const std::set<std::string>& now) {
    for (const auto& name : now)
        if (!before.count(name)) return name;
    return {};
}

}  // namespace

SwayServer::SwayServer(const std::vector<std::string>& config, const SwayServer* host,
                       const SwayLogin& login)
    : login_(login) {
    bool root = geteuid() == 0;
    passwd* nobody = root ? getpwnam("nobody") : nullptr;
    if (root && !nobody) fail("no user \"nobody\" to run sway as");
    if (host) {
        base_ = host->base_;
        runtimeDir_ = host->runtimeDir_;
    } else {
        ownsFolder_ = true;
        std::string pattern = (fs::temp_directory_path() / "tavel-sway-XXXXXX").string();
        if (!mkdtemp(pattern.data())) fail("mkdtemp failed");
        base_ = pattern;
        // Sway's user reads the configuration here; only it enters the runtime folder.
        fs::permissions(base_,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        runtimeDir_ = base_ / "run";
        fs::create_directory(runtimeDir_);
        fs::permissions(runtimeDir_, fs::perms::owner_all);
        if (root && chown(runtimeDir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            fail("cannot hand the runtime folder to nobody");
    }
    std::string tag = host ? "nested" : "headless";
    fs::path configFile = base_ / (tag + ".config");
    {
        std::ofstream out(configFile);
        for (const auto& line : config) out << line << '\n';
        if (login.xwayland) out << "xwayland enable\n";
        if (login.background) {
            fs::path picture = base_ / (tag + "-background.png");
            writeBackground(picture, *login.background);
            out << "output * bg " << picture.string() << " fill\n";
        }
        if (login.bar) {
            writeBarConfiguration(base_);
            out << "bar {\n    swaybar_command waybar\n}\n";
        }
    }
    makeReadable(configFile);
    if (login.bar) bus_.emplace(DbusDaemon::EveryUser{});

    swayEnvironment_ = {
        "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"),
        "HOME=" + base_.string(),
        "XDG_RUNTIME_DIR=" + runtimeDir_.string(),
        "WLR_RENDERER=pixman",
        "WLR_LIBINPUT_NO_DEVICES=1",
        host ? "WLR_BACKENDS=wayland" : "WLR_BACKENDS=headless",
    };
    if (host) swayEnvironment_.push_back("WAYLAND_DISPLAY=" + host->socket_);
    if (bus_) swayEnvironment_.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    if (root) command_ = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    for (const char* part : {"sway", "-c"}) command_.push_back(part);
    command_.push_back(configFile.string());
    logFile_ = base_ / (tag + ".log");

    if (!login.later) {
        start();
        return;
    }
    // Sway takes the first free name from wayland-1 on.
    if (!ownsFolder_) fail("a nested sway starts at once");
    for (int n = 1; socket_.empty(); ++n)
        if (!fs::exists(runtimeDir_ / ("wayland-" + std::to_string(n) + ".lock")))
            socket_ = "wayland-" + std::to_string(n);
}

void SwayServer::start() {
    const std::string expected = socket_;
    socket_.clear();
    // Sway opens its Wayland socket and its IPC socket at start; the inotify watch sees
    // them appear, with no polling of the folder on a clock.
    int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, runtimeDir_.c_str(), IN_CREATE) < 0)
        fail("inotify failed");
    auto waylandBefore = socketsIn(runtimeDir_, "wayland-");
    auto ipcBefore = socketsIn(runtimeDir_, "sway-ipc.");
    if (!sway_.start(command_, swayEnvironment_, logFile_.c_str()))
        fail("cannot start sway (install sway)");

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (socket_.empty() || ipcSocket_.empty()) {
        socket_ = added(waylandBefore, socketsIn(runtimeDir_, "wayland-"));
        ipcSocket_ = added(ipcBefore, socketsIn(runtimeDir_, "sway-ipc."));
        if (!socket_.empty() && !ipcSocket_.empty()) break;
        if (sway_.waitForExit(std::chrono::milliseconds(0))) fail("sway ended at start", log());
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) fail("sway opened no sockets within 20 s", log());
        // Woken by the next file made in the folder (or after a while, to look whether
        // sway ended).
        pollfd ready{watch, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(std::min<long>(left.count(), 500))) > 0) {
            char events[4096];
            [[maybe_unused]] auto ignored = read(watch, events, sizeof events);
        }
    }
    close(watch);
    if (!expected.empty() && socket_ != expected)
        fail("sway took " + socket_ + ", not " + expected, log());
    // Answers once sway's loop runs and its outputs are configured. The socket's file
    // appears before sway listens on it: on a busy machine the first tries are refused.
    std::string outputs;
    while (run({"swaymsg", "-t", "get_outputs"}, &outputs) != 0) {
        if (sway_.waitForExit(std::chrono::milliseconds(0))) fail("sway ended at start", log());
        if (std::chrono::steady_clock::now() >= deadline) fail("sway does not answer", log());
        pause50ms();  // a moment for sway's loop to start listening
    }
    if (login_.background) waitForBackground();
    if (login_.bar) waitForBar();
    if (login_.xwayland) letClientsIntoXwayland();
}

void SwayServer::waitForBackground() const {
    // Sway starts swaybg as it starts: the tests' clients come after it, as at a login.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!showsBackground(screenshot(*this, ""))) {
        if (std::chrono::steady_clock::now() >= deadline)
            fail("the background picture is not shown within 20 s (install swaybg)", log());
        pause50ms();
    }
}

bool SwayServer::showsBackground(const Shot& shot) const {
    if (!shot.taken || !login_.background) return false;
    // Most of it: swaybg's scaling blends the picture's edges.
    const std::size_t below = login_.bar ? std::size_t(kBarHeight) * shot.width : 0;
    if (shot.pixels.size() <= below) return false;
    const std::size_t shown =
        std::count(shot.pixels.begin() + long(below), shot.pixels.end(), *login_.background);
    return shown * 10 >= (shot.pixels.size() - below) * 9;
}

void SwayServer::waitForBar() const {
    // Sway starts the bar as it starts; its strip is the bar's colour but for a tray item
    // that may have come before it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        Shot shot = screenshot(*this, "");
        const long strip = long(kBarHeight) * shot.width;
        if (shot.taken && long(shot.pixels.size()) > strip &&
            std::count(shot.pixels.begin(), shot.pixels.begin() + strip, kBarColour) * 10 >=
                strip * 8)
            return;
        if (std::chrono::steady_clock::now() >= deadline)
            fail("the bar is not shown within 20 s (install waybar)", log());
        pause50ms();
    }
}

void SwayServer::letClientsIntoXwayland() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // Run by sway as its user, with the $DISPLAY it gives its clients: Xwayland lets in
    // its own user only, and under root the tests are another one. The file appears
    // once both are done.
    passwd* self = getpwuid(geteuid());
    if (!self) fail("who is this test?");
    fs::path script = base_ / "let-in.sh", answer = runtimeDir_ / "display";
    std::ofstream(script) << "#!/bin/sh\nxhost +si:localuser:" << self->pw_name
                          << " > /dev/null && printf %s \"$DISPLAY\" > " << answer.string()
                          << ".part && mv " << answer.string() << ".part " << answer.string()
                          << "\n";
    fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    if (run({"swaymsg", "exec", script.string()}) != 0) fail("swaymsg exec failed", log());
    while ((display_ = slurp(answer)).empty()) {
        if (sway_.waitForExit(std::chrono::milliseconds(0))) fail("sway ended at start", log());
        if (std::chrono::steady_clock::now() >= deadline)
            fail("Xwayland did not let the tests in (install xwayland and x11-xserver-utils)",
                 log());
        pause50ms();
    }
}

SwayServer::~SwayServer() {
    sway_.stop();
    if (!ownsFolder_) return;
    std::error_code ignored;
    fs::remove_all(base_, ignored);
}

std::vector<std::string> SwayServer::environment() const {
    std::vector<std::string> overrides = {"WAYLAND_DISPLAY=" + socket_,
                                          "XDG_RUNTIME_DIR=" + runtimeDir_.string()};
    std::vector<std::string> remove = {"DISPLAY"};
    if (ipcSocket_.empty())
        remove.push_back("SWAYSOCK");
    else
        overrides.push_back("SWAYSOCK=" + (runtimeDir_ / ipcSocket_).string());
    if (!display_.empty()) overrides.push_back("DISPLAY=" + display_);
    if (bus_) overrides.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    return environmentWith(overrides, remove);
}

int SwayServer::run(const std::vector<std::string>& command, std::string* output) const {
    TempDir dir;
    std::string outFile = (dir / "out").string();
    int status = waitProcess(startProcess(command, environment(), outFile.c_str(), "/dev/null"));
    if (output) *output = slurp(outFile);
    return status;
}

bool SwayServer::start(ChildProgram& program, const std::vector<std::string>& command) const {
    return program.start(command, environment(), "/dev/null");
}

std::string SwayServer::log() const {
    return slurp(logFile_);
}

Shot shotFromFile(const std::string& file) {
    Shot shot;
    std::string error;
    auto image = decodePngFile(file, error);
    if (!image) return shot;
    shot.taken = true;
    shot.width = image->width;
    shot.height = image->height;
    long lit = 0;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            const auto* p = image->pixel(x, y);
            lit += p[0] > 8 || p[1] > 8 || p[2] > 8;
            shot.pixels.push_back(p[0] | p[1] << 8 | p[2] << 16);
        }
    shot.lit = double(lit) / (double(image->width) * image->height);
    shot.colours = std::set<std::uint32_t>(shot.pixels.begin(), shot.pixels.end()).size();
    return shot;
}

Shot screenshot(const SwayServer& sway, const std::string& output) {
    TempDir dir;
    std::string file = (dir / "shot.png").string();
    std::vector<std::string> command = {"grim", file};
    if (!output.empty()) command.insert(command.begin() + 1, {"-o", output});
    if (sway.run(command) != 0) return {};
    return shotFromFile(file);
}

double changedShare(const Shot& a, const Shot& b) {
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) return 1.0;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) changed += a.pixels[i] != b.pixels[i];
    return double(changed) / double(a.pixels.size());
}

SwayServer& sharedSway() {
    static SwayServer server({"output * mode 320x240", "default_border none",
                              "for_window [app_id=\"wlroots\"] floating enable"});
    setenv("WAYLAND_DISPLAY", server.socket().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", server.runtimeDir().c_str(), 1);
    return server;
}

}  // namespace tavel::test
