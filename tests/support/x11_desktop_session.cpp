#include "support/x11_desktop_session.h"

#include "effects/offscreen/png_decode.h"

// Before Xlib, whose macros (Status, None...) break it.
#include <sdbus-c++/sdbus-c++.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <thread>

namespace tavel::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1280, kHeight = 720;
// Every process of one session carries this variable, set to the session's folder: how
// the end finds what the bus and the desktop's programs started behind our back.
constexpr const char* kMark = "TAVEL_TEST_LOGIN";
// The person's background: a plain colour, so that icons stand out from it.
constexpr const char* kBackdrop = "#3a6ea5";
// The socket GNOME Shell opens in the session's runtime folder, as at a login.
constexpr const char* kWaylandSocket = "wayland-0";
// The launcher's own icon, a square of this colour: how its place is found.
constexpr std::uint32_t kLauncherColour = 0xff00ff;

// What the login of each desktop does.
struct Login {
    X11Desktop desktop;
    const char* name;     // its XDG_CURRENT_DESKTOP
    const char* session;  // its DESKTOP_SESSION and XDG_SESSION_DESKTOP
    // The person's settings, stored before the login.
    std::vector<std::vector<std::string>> settings{};
    std::vector<std::string> windowManager;
    bool composites = false;
    // Started once the window manager runs: the panel, the program that draws the icons.
    std::vector<std::vector<std::string>> programs{};
    bool icons = false;
    bool panel = false;          // its panel (a dock window) shows before the baseline
    bool overviewFirst = false;  // opens on an overview, which the person leaves with Escape
    // The window manager is a Wayland compositor whose Xwayland the clients get, and whose
    // desktop program is a Wayland client.
    bool wayland = false;
    const char* label = nullptr;  // for test names, where the session's name is not enough
};

// GNOME's person: the desktop-icons extension on, a plain backdrop, and Do Not Disturb:
// GNOME greets a session run as root (the tests' user here), or one without its display
// manager, with banners over the desktop.
const std::vector<std::vector<std::string>> kGnomeSettings = {
    {"gsettings", "set", "org.gnome.shell", "enabled-extensions", "['ding@rastersoft.com']"},
    {"gsettings", "set", "org.gnome.shell", "disable-user-extensions", "false"},
    {"gsettings", "set", "org.gnome.desktop.background", "picture-options", "none"},
    {"gsettings", "set", "org.gnome.desktop.background", "color-shading-type", "solid"},
    {"gsettings", "set", "org.gnome.desktop.background", "primary-color", kBackdrop},
    {"gsettings", "set", "org.gnome.desktop.notifications", "show-banners", "false"}};

const Login& loginOf(X11Desktop desktop) {
    static const std::vector<Login> logins = {
        // XFCE's settings are files (written in start()); the panel's are its defaults.
        {.desktop = X11Desktop::Xfce,
         .name = "XFCE",
         .session = "xfce",
         .windowManager = {"xfwm4", "--compositor=on"},
         .composites = true,
         .programs = {{"xfce4-panel"}, {"xfdesktop"}},
         .icons = true,
         .panel = true},
        {.desktop = X11Desktop::Gnome,
         .name = "GNOME",
         .session = "gnome",
         .settings = kGnomeSettings,
         .windowManager = {"gnome-shell", "--x11"},
         .composites = true,
         .icons = true,
         .overviewFirst = true},
        // GNOME's Wayland session: the shell headless on a virtual monitor, with Xwayland
        // (on unless --no-x11) for the X11 clients.
        {.desktop = X11Desktop::GnomeWayland,
         .name = "GNOME",
         .session = "gnome",
         .settings = kGnomeSettings,
         .windowManager = {"gnome-shell", "--headless", "--wayland", "--virtual-monitor",
                           "1280x720", "--wayland-display", kWaylandSocket},
         .composites = true,
         .icons = true,
         .overviewFirst = true,
         .wayland = true,
         .label = "gnome_wayland"},
        // As root (the tests' user here) caja leaves the desktop alone unless forced; a
        // person's session runs it as that person.
        {.desktop = X11Desktop::Mate,
         .name = "MATE",
         .session = "mate",
         .settings = {{"gsettings", "set", "org.mate.background", "picture-filename", ""},
                      {"gsettings", "set", "org.mate.background", "color-shading-type", "solid"},
                      {"gsettings", "set", "org.mate.background", "primary-color", kBackdrop}},
         .windowManager = {"marco"},
         .composites = true,
         .programs = {{"caja", "-n", "--force-desktop"}},
         .icons = true},
        // A plain window manager: no desktop program, no icons; the root's background.
        {.desktop = X11Desktop::Openbox,
         .name = "openbox",
         .session = "openbox",
         .settings = {{"xsetroot", "-solid", kBackdrop}},
         .windowManager = {"openbox"}},
    };
    return *std::find_if(logins.begin(), logins.end(),
                         [&](const Login& login) { return login.desktop == desktop; });
}

