#include "support/sway_server.h"

#include "support/temp_dir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

namespace tavel::test {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& message, const std::string& log = {}) {
    failToStart("sway", message, log);
}

// Sockets in `dir` whose names start with `prefix`, but those in `before`.
std::set<std::string> socketsIn(const fs::path& dir, const std::string& prefix,
                                const std::set<std::string>& before = {}) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored))
        if (std::string name = entry.path().filename().string();
            name.rfind(prefix, 0) == 0 && entry.is_socket(ignored) && !before.count(name))
            names.insert(name);
    return names;
}

// Readable (and, with `enter`, enterable) by sway's user.
void openTo(const fs::path& path, bool enter = false) {
    using fs::perms;
    fs::permissions(path, perms::owner_all | perms::group_read | perms::others_read |
                              (enter ? perms::group_exec | perms::others_exec : perms::none));
}

// The person's waybar: a plain strip with the tray alone.
void writeBarConfiguration(const fs::path& home) {
    const fs::path folder = home / ".config" / "waybar";
    fs::create_directories(folder);
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%06x", unsigned(SwayServer::kBarColour));
    std::ofstream(folder / "config")
        << R"({"layer": "top", "position": "top", "height": )" << SwayServer::kBarHeight
        << R"(, "modules-right": ["tray"], "tray": {"icon-size": 16, "spacing": 4}})" << '\n';
    std::ofstream(folder / "style.css")
        << "* { min-height: 0; }\nwindow#waybar { background: " << colour << "; }\n";
    for (const fs::path& made : {home / ".config", folder}) openTo(made, true);
    for (const char* file : {"config", "style.css"}) openTo(folder / file);
}

}  // namespace

SwayServer::SwayServer(const std::vector<std::string>& config, const SwayServer* host,
                       const SwayLogin& login)
    : login_(login) {
    const bool root = geteuid() == 0;
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
    const std::string tag = host ? "nested" : "headless";
    const fs::path configFile = base_ / (tag + ".config");
    {
        std::ofstream out(configFile);
        for (const auto& line : config) out << line << '\n';
        if (login.xwayland) out << "xwayland enable\n";
        if (login.background) {
            const fs::path picture = base_ / (tag + "-background.png");
            if (!writePlainPicture(picture, *login.background))
                fail("cannot encode the background");
            openTo(picture);
            out << "output * bg " << picture.string() << " fill\n";
        }
        if (login.bar) {
            writeBarConfiguration(base_);
            out << "bar {\n    swaybar_command waybar\n}\n";
        }
    }
    openTo(configFile);
    if (login.bar) bus_.emplace(DbusDaemon::EveryUser{});

    swayEnvironment_ = {
        "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"),
        "HOME=" + base_.string(),
        "XDG_RUNTIME_DIR=" + runtimeDir_.string(),
        "WLR_RENDERER=pixman",
        "WLR_LIBINPUT_NO_DEVICES=1",
        host ? "WLR_BACKENDS=wayland" : "WLR_BACKENDS=headless"};
    if (host) swayEnvironment_.push_back("WAYLAND_DISPLAY=" + host->socket_);
    if (bus_) swayEnvironment_.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    if (root) command_ = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    command_.insert(command_.end(), {"sway", "-c", configFile.string()});
    logFile_ = base_ / (tag + ".log");

    start();
}

void SwayServer::waitFor(const char* what, const std::function<bool()>& done) {
    if (!waitUntil(
            [&] {
                if (sway_.waitForExit(std::chrono::milliseconds(0)))
                    fail("sway ended at start", log());
                return done();
            },
            std::chrono::seconds(20)))
        fail(std::string(what) + " within 20 s", log());
}

