// Choosing how to set the desktop picture, and the exact commands each desktop's setter
// runs (against a fake runner), then GNOME's against the real gsettings.

#include "platform/desktop_picture.h"
#include "platform/posix_process_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace tavel {
namespace {

using Command = std::vector<std::string>;
using Outcome = ProcessResult::Outcome;

// Answers by program name; a program without an answer succeeds silently.
class FakeRunner final : public ProcessRunner {
public:
    std::map<std::string, ProcessResult> answers;
    std::vector<Command> ran;

    ProcessResult run(const Command& command) override {
        ran.push_back(command);
        auto it = answers.find(command[0]);
        return it == answers.end() ? ProcessResult{} : it->second;
    }
};

ProcessResult answer(Outcome outcome, int status = 0, std::string output = {},
                     std::string errors = {}) {
    ProcessResult result;
    result.outcome = outcome;
    result.exitStatus = status;
    result.output = std::move(output);
    result.errors = std::move(errors);
    return result;
}

const ProcessResult missing = answer(Outcome::NotInstalled);

TEST(ChooseSetter, FollowsTheDesktopListThenTheSession) {
    using S = PictureSetter;
    struct Case {
        const char* desktop;
        const char* type;
        bool sway, x11, wayland;
        PictureSetter expected;
    };
    const Case cases[] = {
        {"GNOME", "wayland", false, true, true, S::Gnome},
        {"ubuntu:GNOME", "x11", false, true, false, S::Gnome},
        {"Budgie:GNOME", "x11", false, true, false, S::Gnome},
        {"Unity:Unity7:ubuntu", "x11", false, true, false, S::Gnome},
        {"Pantheon", "x11", false, true, false, S::Gnome},
        {"GNOME-Flashback:GNOME", "x11", false, true, false, S::Gnome},
        {"KDE", "wayland", false, true, true, S::Plasma},
        {"kde:gnome", "x11", false, true, false, S::Plasma},  // the first known name wins
        {"X-Cinnamon", "x11", false, true, false, S::Cinnamon},
        {"MATE", "x11", false, true, false, S::Mate},
        {"XFCE", "x11", false, true, false, S::Xfce},
        {"sway", "wayland", true, true, true, S::Sway},
        {"", "", true, false, true, S::Sway},                    // sway started without a list
        {"sway", "wayland", false, true, true, S::Unsupported},  // no socket to reach it
        {"Hyprland", "wayland", false, true, true, S::Unsupported},
        {"LXDE", "x11", false, true, false, S::X11Root},
        {"i3", "tty", false, true, false, S::X11Root},
        {"", "", false, true, false, S::X11Root},
        {"", "", false, true, true, S::Unsupported},  // Xwayland's root is not what users see
        {"", "", false, false, false, S::Unsupported},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseSetter({c.desktop, c.type, c.sway, c.x11, c.wayland}), c.expected)
            << c.desktop << " / " << c.type;
}

TEST(ChooseSetter, ReadsTheSessionFromTheEnvironment) {
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    setenv("XDG_SESSION_TYPE", "x11", 1);
    setenv("SWAYSOCK", "/run/sway.sock", 1);
    setenv("DISPLAY", ":7", 1);
    unsetenv("WAYLAND_DISPLAY");
    DesktopFacts facts = DesktopFacts::fromEnvironment();
    EXPECT_EQ(facts.currentDesktop, "ubuntu:GNOME");
    EXPECT_EQ(facts.sessionType, "x11");
    EXPECT_TRUE(facts.swaySocket);
    EXPECT_TRUE(facts.x11Display);
    EXPECT_FALSE(facts.waylandDisplay);
    for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "SWAYSOCK", "DISPLAY"})
        unsetenv(name);
}

TEST(MakeDesktopPicture, GivesTheRootSetterOrSaysNothingFits) {
    struct RootPicture final : DesktopPicture {
        std::string setPicture(const std::filesystem::path&) override { return "root"; }
    };
    FakeRunner runner;
    auto makeRoot = [] { return std::make_unique<RootPicture>(); };
    EXPECT_EQ(makeDesktopPicture(PictureSetter::X11Root, runner, makeRoot)->setPicture("/p.png"),
              "root");
    EXPECT_EQ(
        makeDesktopPicture(PictureSetter::Unsupported, runner, makeRoot)->setPicture("/p.png"),
        "desktop picture: no way to set it is known for this desktop");
    EXPECT_TRUE(runner.ran.empty());
}

// A path that needs quoting everywhere: a space, a single quote, non-ASCII.
const char* const file = "/home/a b/it's é.png";
const char* const uri = "file:///home/a%20b/it%27s%20%C3%A9.png";

Command gsettings(const char* schema, const char* key, const std::string& value) {
    return {"gsettings", "set", schema, key, value};
}

Command kwriteconfig(const char* tool) {
    return {tool,        "--file",  "kscreenlockerrc", "--group", "Greeter", "--group",
            "Wallpaper", "--group", "org.kde.image",   "--group", "General", "--key",
            "Image",     uri};
}