// XFCE keeps its settings in xfconf's files: the background of each of xfwm4's four
// workspaces (xfdesktop may draw another one's first), and the panel as its first start
// sets it up when asked for the default layout.
std::string xfceDesktopSettings() {
    std::string workspaces;
    for (int i = 0; i < 4; ++i)
        workspaces += "<property name=\"workspace" + std::to_string(i) + R"(" type="empty">
          <property name="color-style" type="int" value="0"/>
          <property name="image-style" type="int" value="0"/>
          <property name="rgba1" type="array">
            <value type="double" value="0.227451"/>
            <value type="double" value="0.431373"/>
            <value type="double" value="0.647059"/>
            <value type="double" value="1"/>
          </property>
        </property>)";
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="backdrop" type="empty">
    <property name="screen0" type="empty">
      <property name="monitorscreen" type="empty">)" +
           workspaces + R"(</property>
    </property>
  </property>
</channel>
)";
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

bool poll(const std::function<bool()>& check, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (check()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(100ms);
    }
}

// evdev's left button, as mutter's remote desktop takes it.
constexpr int kLeftButton = 0x110;

// Calls a method of mutter's remote desktop session `session` and waits for its answer.
template <class... Args>
void tellRemoteDesktop(sdbus::IConnection& bus, const std::string& session, const char* method,
                       const Args&... args) {
    auto proxy = sdbus::createProxy(bus, "org.gnome.Mutter.RemoteDesktop", session);
    proxy->callMethod(method)
        .onInterface("org.gnome.Mutter.RemoteDesktop.Session")
        .withArguments(args...)
        .storeResultsTo();
}

// Windows come and go while we look at them: a request about one that is gone fails
// quietly (its reply says so) instead of ending the test program.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

std::vector<unsigned long> longsOf(Display* display, Window window, const char* property,
                                   Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False,
                           type, &actual, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        auto* begin = reinterpret_cast<unsigned long*>(data);
        items.assign(begin, begin + count);
    }
    if (data) XFree(data);
    return items;
}

bool hasType(Display* display, Window window, const char* type) {
    auto types = longsOf(display, window, "_NET_WM_WINDOW_TYPE", XA_ATOM);
    return std::find(types.begin(), types.end(), XInternAtom(display, type, False)) != types.end();
}

// The process of the X client that made `window` (X-Resource extension); -1 if unknown.
long pidOf(Display* display, Window window) {
    XResClientIdSpec client{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0, pid = -1;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(display, 1, &client, &count, &values) != Success) return -1;
    for (long i = 0; i < count; ++i)
        if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID)
            pid = XResGetClientPid(&values[i]);
    XResClientIdsDestroy(count, values);
    return pid;
}

// For failures: the top-level window under the pointer (or the frame around it).
std::string windowUnderPointer(Display* display) {
    Window root = None, child = None;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y,
                  &mask);
    if (child == None) return "the root window";
    std::string text = "window " + std::to_string(child);
    if (long pid = pidOf(display, child); pid > 0) text += " of process " + std::to_string(pid);
    return text + "";
}

struct TopLevel {
    Window window;
    Rect rect;
    bool overrideRedirect;
};

// The viewable windows that can show something, children of the root, bottom first.
std::vector<TopLevel> topLevels(Display* display) {
    std::vector<TopLevel> list;
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    XSync(display, False);
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return list;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
            a.c_class == InputOutput)
            list.push_back(
                {children[i], {a.x, a.y, a.width, a.height}, a.override_redirect == True});
    }
    if (children) XFree(children);
    return list;
}

// The desktop program's window (of the desktop type, viewable), at the top level or in a
// window manager's frame, and that top-level window; {0, 0} when there is none.
std::pair<Window, Window> desktopWindow(Display* display) {
    for (const TopLevel& top : topLevels(display)) {
        if (hasType(display, top.window, "_NET_WM_WINDOW_TYPE_DESKTOP"))
            return {top.window, top.window};
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, top.window, &root, &parent, &children, &count)) continue;
        Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
                hasType(display, children[i], "_NET_WM_WINDOW_TYPE_DESKTOP"))
                found = children[i];
        }
        if (children) XFree(children);
        if (found) return {found, top.window};
    }
    return {0, 0};
}

