// The session's start as its login starts it (home folder, buses, programs) and its end.

#include "support/x11_desktop_display.h"

#include "platform/x11/x11_loop_fixture.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <regex>

namespace tavel::test {

namespace {

using namespace std::chrono_literals;
using enum DesktopLogin::Trait;
namespace fs = std::filesystem;

// In every process of a session: how the end finds what was started behind its back.
constexpr const char* kMark = "TAVEL_TEST_LOGIN";
constexpr const char* kBackdrop = "#3a6ea5";
constexpr const char* kWaylandSocket = "wayland-0";  // GNOME Shell's, as at a login

// GNOME's desktop-icons extension, a plain backdrop, and no banners.
const std::vector<std::vector<std::string>> kGnomeSettings = {
    {"gsettings", "set", "org.gnome.shell", "enabled-extensions", "['ding@rastersoft.com']"},
    {"gsettings", "set", "org.gnome.shell", "disable-user-extensions", "false"},
    {"gsettings", "set", "org.gnome.desktop.background", "picture-options", "none"},
    {"gsettings", "set", "org.gnome.desktop.background", "color-shading-type", "solid"},
    {"gsettings", "set", "org.gnome.desktop.background", "primary-color", kBackdrop},
    {"gsettings", "set", "org.gnome.desktop.notifications", "show-banners", "false"}};

// clang-format off
const DesktopLogin& loginOf(X11Desktop desktop) {
    static const std::vector<DesktopLogin> logins = {  // in X11Desktop's order
        {"XFCE", "xfce", {}, {"xfwm4", "--compositor=on"}, {{"xfce4-panel"}, {"xfdesktop"}}, Panel},
        {"GNOME", "gnome", kGnomeSettings, {"gnome-shell", "--x11"}, {}, OverviewFirst},
        {"GNOME", "gnome", kGnomeSettings, {"gnome-shell", "--wayland", "--headless",
         "--virtual-monitor", "1280x720", "--wayland-display", kWaylandSocket}, {},
         OverviewFirst | Wayland},
        // As root (the tests' user) caja leaves the desktop alone unless forced.
        {"MATE", "mate", {{"gsettings", "set", "org.mate.background", "picture-filename", ""},
                          {"gsettings", "set", "org.mate.background", "color-shading-type", "solid"},
                          {"gsettings", "set", "org.mate.background", "primary-color", kBackdrop}},
         {"marco"}, {{"caja", "-n", "--force-desktop"}}},
    };
    return logins[std::size_t(desktop)];
}
// clang-format on

// The backdrop of each of xfwm4's four workspaces (xfdesktop may draw another one's first).
std::string xfceDesktopSettings() {
    std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0"><property name="backdrop" type="empty">
<property name="screen0" type="empty"><property name="monitorscreen" type="empty">)";
    for (int i = 0; i < 4; ++i)
        text += "<property name=\"workspace" + std::to_string(i) + R"(" type="empty">
<property name="color-style" type="int" value="0"/><property name="image-style" type="int" value="0"/>
<property name="rgba1" type="array"><value type="double" value="0.227451"/>
<value type="double" value="0.431373"/><value type="double" value="0.647059"/>
<value type="double" value="1"/></property></property>)";
    return text + "</property></property></property></channel>\n";
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

// Calls `method` of the shell's object `path` (mutter's too: they share a connection).
template <class... Args>
sdbus::MethodReply callShell(sdbus::IConnection& bus, const std::string& path,
                             const std::string& interface, const char* method,
                             const Args&... args) {
    auto proxy = sdbus::createProxy(bus, "org.gnome.Shell", path);
    auto call = proxy->createMethodCall(interface, method);
    ((call << args), ...);
    return proxy->callMethod(call, 20s);
}

// A request about a window that is gone fails quietly instead of ending the program.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

std::string nameOf(X11Desktop desktop) {
    const DesktopLogin& login = loginOf(desktop);
    return std::string(login.session) + (login.has(Wayland) ? "_wayland" : "");
}

std::vector<pid_t> processesWith(const std::string& entry) {
    std::vector<pid_t> pids;
    for (const auto& process : fs::directory_iterator("/proc")) {
        const std::string name = process.path().filename().string();
        // Entries end with a NUL; one before the first stands for the start.
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            ('\0' + slurp(process.path() / "environ")).find('\0' + entry + '\0') !=
                std::string::npos)
            pids.push_back(pid_t(std::stol(name)));
    }
    return pids;
}