void SwayServer::start() {
    const auto waylandBefore = socketsIn(runtimeDir_, "wayland-");
    const auto ipcBefore = socketsIn(runtimeDir_, "sway-ipc.");
    if (!sway_.start(command_, swayEnvironment_, logFile_.c_str()))
        fail("cannot start sway (install sway)");
    waitFor("sway opened no sockets", [&] {
        const auto wayland = socketsIn(runtimeDir_, "wayland-", waylandBefore),
                   ipc = socketsIn(runtimeDir_, "sway-ipc.", ipcBefore);
        if (wayland.empty() || ipc.empty()) return false;
        socket_ = *wayland.begin();
        ipcSocket_ = *ipc.begin();
        return true;
    });
    // The socket's file appears before sway listens on it: the first tries may be refused.
    waitFor("sway does not answer", [&] { return run({"swaymsg", "-t", "get_outputs"}) == 0; });
    // swaybg comes before the login's clients: most of the picture, its edges blended.
    if (login_.background)
        waitFor("the background picture is not shown (install swaybg)", [&] {
            const Shot shot = screenshot(*this, "");
            return shot.taken &&
                   std::count(shot.pixels.begin(), shot.pixels.end(), *login_.background) * 10 >=
                       long(shot.pixels.size()) * 8;
        });
    if (login_.bar)  // the bar's colour but for a tray item that may have come already
        waitFor("the bar is not shown (install waybar)", [&] {
            const Shot shot = screenshot(*this, "");
            const long tray = trayPixels(shot);
            return tray >= 0 && tray * 5 <= long(kBarHeight) * shot.width;
        });
    if (!login_.xwayland) return;
    // Xwayland lets in its own user only: sway runs this as that user, with its $DISPLAY.
    passwd* self = getpwuid(geteuid());
    if (!self) fail("who is this test?");
    const fs::path script = base_ / "let-in.sh", answer = runtimeDir_ / "display";
    std::ofstream(script) << "#!/bin/sh\nxhost +si:localuser:" << self->pw_name
                          << " > /dev/null && printf %s \"$DISPLAY\" > " << answer.string()
                          << ".part && mv " << answer.string() << ".part " << answer.string()
                          << "\n";
    openTo(script, true);
    if (run({"swaymsg", "exec", script.string()}) != 0) fail("swaymsg exec failed", log());
    waitFor("Xwayland did not let the tests in (install xwayland and x11-xserver-utils)",
            [&] { return !(display_ = slurp(answer)).empty(); });
}

long SwayServer::trayPixels(const Shot& shot) {
    const long strip = long(kBarHeight) * shot.width;
    if (!shot.taken || long(shot.pixels.size()) <= strip) return -1;
    return strip - std::count(shot.pixels.begin(), shot.pixels.begin() + strip, kBarColour);
}

SwayServer::~SwayServer() {
    sway_.stop();
    std::error_code ignored;
    if (ownsFolder_) fs::remove_all(base_, ignored);
}

std::vector<std::string> SwayServer::environment() const {
    std::vector<std::string> overrides = {"WAYLAND_DISPLAY=" + socket_,
                                          "XDG_RUNTIME_DIR=" + runtimeDir_.string()};
    overrides.push_back("SWAYSOCK=" + (runtimeDir_ / ipcSocket_).string());
    if (!display_.empty()) overrides.push_back("DISPLAY=" + display_);
    if (bus_) overrides.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    return environmentWith(overrides, {"DISPLAY"});
}

int SwayServer::run(const std::vector<std::string>& command) const {
    return waitProcess(startProcess(command, environment(), "/dev/null", "/dev/null"));
}

bool SwayServer::start(ChildProgram& program, const std::vector<std::string>& command) const {
    return program.start(command, environment(), "/dev/null");
}

std::string SwayServer::log() const {
    return slurp(logFile_);
}

Shot screenshot(const SwayServer& sway, const std::string& output) {
    TempDir dir;
    const std::string file = (dir / "shot.png").string();
    std::vector<std::string> command = {"grim", file};
    if (!output.empty()) command.insert(command.begin() + 1, {"-o", output});
    return sway.run(command) == 0 ? shotFromFile(file) : Shot{};
}

SwayServer& sharedSway() {
    static SwayServer server({"output * mode 320x240", "default_border none",
                              "for_window [app_id=\"wlroots\"] floating enable"});
    setenv("WAYLAND_DISPLAY", server.socket().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", server.runtimeDir().c_str(), 1);
    return server;
}

}  // namespace tavel::test
