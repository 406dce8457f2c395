#include "app/test_desktop_support.h"

#include "platform/x11/x11_loop_fixture.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace tavel::test {

namespace {

// Set in the application's environment: what carries it was started by the application.
constexpr const char* kAppMark = "TAVEL_TEST_APP";

// The names of the atoms in a window's atom-list property.
std::vector<std::string> atomNames(Display* display, Window window, const char* property) {
    std::vector<std::string> names;
    for (Atom atom : itemsOf(display, window, XInternAtom(display, property, False), XA_ATOM))
        if (char* name = XGetAtomName(display, atom)) {
            names.push_back(name);
            XFree(name);
        }
    return names;
}

}  // namespace

DesktopSession::DesktopSession(int width, int height, const std::string& settingsJson,
                               const SwayServer* sway)
    : sway_(sway) {
    xvfb_.emplace(width, height);
    if (!sway || sway->busAddress().empty()) session_.emplace();
    system_.emplace();
    storeSettings(settingsJson);
    display_ = XOpenDisplay(xvfb_->name().c_str());
}

DesktopSession::DesktopSession(const X11DesktopSession& desktop, const std::string& settingsJson)
    : desktop_(&desktop) {
    storeSettings(settingsJson);
    display_ = desktop.openDisplay();
}

void DesktopSession::storeSettings(const std::string& settingsJson) {
    if (settingsJson.empty()) return;
    std::filesystem::create_directories(settingsPath().parent_path());
    std::ofstream(settingsPath()) << settingsJson;
}

DesktopSession::DesktopSession(int width, int height, const std::string& settingsJson,
                               const PlasmaSession& plasma)
    : DesktopSession(width, height, settingsJson) {
    plasma_ = &plasma;
}

DesktopSession::~DesktopSession() {
    if (app_.pid() > 0) {
        tavel({"quit"});
        if (!app_.waitForExit(std::chrono::seconds(5))) app_.stop(SIGKILL);
    }
    if (display_) XCloseDisplay(display_);
}