bool viewable(Display* display, Window window) {
    XWindowAttributes a;
    return XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable;
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int most = 0;
    for (int shift : {0, 8, 16})
        most = std::max(most, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return most;
}

// Pixels this far from the backdrop belong to something drawn on it; icons are compared
// on those further still, which a different backdrop behind a label's soft edge cannot
// reach.
constexpr int kInk = 40, kOwnPixel = 128, kSameColour = 64;

std::string slurpTail(const std::filesystem::path& path, std::size_t most) {
    std::string text = slurp(path);
    return text.size() > most ? "..." + text.substr(text.size() - most) : text;
}

std::string describe(const Rect& r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) +
           "+" + std::to_string(r.y);
}

}  // namespace

std::string nameOf(X11Desktop desktop) {
    const Login& login = loginOf(desktop);
    return login.label ? login.label : login.session;
}

double changedShare(const Picture& a, const Picture& b, const Rect& area) {
    if (a.width != b.width || a.height != b.height || area.width <= 0 || area.height <= 0) return 1;
    long changed = 0;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x) changed += a.at(x, y) != b.at(x, y);
    return double(changed) / (double(area.width) * area.height);
}

X11DesktopSession::X11DesktopSession(X11Desktop desktop) : desktop_(desktop) {
    // Services the bus starts, and what they start, come back to this process when their
    // parent ends, so that the end can wait for them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    XSetErrorHandler(ignoreXErrors);
    if (loginOf(desktop).wayland) {  // its Xwayland comes with the compositor
        ready_ = start();
        return;
    }
    xvfb_.emplace(kWidth, kHeight);
    displayName_ = xvfb_->name();
    display_ = openDisplay();
    ready_ = display_ ? start() : ::testing::AssertionFailure() << "cannot open " << displayName_;
}

Display* X11DesktopSession::openDisplay() const {
    if (xauthority_.empty()) return XOpenDisplay(displayName_.c_str());
    // Xlib reads the authority from the environment as it connects.
    const char* before = std::getenv("XAUTHORITY");
    const std::string saved = before ? before : "";
    setenv("XAUTHORITY", xauthority_.c_str(), 1);
    Display* display = XOpenDisplay(displayName_.c_str());
    if (before)
        setenv("XAUTHORITY", saved.c_str(), 1);
    else
        unsetenv("XAUTHORITY");
    return display;
}

bool X11DesktopSession::seesMenus() const {
    return !loginOf(desktop_).wayland;
}

X11DesktopSession::~X11DesktopSession() {
    // Before the programs: Xwayland ends with its compositor.
    if (display_) XCloseDisplay(display_);
    stopEverything();
}

std::vector<std::string> X11DesktopSession::environment(
    const std::vector<std::string>& overrides, const std::vector<std::string>& remove) const {
    const Login& login = loginOf(desktop_);
    std::vector<std::string> login_ = {
        "HOME=" + (dir_ / "home").string(),
        "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
        std::string("XDG_CURRENT_DESKTOP=") + login.name,
        std::string("XDG_SESSION_DESKTOP=") + login.session,
        std::string("DESKTOP_SESSION=") + login.session,
        std::string("XDG_SESSION_TYPE=") + (login.wayland ? "wayland" : "x11"),
        std::string(kMark) + "=" + dir_.path().string()};
    if (login.wayland) login_.push_back(std::string("WAYLAND_DISPLAY=") + kWaylandSocket);
    if (!displayName_.empty()) login_.push_back("DISPLAY=" + displayName_);
    if (!xauthority_.empty()) login_.push_back("XAUTHORITY=" + xauthority_);
    if (system_) login_.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + system_->address());
    if (session_) login_.push_back("DBUS_SESSION_BUS_ADDRESS=" + session_->address());
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> merged = overrides;
    for (const std::string& entry : login_)
        if (std::none_of(overrides.begin(), overrides.end(),
                         [&](const std::string& o) { return nameOf(o) == nameOf(entry); }))
            merged.push_back(entry);
    // Folders follow $HOME, as at a login; nothing of the test's own session leaks in.
    std::vector<std::string> gone = {"XDG_CONFIG_HOME",          "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                     "XDG_STATE_HOME",           "SWAYSOCK",      "SESSION_MANAGER",
                                     "DBUS_SESSION_BUS_ADDRESS", "DISPLAY",       "XAUTHORITY",
                                     "WAYLAND_DISPLAY"};
    gone.insert(gone.end(), remove.begin(), remove.end());
    return environmentWith(merged, gone);
}