X11DesktopSession::X11DesktopSession(X11Desktop desktop) : login_(loginOf(desktop)) {
    // What the bus starts comes back here when its parent ends, for the end to wait for.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    XSetErrorHandler(ignoreXErrors);
    if (!login_.has(Wayland)) {  // else its Xwayland comes with the compositor
        displayName_ = xvfb_.emplace(kWidth, kHeight).name();
        display_ = XOpenDisplay(displayName_.c_str());
    }
    ready_ = display_ || login_.has(Wayland) ? start() : failure("cannot open " + displayName_);
}

X11DesktopSession::~X11DesktopSession() {
    if (display_) XCloseDisplay(display_);
    if (!xauthority_.empty()) unsetenv("XAUTHORITY");
    stopEverything();
}

std::vector<std::string> X11DesktopSession::environment(
    const std::vector<std::string>& extra) const {
    std::vector<std::string> login = {
        "HOME=" + (dir_ / "home").string(),
        "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
        std::string("XDG_CURRENT_DESKTOP=") + login_.name,
        std::string("XDG_SESSION_DESKTOP=") + login_.session,
        std::string("DESKTOP_SESSION=") + login_.session,
        std::string("XDG_SESSION_TYPE=") + (login_.has(Wayland) ? "wayland" : "x11"),
        std::string(kMark) + "=" + dir_.path().string()};
    if (login_.has(Wayland)) login.push_back(std::string("WAYLAND_DISPLAY=") + kWaylandSocket);
    if (!displayName_.empty()) login.push_back("DISPLAY=" + displayName_);
    if (!xauthority_.empty()) login.push_back("XAUTHORITY=" + xauthority_);
    if (system_) login.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + system_->address());
    if (session_) login.push_back("DBUS_SESSION_BUS_ADDRESS=" + session_->address());
    login.insert(login.end(), extra.begin(), extra.end());
    // Folders follow $HOME, as at a login; nothing of the test's own session leaks in.
    return environmentWith(
        login, {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "SWAYSOCK",
                "SESSION_MANAGER", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"});
}

int X11DesktopSession::run(const std::vector<std::string>& command) const {
    return waitProcess(startProcess(command, environment(), "/dev/null", "/dev/null"));
}

void X11DesktopSession::startProgram(const std::vector<std::string>& command) {
    logs_.push_back(dir_ / ("log" + std::to_string(logs_.size() + 1) + "-" + command[0]));
    programs_.emplace_back().start(command, environment(), logs_.back().c_str());
}

::testing::AssertionResult X11DesktopSession::failure(const std::string& what) const {
    return ::testing::AssertionFailure() << what << "\n" << logTails(logs_, 3000);
}

// A folder, a text file and a launcher (its icon a magenta square) that leaves a file.
void X11DesktopSession::writeHome() const {
    const auto home = dir_ / "home", launcher = home / "Desktop" / "mark.desktop";
    fs::create_directories(home / "Desktop" / "Projects");
    writeFile(home / "Desktop" / "notes.txt", "Things to do\n");
    writeFile(dir_ / "launcher.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">"
              "<rect width=\"64\" height=\"64\" fill=\"#ff00ff\"/></svg>\n");
    writeFile(launcher, "[Desktop Entry]\nType=Application\nName=Mark\nExec=touch " +
                            (dir_ / "launched").string() +
                            "\nIcon=" + (dir_ / "launcher.svg").string() + "\n");
    fs::permissions(launcher,
                    fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::create_directories(dir_ / "run");
    fs::permissions(dir_ / "run", fs::perms::owner_all);
    const auto xfconf = home / ".config" / "xfce4" / "xfconf" / "xfce-perchannel-xml";
    writeFile(xfconf / "xfce4-desktop.xml", xfceDesktopSettings());
    // The panel as its first start sets it up when asked for the default layout.
    writeFile(xfconf / "xfce4-panel.xml", slurp("/etc/xdg/xfce4/panel/default.xml"));
}

::testing::AssertionResult X11DesktopSession::start() {
    writeHome();
    system_.emplace();
    session_.emplace(environment());
    for (const auto& command : login_.settings)
        if (run(command) != 0) return failure("failed: " + command[0]);
    // Trusted as the person trusts a launcher (GNOME's flag, XFCE's checksum).
    const auto launcher = (dir_ / "home" / "Desktop" / "mark.desktop").string();
    const auto sumFile = dir_ / "launcher.sha256";
    waitProcess(startProcess({"sha256sum", launcher}, environment(), sumFile.c_str(), "/dev/null"));
    if (run({"gio", "set", launcher, "metadata::trusted", "true"}) != 0 ||
        run({"gio", "set", launcher, "metadata::xfce-exe-checksum",
             slurp(sumFile).substr(0, 64)}) != 0)
        return failure("cannot mark the launcher trusted");

    startProgram(login_.windowManager);
    if (login_.has(Wayland))
        if (auto started = startOnWayland(); !started) return started;
    const Atom cm = XInternAtom(display_, "_NET_WM_CM_S0", False);
    if (!waitUntil(
            [&] {
                return windowManagerPid(display_) > 0 && XGetSelectionOwner(display_, cm) != None;
            },
            60s))
        return failure(login_.windowManager[0] + " did not take the screen within 60 s");
    for (const auto& command : login_.programs) startProgram(command);
    if (auto shown = waitForDesktop(); !shown) return shown;
    findIcons();
    if (icons_.size() < 3 || launcher_.width == 0)
        return failure("found " + std::to_string(icons_.size()) + " icons and " +
                       (launcher_.width ? "the" : "no") + " launcher");
    if (freeArea_.width == 0) return failure("no free area");
    return ::testing::AssertionSuccess();
}

void X11DesktopSession::stopEverything() {
    for (auto program = programs_.rbegin(); program != programs_.rend(); ++program)
        if (program->pid() > 0 && !program->waitForExit(0ms)) {
            kill(program->pid(), SIGTERM);
            if (!program->waitForExit(5s)) program->stop(SIGKILL);
        }
    shell_.reset();
    session_.reset();
    system_.reset();
    // Then whatever carries the session's mark; those that end come back here.
    const std::string mark = std::string(kMark) + "=" + dir_.path().string();
    auto reap = [] {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    };
    const auto began = std::chrono::steady_clock::now();
    waitUntil(
        [&] {
            reap();
            const auto pids = processesWith(mark);
            const bool late = std::chrono::steady_clock::now() - began > 3s;
            for (pid_t pid : pids) kill(pid, late ? SIGKILL : SIGTERM);
            return pids.empty();
        },
        10s);
    reap();
}

::testing::AssertionResult X11DesktopSession::waitForDesktop() {
    Shot last;
    int steady = 0, rounds = 0;
    bool window = false, launcherShown = false;
    // Drawn when the picture, launcher shown, stood still for 0.5 s (1.5 s with a panel).
    const bool drawn = waitUntil(
        [&] {
            ++rounds;
            const Window desktop = desktopWindow(display_).first;
            window = login_.has(Wayland) ||  // where the icons' program is a Wayland client
                     (desktop != 0 && (!login_.has(Panel) || dockShown(display_)));
            if (desktop) menuOwner_ = pidOf(display_, desktop);
            Shot shot = screenshot();
            launcherShown =
                std::count(shot.pixels.begin(), shot.pixels.end(), kLauncherColour) > 400;
            steady = shot.pixels == last.pixels ? steady + 1 : 0;
            last = std::move(shot);
            // Escape leaves it; on Wayland the remote desktop's (Xwayland's miss the shell).
            if (window && !launcherShown && login_.has(OverviewFirst) && rounds % 20 == 0) {
                if (!login_.has(Wayland)) run({"xdotool", "key", "Escape"});
                for (bool pressed : {true, false})
                    if (login_.has(Wayland)) tell("NotifyKeyboardKeysym", 0xff1bu, pressed);
            }
            return window && launcherShown && steady >= (login_.has(Panel) ? 15 : 5);
        },
        60s);
    if (!drawn)
        return failure(std::string("within 60 s: desktop window ") +
                       (window ? "shown" : "missing") + ", launcher " +
                       (launcherShown ? "shown" : "missing"));
    baseline_ = std::move(last);
    return ::testing::AssertionSuccess();
}

template <class... Args>
void X11DesktopSession::tell(const char* method, const Args&... args) const {
    callShell(*shell_, remoteDesktop_, "org.gnome.Mutter.RemoteDesktop.Session", method, args...);
}

::testing::AssertionResult X11DesktopSession::startOnWayland() {
    // Its display is in the shell's log; its authority, set here for XOpenDisplay, in run/.
    const std::regex line("Using public X11 display (:[0-9]+)");
    std::smatch found;
    if (!waitUntil(
            [&] {
                const std::string text = slurp(logs_.back());
                if (displayName_.empty() && std::regex_search(text, found, line))
                    displayName_ = found[1];
                for (const auto& entry : fs::directory_iterator(dir_ / "run"))
                    if (entry.path().filename().string().starts_with(".mutter-Xwaylandauth."))
                        setenv("XAUTHORITY", (xauthority_ = entry.path().string()).c_str(), 1);
                return !displayName_.empty() && !xauthority_.empty() &&
                       (display_ = XOpenDisplay(displayName_.c_str())) != nullptr;
            },
            60s))
        return failure("no Xwayland of the shell within 60 s");
    // Before the baseline: the shell shows that its remote desktop is in use.
    try {
        // The shell takes screenshots for gnome-screenshot's bus name, which this takes.
        shell_ = sdbus::createSessionBusConnectionWithAddress(session_->address());
        shell_->requestName("org.gnome.Screenshot");
        callShell(*shell_, "/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop",
                  "CreateSession") >>
            remoteDesktop_;
        tell("Start");
    } catch (const sdbus::Error& e) {
        return failure(std::string("mutter's remote desktop: ") + e.what());
    }
    return ::testing::AssertionSuccess();
}

Shot X11DesktopSession::shellScreenshot() const {
    const auto file = dir_ / "shot.png";
    bool taken = false;
    try {  // no pointer, no flash
        callShell(*shell_, "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                  "Screenshot", false, false, file.string()) >>
            taken;
    } catch (const sdbus::Error&) {
    }
    Shot shot = taken ? shotFromFile(file) : Shot{};
    return shot.width == kWidth && shot.height == kHeight ? shot : Shot{};
}

void X11DesktopSession::clickAt(int x, int y, int count) const {
    // Relative moves only (absolute ones need a screen cast): to the far corner, then back.
    tell("NotifyPointerMotionRelative", double(5 * kWidth), double(5 * kHeight));
    tell("NotifyPointerMotionRelative", double(x - (kWidth - 1)), double(y - (kHeight - 1)));
    for (int i = 0; i < count; ++i)
        for (bool pressed : {true, false}) tell("NotifyPointerButton", 0x110, pressed);  // left
}

}  // namespace tavel::test