TEST(ToolPicture, RunsEachDesktopsCommandsAndReportsWhatFailed) {
    using S = PictureSetter;
    const std::string gnomeKeys = "picture-options\npicture-uri\npicture-uri-dark\n";
    const Command listKeys = {"gsettings", "list-keys", "org.gnome.desktop.background"};
    const Command gnomeUri =
        gsettings("org.gnome.desktop.background", "picture-uri", std::string("'") + uri + "'");
    const Command gnomeDark =
        gsettings("org.gnome.desktop.background", "picture-uri-dark", std::string("'") + uri + "'");
    const Command plasma = {"plasma-apply-wallpaperimage", file};
    const Command xfceList = {"xfconf-query", "-c", "xfce4-desktop", "-l"};
    auto xfceSet = [](const char* property) -> Command {
        return {"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", file};
    };
    const char* xfceMonitor0 = "/backdrop/screen0/monitorDP-1/workspace0/last-image";
    const char* xfceMonitor1 = "/backdrop/screen0/monitorHDMI-1/workspace0/last-image";
    const ProcessResult failed = answer(Outcome::Exited, 1, "", "No such schema\n");

    struct Case {
        const char* what;
        PictureSetter setter;
        std::map<std::string, ProcessResult> answers;
        std::vector<Command> expected;
        std::string line;
        const char* file = tavel::file;
    };
    const Case cases[] = {
        {"GNOME: both keys",
         S::Gnome,
         {{"gsettings", answer(Outcome::Exited, 0, gnomeKeys)}},
         {listKeys, gnomeUri, gnomeDark},
         ""},
        {"GNOME before 42: no dark key",
         S::Gnome,
         {{"gsettings", answer(Outcome::Exited, 0, "picture-uri\n")}},
         {listKeys, gnomeUri},
         ""},
        {"GNOME without gsettings", S::Gnome, {{"gsettings", missing}}, {listKeys}, ""},
        {"GNOME without the schema",
         S::Gnome,
         {{"gsettings", failed}},
         {listKeys},
         "GNOME background: gsettings failed (exit status 1: No such schema)"},
        {"Plasma 6", S::Plasma, {}, {plasma, kwriteconfig("kwriteconfig6")}, ""},
        {"Plasma 5",
         S::Plasma,
         {{"kwriteconfig6", missing}},
         {plasma, kwriteconfig("kwriteconfig6"), kwriteconfig("kwriteconfig5")},
         ""},
        {"Plasma without its tools",
         S::Plasma,
         {{"plasma-apply-wallpaperimage", missing},
          {"kwriteconfig6", missing},
          {"kwriteconfig5", missing}},
         {plasma, kwriteconfig("kwriteconfig6"), kwriteconfig("kwriteconfig5")},
         ""},
        {"Plasma: both parts fail",
         S::Plasma,
         {{"plasma-apply-wallpaperimage", answer(Outcome::Exited, 2)},
          {"kwriteconfig6", answer(Outcome::TimedOut)}},
         {plasma, kwriteconfig("kwriteconfig6")},
         "Plasma desktop: plasma-apply-wallpaperimage failed (exit status 2); "
         "Plasma lock screen: kwriteconfig6 did not finish in time"},
        {"Cinnamon",
         S::Cinnamon,
         {},
         {gsettings("org.cinnamon.desktop.background", "picture-uri",
                    std::string("'") + uri + "'")},
         ""},
        {"MATE: a file name in GVariant quotes",
         S::Mate,
         {},
         {gsettings("org.mate.background", "picture-filename", "'/home/a b/it\\'s é.png'")},
         ""},
        {"XFCE: every monitor's last image",
         S::Xfce,
         {{"xfconf-query",
           answer(Outcome::Exited, 0,
                  std::string("/backdrop/screen0/monitorDP-1/workspace0/image-style\n") +
                      xfceMonitor0 + "\n" + xfceMonitor1 + "  \n/last-image-list\n")}},
         {xfceList, xfceSet(xfceMonitor0), xfceSet(xfceMonitor1)},
         ""},
        {"XFCE: no monitor listed",
         S::Xfce,
         {{"xfconf-query", answer(Outcome::Exited, 0, "/desktop-icons/style\n")}},
         {xfceList},
         "XFCE desktop: xfconf-query lists no monitor's last-image"},
        {"sway: the path quoted for its command parser",
         S::Sway,
         {},
         {{"swaymsg", "output", "*", "bg", "\"/home/a b/it's é.png\"", "fill"}},
         ""},
        {"sway: a path it cannot quote",
         S::Sway,
         {},
         {},
         "sway background: swaymsg cannot take a path with a double quote",
         "/tmp/a\"b.png"},
        {"a relative path",
         S::Gnome,
         {},
         {},
         "desktop picture: not an absolute path: a.png",
         "a.png"},
    };
    for (const auto& c : cases) {
        FakeRunner runner;
        runner.answers = c.answers;
        auto picture = makeDesktopPicture(c.setter, runner, [] { return nullptr; });
        EXPECT_EQ(picture->setPicture(c.file), c.line) << c.what;
        EXPECT_EQ(runner.ran, c.expected) << c.what;
    }
}

// GNOME's keys written by the real gsettings into a private keyfile, and read back.
TEST(ToolPicture, SetsGnomesBackgroundThroughGsettings) {
    test::TempDir config;
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    PosixProcessRunner runner;
    auto picture = makeDesktopPicture(PictureSetter::Gnome, runner, [] { return nullptr; });
    EXPECT_EQ(picture->setPicture(file), "");
    for (const char* key : {"picture-uri", "picture-uri-dark"}) {
        ProcessResult read = runner.run({"gsettings", "get", "org.gnome.desktop.background", key});
        EXPECT_EQ(read.output, std::string("'") + uri + "'\n") << key << ": " << read.errors;
    }
    unsetenv("GSETTINGS_BACKEND");
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tavel