int X11DesktopSession::run(const std::vector<std::string>& command) const {
    return waitProcess(startProcess(command, environment(), "/dev/null", "/dev/null"));
}

void X11DesktopSession::startProgram(const std::vector<std::string>& command) {
    logs_.push_back(dir_ / ("log" + std::to_string(logs_.size() + 1) + "-" + command[0]));
    programs_.emplace_back().start(command, environment(), logs_.back().c_str());
}

std::string X11DesktopSession::log() const {
    std::string text;
    for (const auto& file : logs_)
        text += "== " + file.filename().string() + "\n" + slurpTail(file, 3000) + "\n";
    return text;
}

::testing::AssertionResult X11DesktopSession::start() {
    const Login& login = loginOf(desktop_);
    const auto home = dir_ / "home";
    // The person's desktop: a folder, a text file and a launcher whose command leaves a
    // file behind, with an icon of its own.
    std::filesystem::create_directories(home / "Desktop" / "Projects");
    writeFile(home / "Desktop" / "notes.txt", "Things to do\n");
    writeFile(dir_ / "launcher.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">"
              "<rect width=\"64\" height=\"64\" fill=\"#ff00ff\"/></svg>\n");
    const auto launcher = home / "Desktop" / "mark.desktop";
    writeFile(launcher, "[Desktop Entry]\nType=Application\nName=Mark\nExec=touch " +
                            (dir_ / "launched").string() +
                            "\nIcon=" + (dir_ / "launcher.svg").string() + "\n");
    std::filesystem::permissions(launcher,
                                 std::filesystem::perms::owner_exec |
                                     std::filesystem::perms::group_exec |
                                     std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    std::filesystem::create_directories(dir_ / "run");
    std::filesystem::permissions(dir_ / "run", std::filesystem::perms::owner_all);
    if (desktop_ == X11Desktop::Xfce) {
        const auto xfconf = home / ".config" / "xfce4" / "xfconf" / "xfce-perchannel-xml";
        writeFile(xfconf / "xfce4-desktop.xml", xfceDesktopSettings());
        writeFile(xfconf / "xfce4-panel.xml", slurp("/etc/xdg/xfce4/panel/default.xml"));
    }

    system_.emplace();
    session_.emplace(environment());
    if (login.wayland) {
        // GNOME Shell takes screenshots for the callers it trusts, gnome-screenshot among
        // them: this connection takes that tool's bus name.
        shell_ = sdbus::createSessionBusConnectionWithAddress(session_->address());
        shell_->requestName("org.gnome.Screenshot");
    }
    for (const auto& command : login.settings)
        if (run(command) != 0) return ::testing::AssertionFailure() << "failed: " << command[0];
    // Trusted as the person trusts a launcher: executable, and allowed to launch where the
    // desktop asks for more (GNOME's flag, XFCE's checksum of the file).
    const auto sumFile = dir_ / "launcher.sha256";
    waitProcess(startProcess({"sha256sum", launcher.string()}, environment(), sumFile.c_str(),
                             "/dev/null"));
    if (run({"gio", "set", launcher.string(), "metadata::trusted", "true"}) != 0 ||
        run({"gio", "set", launcher.string(), "metadata::xfce-exe-checksum",
             slurp(sumFile).substr(0, 64)}) != 0)
        return ::testing::AssertionFailure() << "cannot mark the launcher trusted";

    const auto began = Clock::now();
    startProgram(login.windowManager);
    if (login.wayland) {
        if (auto found = findXwayland(); !found) return found;
        // Its pointer, before the baseline: the shell shows that it is in use.
        if (auto started = startRemoteDesktop(); !started) return started;
        // As gnome-session passes them on: the services the bus starts (the file manager
        // that the icons' program asks for) find the displays.
        if (run({"dbus-update-activation-environment", "DISPLAY", "XAUTHORITY",
                 "WAYLAND_DISPLAY"}) != 0)
            return ::testing::AssertionFailure() << "dbus-update-activation-environment failed";
    }
    const Window root = DefaultRootWindow(display_);
    const Atom cm = XInternAtom(display_, "_NET_WM_CM_S0", False);
    bool managed = poll(
        [&] {
            auto check = longsOf(display_, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
            return !check.empty() && pidOf(display_, check[0]) > 0 &&
                   (!login.composites || XGetSelectionOwner(display_, cm) != None);
        },
        60s);
    if (!managed)
        return ::testing::AssertionFailure()
               << login.windowManager[0] << " did not take the screen"
               << (login.composites ? " and compositing" : "") << " within 60 s\n"
               << log();
    for (const auto& command : login.programs) startProgram(command);

    ::testing::AssertionResult shown = waitForDesktop();
    if (!shown) return shown;
    startupTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began);
    findIcons();
    if (login.icons && (icons_.size() < 3 || launcher_.width == 0))
        return ::testing::AssertionFailure() << "found " << icons_.size() << " icons and "
                                             << (launcher_.width ? "the" : "no") << " launcher\n"
                                             << log();
    if (freeArea_.width == 0) return ::testing::AssertionFailure() << "no free area\n" << log();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult X11DesktopSession::findXwayland() {
    // The shell names the display it gives its X11 clients in its log, and keeps the
    // authority they need in the runtime folder.
    const std::regex line("Using public X11 display (:[0-9]+)");
    std::smatch found;
    bool started = poll(
        [&] {
            const std::string text = slurp(logs_.back());
            if (displayName_.empty() && std::regex_search(text, found, line))
                displayName_ = found[1];
            for (const auto& entry : std::filesystem::directory_iterator(dir_ / "run"))
                if (entry.path().filename().string().rfind(".mutter-Xwaylandauth.", 0) == 0)
                    xauthority_ = entry.path().string();
            return !displayName_.empty() && !xauthority_.empty() &&
                   std::filesystem::exists(dir_ / "run" / kWaylandSocket) &&
                   (display_ = openDisplay()) != nullptr;
        },
        60s);
    if (started) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "no Xwayland of the shell within 60 s (display \"" << displayName_
           << "\", authority \"" << xauthority_ << "\")\n"
           << log();
}

::testing::AssertionResult X11DesktopSession::startRemoteDesktop() {
    try {
        sdbus::ObjectPath session;
        sdbus::createProxy(*shell_, "org.gnome.Mutter.RemoteDesktop",
                           "/org/gnome/Mutter/RemoteDesktop")
            ->callMethod("CreateSession")
            .onInterface("org.gnome.Mutter.RemoteDesktop")
            .storeResultsTo(session);
        remoteDesktop_ = session;
        tellRemoteDesktop(*shell_, remoteDesktop_, "Start");
    } catch (const sdbus::Error& e) {
        return ::testing::AssertionFailure() << "mutter's remote desktop: " << e.what();
    }
    return ::testing::AssertionSuccess();
}

void X11DesktopSession::leaveOverview() const {
    if (!loginOf(desktop_).wayland) {
        run({"xdotool", "key", "Escape"});
        return;
    }
    // Xwayland's keys do not reach the shell: its own property instead.
    run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
         "/org/gnome/Shell", "--method", "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell",
         "OverviewActive", "<false>"});
}