std::vector<std::string> DesktopSession::environment(bool withDisplay) const {
    if (desktop_)
        return desktop_->environment(
            {"XDG_CONFIG_HOME=" + (dir_ / "config").string(),
             "XDG_DATA_HOME=" + (dir_ / "data").string()},
            withDisplay ? std::vector<std::string>{} : std::vector<std::string>{"DISPLAY"});
    std::vector<std::string> overrides = {"DBUS_SYSTEM_BUS_ADDRESS=" + system_->address(),
                                          "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                                          "HOME=" + dir_.path().string()};
    if (plasma_) {
        // Its session bus too: plasmashell is there.
        for (const std::string& variable : plasma_->environment())
            if (withDisplay ||
                (variable.rfind("DISPLAY=", 0) != 0 && variable.rfind("WAYLAND_DISPLAY=", 0) != 0))
                overrides.push_back(variable);
        return environmentWith(overrides,
                               {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_DATA_HOME"});
    }
    if (session_) overrides.push_back("DBUS_SESSION_BUS_ADDRESS=" + session_->address());
    if (sway_) {
        for (const std::string& variable : sway_->environment())
            if (withDisplay || variable.rfind("XDG_RUNTIME_DIR=", 0) == 0)
                overrides.push_back(variable);
    } else if (withDisplay) {
        overrides.push_back("DISPLAY=" + xvfb_->name());
    }
    return environmentWith(overrides, {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK"});
}

void DesktopSession::start(const std::vector<std::string>& args) {
    std::vector<std::string> command = args;
    command.insert(command.begin(), TAVEL_BINARY);
    // Its mark, which the processes it starts inherit.
    std::vector<std::string> env = environment();
    env.push_back(std::string(kAppMark) + "=" + dir_.path().string());
    app_.start(command, env, (dir_ / "app.err").c_str());
}

std::vector<std::string> DesktopSession::processesStarted() const {
    const std::string mark = std::string(kAppMark) + "=" + dir_.path().string();
    std::map<pid_t, std::pair<pid_t, std::string>> processes;  // pid: parent, name
    std::vector<pid_t> marked;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // "PID (NAME) STATE PARENT ...", where NAME may hold spaces and parentheses.
        const std::string stat = slurp(entry.path() / "stat");
        const auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const pid_t pid = pid_t(std::stol(name));
        processes[pid] = {pid_t(std::atol(stat.c_str() + close + 4)),
                          stat.substr(open + 1, close - open - 1)};
        // Entries end with a NUL; one before the first stands for the start.
        if (pid != app_.pid() &&
            ('\0' + slurp(entry.path() / "environ")).find('\0' + mark + '\0') != std::string::npos)
            marked.push_back(pid);
    }
    auto below = [&](pid_t pid) {
        for (int depth = 0; depth < 64 && pid > 1; ++depth) {
            pid = processes.count(pid) ? processes[pid].first : 0;
            if (pid == app_.pid()) return true;
        }
        return false;
    };
    std::vector<std::string> found;
    for (const auto& [pid, process] : processes)
        if ((app_.pid() > 0 && below(pid)) ||
            std::find(marked.begin(), marked.end(), pid) != marked.end())
            found.push_back(std::to_string(pid) + " " + process.second);
    return found;
}

CommandResult DesktopSession::tavel(const std::vector<std::string>& args, bool withDisplay) const {
    static int counter = 0;
    std::string base = (dir_ / ("cmd" + std::to_string(++counter))).string();
    std::vector<std::string> command = args;
    command.insert(command.begin(), TAVEL_BINARY);
    int status = waitProcess(startProcess(command, environment(withDisplay),
                                          (base + ".out").c_str(), (base + ".err").c_str()));
    return {status, slurp(base + ".out"), slurp(base + ".err")};
}

bool DesktopSession::poll(const std::function<bool()>& check, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (check()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

::testing::AssertionResult DesktopSession::waitForStatus(
    const std::function<bool(const std::string&)>& accept, std::chrono::milliseconds limit,
    std::string* last) const {
    std::string text;
    bool accepted = poll(
        [&] {
            text = status();
            return accept(text);
        },
        limit);
    if (last) *last = text;
    if (accepted) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status:\n" << text << "log:\n" << logText();
}

long DesktopSession::residentKilobytes() const {
    std::ifstream in("/proc/" + std::to_string(app_.pid()) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::vector<WindowInfo> DesktopSession::windows() const {
    std::vector<WindowInfo> list;
    Window root = DefaultRootWindow(display_), parent, *children = nullptr;
    unsigned count = 0;
    XSync(display_, False);
    if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return list;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, children[i], &a) || a.map_state != IsViewable) continue;
        auto type = atomNames(display_, children[i], "_NET_WM_WINDOW_TYPE");
        list.push_back({a.x, a.y, a.width, a.height, a.override_redirect == True,
                        type.empty() ? "" : type[0],
                        atomNames(display_, children[i], "_NET_WM_STATE")});
    }
    if (children) XFree(children);
    return list;
}

double DesktopSession::brightness(int x, int y, int width, int height) const {
    XImage* image =
        XGetImage(display_, DefaultRootWindow(display_), x, y, width, height, AllPlanes, ZPixmap);
    if (!image) return -1;
    double sum = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            unsigned long p = XGetPixel(image, i, j);
            sum += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
        }
    XDestroyImage(image);
    return sum / (3.0 * width * height);
}

std::filesystem::path DesktopSession::settingsPath() const {
    return dir_ / "config" / "io.tavel.Tavel" / "marlowen.settings.v2";
}

std::string DesktopSession::settingsFile() const {
    return slurp(settingsPath());
}

std::string DesktopSession::logText() const {
    return slurp(dir_ / "app.err");
}

std::map<std::string, DisplayStatus> displaysOf(const std::string& status) {
    // "  KEY "NAME": EFFECT", then ", N frames, ..." when the display has a window.
    static const std::regex line(R"(\n  ([0-9]+) "[^"]*": ([a-z]+)(, ([0-9]+) frames)?)");
    std::map<std::string, DisplayStatus> displays;
    for (auto it = std::sregex_iterator(status.begin(), status.end(), line);
         it != std::sregex_iterator(); ++it)
        displays[(*it)[1]] = {(*it)[2], (*it)[4].matched ? std::stol((*it)[4]) : -1};
    return displays;
}

}  // namespace tavel::test
