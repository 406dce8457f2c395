#include "app/test_desktop_support.h"

#include <X11/Xlib.h>

#include <signal.h>

#include <cstdio>
#include <regex>

namespace tavel::test {

// Set in the application's environment: what carries it was started by the application.
constexpr const char* kAppMark = "TAVEL_TEST_APP";

DesktopSession::DesktopSession(int width, int height, const std::string& settingsJson,
                               const SwayServer* sway, const PlasmaSession* plasma)
    : sway_(sway), plasma_(plasma) {
    xvfb_.emplace(width, height);
    if (!plasma && !sway) session_.emplace();
    system_.emplace();
    storeSettings(settingsJson);
    display_ = XOpenDisplay(xvfb_->name().c_str());
}

DesktopSession::DesktopSession(const X11DesktopSession& desktop, const std::string& settingsJson)
    : desktop_(&desktop) {
    storeSettings(settingsJson);
    display_ = XOpenDisplay(desktop.displayName().c_str());
}

void DesktopSession::storeSettings(const std::string& settingsJson) {
    std::filesystem::create_directories(settingsPath().parent_path());
    std::ofstream(settingsPath()) << settingsJson;
}

DesktopSession::~DesktopSession() {
    if (app_.pid() > 0) {
        tavel({"quit"});
        if (!app_.waitForExit(std::chrono::seconds(5))) app_.stop(SIGKILL);
    }
    if (display_) XCloseDisplay(display_);
}

std::vector<std::string> DesktopSession::environment() const {
    const std::string config = "XDG_CONFIG_HOME=" + (dir_ / "config").string();
    if (desktop_)
        return desktop_->environment({config, "XDG_DATA_HOME=" + (dir_ / ".local/share").string()});
    std::vector<std::string> env = {"DBUS_SYSTEM_BUS_ADDRESS=" + system_->address(), config,
                                    "HOME=" + dir_.path().string()};
    if (session_) env.push_back("DBUS_SESSION_BUS_ADDRESS=" + session_->address());
    // The compositor's displays (and Plasma's session bus, where plasmashell is), else Xvfb.
    const auto host = sway_     ? sway_->environment()
                      : plasma_ ? plasma_->environment()
                                : std::vector<std::string>{};
    env.insert(env.end(), host.begin(), host.end());
    if (!sway_ && !plasma_) env.push_back("DISPLAY=" + xvfb_->name());
    return environmentWith(env, {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_DATA_HOME"});
}

void DesktopSession::start() {
    std::vector<std::string> env = environment();
    env.push_back(std::string(kAppMark) + "=" + dir_.path().string());  // its children inherit it
    app_.start({TAVEL_BINARY, "--background"}, env, (dir_ / "app.err").c_str());
}

std::vector<std::string> DesktopSession::processesStarted() const {
    std::vector<std::string> found;
    for (pid_t pid : processesWith(std::string(kAppMark) + "=" + dir_.path().string()))
        if (pid != app_.pid())
            found.push_back(std::to_string(pid) + " " +
                            slurp("/proc/" + std::to_string(pid) + "/comm"));
    return found;
}

CommandResult DesktopSession::tavel(const std::vector<std::string>& args) const {
    static int counter = 0;
    const std::string base = (dir_ / ("cmd" + std::to_string(++counter))).string();
    std::vector<std::string> command = args;
    command.insert(command.begin(), TAVEL_BINARY);
    const int status =
        waitProcess(startProcess(command, environment(), (base + ".out").c_str(), "/dev/null"));
    return {status, slurp(base + ".out")};
}

::testing::AssertionResult DesktopSession::waitForStatus(
    const std::function<bool(const std::string&)>& accept, std::chrono::milliseconds limit,
    std::string* last) const {
    std::string text;
    const bool accepted = waitUntil([&] { return accept(text = status()); }, limit);
    if (last) *last = text;
    if (accepted) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status:\n" << text << "log:\n" << logText();
}

long DesktopSession::residentKilobytes() const {
    std::ifstream in("/proc/" + std::to_string(app_.pid()) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
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

long framesOfOnly(const std::string& status) {
    const auto displays = displaysOf(status);
    return displays.size() == 1 ? displays.begin()->second.frames : -1;
}

long galleryFrames(const std::string& status) {
    long frames = -1;
    if (auto at = status.find("gallery: shown, "); at != std::string::npos)
        std::sscanf(status.c_str() + at, "gallery: shown, %ld", &frames);
    return frames;
}

std::function<bool(const std::string&)> has(std::string part) {
    return [part = std::move(part)](const std::string& status) {
        return status.find(part) != std::string::npos;
    };
}

}  // namespace tavel::test