// A panel shows: a mapped client of the dock type.
bool dockShown(Display* display) {
    const Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    for (long client :
         longsOf(display, DefaultRootWindow(display), "_NET_CLIENT_LIST", XA_WINDOW)) {
        auto types = longsOf(display, Window(client), "_NET_WM_WINDOW_TYPE", XA_ATOM);
        XWindowAttributes a{};
        if (std::count(types.begin(), types.end(), long(dock)) &&
            XGetWindowAttributes(display, Window(client), &a) && a.map_state == IsViewable)
            return true;
    }
    return false;
}

::testing::AssertionResult X11DesktopSession::waitForDesktop() {
    const Login& login = loginOf(desktop_);
    const Window root = DefaultRootWindow(display_);
    Picture last;
    int steady = 0, rounds = 0;
    bool window = false, launcherShown = false;
    // Drawn when the picture has stood still for half a second (a second and a half where
    // a panel loads its plugins one by one), with the launcher on it.
    bool drawn = poll(
        [&] {
            ++rounds;
            if (login.wayland) {
                window = true;  // the icons' program is a Wayland client: its picture shows
            } else if (login.icons) {
                Window desktop = desktopWindow(display_).first;
                window = desktop != 0;
                if (window) menuOwner_ = pidOf(display_, desktop);
            } else {
                auto check = longsOf(display_, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
                window = !check.empty();
                if (window) menuOwner_ = pidOf(display_, check[0]);
            }
            if (login.panel && !dockShown(display_)) window = false;
            Picture shot = screenshot();
            launcherShown = !login.icons || std::count(shot.pixels.begin(), shot.pixels.end(),
                                                       kLauncherColour) > 400;
            steady = shot.pixels == last.pixels ? steady + 1 : 0;
            last = std::move(shot);
            if (window && !launcherShown && login.overviewFirst && rounds % 20 == 0)
                leaveOverview();
            return window && launcherShown && steady >= (login.panel ? 15 : 5);
        },
        60s);
    if (!drawn)
        return ::testing::AssertionFailure()
               << "within 60 s: desktop window " << (window ? "shown" : "missing") << ", launcher "
               << (launcherShown ? "shown" : "missing") << ", picture "
               << (steady ? "still" : "changing") << "\n"
               << log();
    baseline_ = std::move(last);
    return ::testing::AssertionSuccess();
}

Picture X11DesktopSession::shellScreenshot() const {
    Picture picture{kWidth, kHeight, {}};
    const auto file = dir_ / "shot.png";
    try {
        auto shell = sdbus::createProxy(*shell_, "org.gnome.Shell.Screenshot",
                                        "/org/gnome/Shell/Screenshot");
        bool taken = false;
        std::string written;
        shell->callMethod("Screenshot")
            .onInterface("org.gnome.Shell.Screenshot")
            .withTimeout(20s)
            .withArguments(false, false, file.string())  // no pointer, no flash
            .storeResultsTo(taken, written);
        if (!taken) return picture;
    } catch (const sdbus::Error&) {
        return picture;
    }
    std::string error;
    const auto image = decodePngFile(file, error);
    if (!image || image->width != kWidth || image->height != kHeight) return picture;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto* p = image->pixel(x, y);  // BGRA
            picture.pixels.push_back(std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
        }
    return picture;
}

void X11DesktopSession::pointerTo(int x, int y) const {
    // Relative moves only (an absolute one needs a screen cast): into the bottom right
    // corner, where the pointer stops (the top left one opens the overview), then on.
    tellRemoteDesktop(*shell_, remoteDesktop_, "NotifyPointerMotionRelative", double(5 * kWidth),
                      double(5 * kHeight));
    tellRemoteDesktop(*shell_, remoteDesktop_, "NotifyPointerMotionRelative",
                      double(x - (kWidth - 1)), double(y - (kHeight - 1)));
}

void X11DesktopSession::clickAt(int x, int y, int button, int count) const {
    pointerTo(x, y);
    for (int i = 0; i < count; ++i)
        for (bool pressed : {true, false})
            tellRemoteDesktop(*shell_, remoteDesktop_, "NotifyPointerButton", button, pressed);
}

Picture X11DesktopSession::screenshot() const {
    if (loginOf(desktop_).wayland) return shellScreenshot();
    Picture picture{kWidth, kHeight, {}};
    XImage* image =
        XGetImage(display_, DefaultRootWindow(display_), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return picture;
    picture.pixels.resize(std::size_t(kWidth) * kHeight);
    // Xvfb's 24-bit screens hold a pixel in 32 bits: read those rows directly (polled,
    // so it should be quick); anything else through Xlib.
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
        std::endian::native == std::endian::little) {
        for (int y = 0; y < kHeight; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                image->data + std::size_t(y) * image->bytes_per_line);
            for (int x = 0; x < kWidth; ++x)
                picture.pixels[std::size_t(y) * kWidth + x] = row[x] & 0xffffff;
        }
        XDestroyImage(image);
        return picture;
    }
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.pixels[std::size_t(y) * kWidth + x] = XGetPixel(image, x, y) & 0xffffff;
    XDestroyImage(image);
    return picture;
}

