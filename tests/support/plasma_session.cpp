#include "support/plasma_session.h"

#include <sdbus-c++/sdbus-c++.h>

#include <fstream>

namespace tavel::test {

namespace fs = std::filesystem;

namespace {

constexpr auto kStartLimit = std::chrono::seconds(30);

[[noreturn]] void fail(const std::string& message, const std::string& log) {
    failToStart("Plasma", message, log);
}

std::string ownerOf(const std::string& address, const std::string& name) {
    try {
        auto bus = sdbus::createSessionBusConnectionWithAddress(address);
        std::string owner;
        sdbus::createProxy(*bus, "org.freedesktop.DBus", "/org/freedesktop/DBus")
            ->callMethod("GetNameOwner")
            .onInterface("org.freedesktop.DBus")
            .withArguments(name)
            .storeResultsTo(owner);
        return owner;
    } catch (const sdbus::Error&) {
        return {};
    }
}

}  // namespace

PlasmaSession::PlasmaSession(int width, int height, int outputs) {
    for (const char* folder : {"home/.config", "home/.local/share", "home/.cache", "run"})
        fs::create_directories(dir_ / folder);
    fs::permissions(dir_ / "run", fs::perms::owner_all);
    // The binary carries cap_sys_resource, which a container may refuse: a copy runs without.
    const fs::path kwin = dir_ / "kwin_wayland";
    std::error_code copied;
    fs::copy_file("/usr/bin/kwin_wayland", kwin, copied);
    if (copied) fail("no /usr/bin/kwin_wayland (install kwin-wayland)", copied.message());
    // The login's session program tells the tests the $DISPLAY KWin gives its clients.
    const fs::path session = dir_ / "session.sh", answer = dir_ / "run" / "display";
    std::ofstream(session) << "#!/bin/sh\nprintf %s \"$DISPLAY\" > " << answer.string()
                           << ".part && mv " << answer.string() << ".part " << answer.string()
                           << "\n";
    fs::permissions(session, fs::perms::owner_all);
    if (!kwin_.start(
            {kwin.string(), "--virtual", "--xwayland", "--no-lockscreen", "--width",
             std::to_string(width), "--height", std::to_string(height), "--output-count",
             std::to_string(outputs), "--socket", "wayland-tavel", session.string()},
            environmentWith(
                {"HOME=" + (dir_ / "home").string(), "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
                 "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(), "XDG_CURRENT_DESKTOP=KDE",
                 "XDG_SESSION_TYPE=wayland", "KDE_FULL_SESSION=true", "KDE_SESSION_VERSION=5"},
                {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME",
                 "XDG_DATA_HOME", "XDG_CACHE_HOME"}),
            (dir_ / "kwin.log").c_str()))
        fail("cannot start kwin_wayland", log());
    if (!waitUntil([&] { return !(display_ = slurp(answer)).empty(); }, kStartLimit))
        fail("KWin started no Xwayland session within 30 s", log());

    // As the login starts them, before the shell that needs them.
    activities_.start({"/usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd"}, programEnvironment(),
                      (dir_ / "kactivitymanagerd.log").c_str());
    kded_.start({"kded5"}, programEnvironment(), (dir_ / "kded5.log").c_str());
    if (!waitUntil(
            [&] {
                return !ownerOf(bus_.address(), "org.kde.ActivityManager").empty() &&
                       !ownerOf(bus_.address(), "org.kde.StatusNotifierWatcher").empty();
            },
            kStartLimit))
        fail("kactivitymanagerd and kded5 did not start within 30 s", log());
    if (!shell_.start({"plasmashell"}, programEnvironment(), (dir_ / "plasmashell.log").c_str()))
        fail("cannot start plasmashell (install plasma-workspace)", log());
    // Its desktops on every screen and its panel, as a login shows them.
    const std::string ready = std::to_string(outputs) + ":1";
    if (!waitUntil(
            [&] {
                return evaluate(
                           "print(desktops().filter(function(d) { return d.screen >= 0; })"
                           ".length + ':' + panels().length)") == ready;
            },
            kStartLimit))
        fail("plasmashell did not show " + ready + " desktops and panels within 30 s", log());
}

std::vector<std::string> PlasmaSession::environment() const {
    return {"WAYLAND_DISPLAY=wayland-tavel",
            "DISPLAY=" + display_,
            "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
            "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(),
            "XDG_CURRENT_DESKTOP=KDE",
            "XDG_SESSION_TYPE=wayland",
            "KDE_FULL_SESSION=true",
            "KDE_SESSION_VERSION=5",
            "QT_QPA_PLATFORM=wayland",
            "XDG_DATA_DIRS=" TAVEL_PLASMA_DATA ":/usr/local/share:/usr/share"};
}

std::vector<std::string> PlasmaSession::programEnvironment() const {
    std::vector<std::string> env = environment();
    env.push_back("HOME=" + (dir_ / "home").string());
    return environmentWith(env, {"SWAYSOCK", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"});
}

std::string PlasmaSession::evaluate(const std::string& script) const {
    try {
        auto bus = sdbus::createSessionBusConnectionWithAddress(bus_.address());
        std::string printed;
        sdbus::createProxy(*bus, "org.kde.plasmashell", "/PlasmaShell")
            ->callMethod("evaluateScript")
            .onInterface("org.kde.PlasmaShell")
            .withTimeout(std::chrono::seconds(20))
            .withArguments(script)
            .storeResultsTo(printed);
        return printed;
    } catch (const sdbus::Error& e) {
        return std::string("error: ") + e.what();
    }
}

Shot PlasmaSession::screenshot() const {
    const fs::path file = dir_ / "shot.png";
    fs::remove(file);
    if (waitProcess(startProcess({"spectacle", "-b", "-n", "-f", "-o", file.string()},
                                 programEnvironment(), "/dev/null",
                                 (dir_ / "spectacle.log").c_str())) != 0)
        return {};
    return shotFromFile(file);
}

std::string PlasmaSession::log() const {
    return logTails({dir_ / "kwin.log", dir_ / "kactivitymanagerd.log", dir_ / "kded5.log",
                     dir_ / "plasmashell.log", dir_ / "spectacle.log"},
                    4000);  // the ends: plasmashell repeats itself
}

}  // namespace tavel::test
