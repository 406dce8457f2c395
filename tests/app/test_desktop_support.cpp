#include "app/test_desktop_support.h"

#include "support/child_process.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace tavel::test {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string atomName(Display* display, Atom atom) {
    if (atom == None) return {};
    char* name = XGetAtomName(display, atom);
    std::string text = name ? name : "";
    if (name) XFree(name);
    return text;
}

std::vector<Atom> atomList(Display* display, Window window, const char* property) {
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char* data = nullptr;
    std::vector<Atom> atoms;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        auto* values = reinterpret_cast<unsigned long*>(data);
        atoms.assign(values, values + count);
    }
    if (data) XFree(data);
    return atoms;
}

}  // namespace

DesktopSession::DesktopSession(int width, int height, const std::string& settingsJson)
    : xvfb_(width, height) {
    if (!settingsJson.empty()) {
        std::filesystem::create_directories(dir_ / "config" / "io.tavel.Tavel");
        std::ofstream(dir_ / "config" / "io.tavel.Tavel" / "marlowen.settings.v2") << settingsJson;
    }
    display_ = XOpenDisplay(xvfb_.name().c_str());
}

DesktopSession::~DesktopSession() {
    if (pid_ > 0) {
        tavel({"quit"});
        if (waitForExit(std::chrono::seconds(5)) == -1 && pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (display_) XCloseDisplay(display_);
}

std::vector<std::string> DesktopSession::environment(bool withDisplay) const {
    std::vector<std::string> overrides = {
        "DBUS_SESSION_BUS_ADDRESS=" + session_.address(),
        "DBUS_SYSTEM_BUS_ADDRESS=" + system_.address(),
        "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
        "HOME=" + dir_.path().string(),
    };
    if (withDisplay) overrides.push_back("DISPLAY=" + xvfb_.name());
    return environmentWith(overrides, {"DISPLAY"});
}

CommandResult DesktopSession::tavel(const std::vector<std::string>& args) const {
    return run(args, true);
}

CommandResult DesktopSession::tavelWithoutDisplay() const {
    return run({}, false);
}

CommandResult DesktopSession::run(const std::vector<std::string>& args, bool withDisplay) const {
    static int counter = 0;
    std::string base = (dir_ / ("cmd" + std::to_string(++counter))).string();
    std::vector<std::string> command = args;
    command.insert(command.begin(), TAVEL_BINARY);
    CommandResult result;
    result.status = waitProcess(startProcess(command, environment(withDisplay),
                                             (base + ".out").c_str(), (base + ".err").c_str()));
    result.out = slurp(base + ".out");
    result.err = slurp(base + ".err");
    return result;
}

void DesktopSession::start() {
    pid_ = startProcess({TAVEL_BINARY}, environment(), (dir_ / "app.out").c_str(),
                        (dir_ / "app.err").c_str());
}

int DesktopSession::waitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

bool DesktopSession::poll(const std::function<bool()>& check, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (check()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

bool DesktopSession::waitForStatus(const std::function<bool(const std::string&)>& accept,
                                   std::chrono::milliseconds limit, std::string* last) const {
    return poll(
        [&] {
            std::string text = status();
            if (last) *last = text;
            return accept(text);
        },
        limit);
}

long DesktopSession::residentKilobytes() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
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
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, children[i], &attributes)) continue;
        WindowInfo info{children[i],
                        attributes.x,
                        attributes.y,
                        attributes.width,
                        attributes.height,
                        attributes.map_state == IsViewable,
                        attributes.override_redirect == True,
                        {},
                        {}};
        auto type = atomList(display_, children[i], "_NET_WM_WINDOW_TYPE");
        if (!type.empty()) info.type = atomName(display_, type[0]);
        for (Atom a : atomList(display_, children[i], "_NET_WM_STATE"))
            info.states.push_back(atomName(display_, a));
        list.push_back(info);
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

std::string DesktopSession::settingsFile() const {
    return slurp((dir_ / "config" / "io.tavel.Tavel" / "marlowen.settings.v2").string());
}

std::string DesktopSession::logText() const {
    return slurp((dir_ / "app.err").string()) + slurp((dir_ / "app.out").string());
}

long framesOf(const std::string& status, const std::string& key) {
    std::smatch m;
    std::regex line("\\n  " + key + " \"[^\"]*\": [a-z]+, ([0-9]+) frames");
    if (std::regex_search(status, m, line)) return std::stol(m[1]);
    return -1;
}

std::string effectOf(const std::string& status, const std::string& key) {
    std::smatch m;
    std::regex line("\\n  " + key + " \"[^\"]*\": ([a-z]+)");
    if (std::regex_search(status, m, line)) return m[1];
    return {};
}

std::vector<std::string> displayKeys(const std::string& status) {
    std::vector<std::string> keys;
    std::regex line("\\n  ([0-9]+) \"");
    for (auto it = std::sregex_iterator(status.begin(), status.end(), line);
         it != std::sregex_iterator(); ++it)
        keys.push_back((*it)[1]);
    return keys;
}

}  // namespace tavel::test