void X11DesktopSession::findIcons() {
    const Picture& shot = baseline_;
    auto area = longsOf(display_, DefaultRootWindow(display_), "_NET_WORKAREA", XA_CARDINAL);
    workArea_ = area.size() >= 4 ? Rect{int(area[0]), int(area[1]), int(area[2]), int(area[3])}
                                 : Rect{0, 0, kWidth, kHeight};
    // Panels and whatever else stands above the desktop program's window.
    covered_.clear();
    const Window top = desktopWindow(display_).second;
    bool above = false;
    for (const TopLevel& window : topLevels(display_)) {
        if (above && window.rect.intersects({0, 0, kWidth, kHeight}))
            covered_.push_back(window.rect);
        above |= window.window == top;
    }

    // The backdrop is the work area's most common colour.
    std::map<std::uint32_t, long> counts;
    for (int y = workArea_.y; y < workArea_.y + workArea_.height; y += 4)
        for (int x = workArea_.x; x < workArea_.x + workArea_.width; x += 4)
            ++counts[shot.at(x, y)];
    backdrop_ = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                    return a.second < b.second;
                })->first;

    // Icons: groups of 4x4 cells holding pixels off the backdrop, at most two cells apart
    // (an icon and its label are one group).
    constexpr int kCell = 4;
    const int columns = kWidth / kCell, rows = kHeight / kCell;
    std::vector<int> ink(std::size_t(columns) * rows, 0), group(ink.size(), -1);
    for (int y = workArea_.y; y < workArea_.y + workArea_.height; ++y)
        for (int x = workArea_.x; x < workArea_.x + workArea_.width; ++x)
            if (channelDistance(shot.at(x, y), backdrop_) > kInk)
                ++ink[std::size_t(y / kCell) * columns + x / kCell];
    icons_.clear();
    for (std::size_t start = 0; start < ink.size(); ++start) {
        if (!ink[start] || group[start] >= 0) continue;
        int left = columns, right = -1, upper = rows, lower = -1;
        long pixels = 0;
        std::vector<std::size_t> queue = {start};
        group[start] = int(icons_.size());
        while (!queue.empty()) {
            std::size_t cell = queue.back();
            queue.pop_back();
            const int cx = int(cell % columns), cy = int(cell / columns);
            left = std::min(left, cx), right = std::max(right, cx);
            upper = std::min(upper, cy), lower = std::max(lower, cy);
            pixels += ink[cell];
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx) {
                    const int nx = cx + dx, ny = cy + dy;
                    if (nx < 0 || ny < 0 || nx >= columns || ny >= rows) continue;
                    const std::size_t next = std::size_t(ny) * columns + nx;
                    if (ink[next] && group[next] < 0) {
                        group[next] = group[start];
                        queue.push_back(next);
                    }
                }
        }
        Rect rect{left * kCell, upper * kCell, (right - left + 1) * kCell,
                  (lower - upper + 1) * kCell};
        if (pixels >= 50 && std::none_of(covered_.begin(), covered_.end(),
                                         [&](const Rect& c) { return c.intersects(rect); }))
            icons_.push_back(rect);
    }

    // The launcher: its icon's square.
    int left = kWidth, right = -1, upper = kHeight, lower = -1;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (shot.at(x, y) == kLauncherColour)
                left = std::min(left, x), right = std::max(right, x), upper = std::min(upper, y),
                lower = std::max(lower, y);
    launcher_ = right < 0 ? Rect{} : Rect{left, upper, right - left + 1, lower - upper + 1};

    // The free area: the first place, from the bottom right, that shows the backdrop alone
    // and keeps clear of icons and panels.
    freeArea_ = {};
    const int w = kWidth / 5, h = kHeight / 5, margin = 16;
    for (int y = workArea_.y + workArea_.height - margin - h;
         y >= workArea_.y + margin && !freeArea_.width; y -= 16)
        for (int x = workArea_.x + workArea_.width - margin - w; x >= workArea_.x + margin;
             x -= 16) {
            const Rect candidate{x, y, w, h};
            auto near = [&](const std::vector<Rect>& rects, int by) {
                return std::any_of(rects.begin(), rects.end(), [&](const Rect& r) {
                    return r.grown(by).intersects(candidate);
                });
            };
            if (near(icons_, 24) || near(covered_, 8)) continue;
            bool plain = true;
            for (int py = y; py < y + h && plain; ++py)
                for (int px = x; px < x + w && plain; ++px) plain = shot.at(px, py) == backdrop_;
            if (plain) {
                freeArea_ = candidate;
                break;
            }
        }
}

::testing::AssertionResult X11DesktopSession::iconsLookAsInBaseline() const {
    if (loginOf(desktop_).wayland)  // no icon under the pointer, lit
        pointerTo(freeArea_.centerX(), freeArea_.centerY());
    else
        run({"xdotool", "mousemove", std::to_string(freeArea_.centerX()),
             std::to_string(freeArea_.centerY())});
    const Picture now = screenshot();
    std::string changed;
    for (const Rect& icon : icons_) {
        long own = 0, kept = 0;
        for (int y = icon.y; y < icon.y + icon.height; ++y)
            for (int x = icon.x; x < icon.x + icon.width; ++x)
                if (channelDistance(baseline_.at(x, y), backdrop_) > kOwnPixel) {
                    ++own;
                    kept += channelDistance(baseline_.at(x, y), now.at(x, y)) <= kSameColour;
                }
        if (own && kept < own * 3 / 4)
            changed += "icon at " + describe(icon) + ": " + std::to_string(kept * 100 / own) +
                       "% of its " + std::to_string(own) + " own pixels as before\n";
    }
    if (changed.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << changed;
}

::testing::AssertionResult X11DesktopSession::panelsLookAsInBaseline() const {
    const Picture now = screenshot();
    const Rect& w = workArea_;
    std::vector<Rect> panels = covered_;
    for (Rect strip : {Rect{0, 0, kWidth, w.y}, Rect{0, w.y + w.height, kWidth, kHeight},
                       Rect{0, 0, w.x, kHeight}, Rect{w.x + w.width, 0, kWidth, kHeight}}) {
        strip.width = std::min(strip.width, kWidth - strip.x);
        strip.height = std::min(strip.height, kHeight - strip.y);
        if (strip.width > 0 && strip.height > 0) panels.push_back(strip);
    }
    std::string changed;
    for (const Rect& panel : panels)
        if (double share = changedShare(baseline_, now, panel); share > 0.2)
            changed += "panel at " + describe(panel) + ": " + std::to_string(int(share * 100)) +
                       "% changed\n";
    if (changed.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << changed;
}

::testing::AssertionResult X11DesktopSession::rightClickOpensTheDesktopMenu() const {
    std::set<Window> before;
    for (const TopLevel& window : topLevels(display_)) before.insert(window.window);
    const std::string x = std::to_string(freeArea_.centerX()),
                      y = std::to_string(freeArea_.centerY());
    run({"xdotool", "mousemove", x, y, "click", "3"});
    Window menu = 0;
    std::vector<std::string> seen;
    poll(
        [&] {
            seen.clear();
            for (const TopLevel& window : topLevels(display_)) {
                if (before.count(window.window)) continue;
                const long owner = pidOf(display_, window.window);
                seen.push_back(describe(window.rect) + " of process " + std::to_string(owner));
                if (owner == menuOwner_ &&
                    (window.overrideRedirect ||
                     hasType(display_, window.window, "_NET_WM_WINDOW_TYPE_POPUP_MENU")))
                    menu = window.window;
            }
            return menu != 0;
        },
        20s);  // the desktop program may be slow to answer on a busy machine
    if (!menu) {
        auto failure = ::testing::AssertionFailure()
                       << "no menu of process " << menuOwner_ << " after a right-click at " << x
                       << "," << y << ", over " << windowUnderPointer(display_) << "; new windows:";
        for (const std::string& window : seen) failure << " " << window << ";";
        return failure;
    }
    run({"xdotool", "key", "Escape"});
    if (!poll([&] { return !viewable(display_, menu); }, 5s))
        return ::testing::AssertionFailure() << "the menu stayed after Escape";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult X11DesktopSession::doubleClickOpensTheLauncher() const {
    const auto launched = dir_ / "launched";
    std::filesystem::remove(launched);
    const std::string x = std::to_string(launcher_.centerX()),
                      y = std::to_string(launcher_.centerY());
    // Two clicks count as one double-click only close together: on a busy machine xdotool
    // may be held up between them, so a missed one is tried again (a second launch does
    // no harm).
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (loginOf(desktop_).wayland)
            clickAt(launcher_.centerX(), launcher_.centerY(), kLeftButton, 2);
        else
            run({"xdotool", "mousemove", x, y, "click", "--repeat", "2", "--delay", "50", "1"});
        if (poll([&] { return std::filesystem::exists(launched); }, 5s))
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "three double-clicks at " << x << "," << y
           << " did not run the launcher's command; the pointer is over "
           << windowUnderPointer(display_);
}

void X11DesktopSession::stopEverything() {
    // The desktop's own programs, last started first.
    for (auto program = programs_.rbegin(); program != programs_.rend(); ++program)
        if (program->pid() > 0 && !program->waitForExit(0ms)) {
            kill(program->pid(), SIGTERM);
            if (!program->waitForExit(5s)) program->stop(SIGKILL);
        }
    shell_.reset();
    session_.reset();
    system_.reset();
    // Then whatever carries the session's mark; those that end come back here (see the
    // subreaper above) and are waited for.
    const std::string mark = std::string(kMark) + "=" + dir_.path().string();
    auto marked = [&] {
        std::vector<pid_t> pids;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            // Entries end with a NUL; one before the first stands for the start.
            const std::string environ = '\0' + slurp(entry.path() / "environ");
            if (environ.find('\0' + mark + '\0') != std::string::npos)
                pids.push_back(pid_t(std::stol(name)));
        }
        return pids;
    };
    auto reap = [] {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    };
    const auto began = Clock::now();
    poll(
        [&] {
            reap();
            auto pids = marked();
            const int signal = Clock::now() - began > 3s ? SIGKILL : SIGTERM;
            for (pid_t pid : pids) kill(pid, signal);
            return pids.empty();
        },
        10s);
    reap();
}

}  // namespace tavel::test
