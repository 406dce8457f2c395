// Child processes; the setter per session; each desktop's commands (fake runner, real gsettings).

#include "platform/desktop_picture.h"
#include "platform/posix_process_runner.h"
#include "platform/wallpaper_settings.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace tavel {
namespace {

using Command = std::vector<std::string>;
using Outcome = ProcessResult::Outcome;
using S = PictureSetter;

// The child inherits none of our descriptors.
TEST(PosixProcessRunner, RunsTheArgumentVectorTellsOutcomesApartAndStopsAtTheTimeLimit) {
    int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);

    struct Case {
        std::vector<std::string> command;
        Outcome outcome = Outcome::Exited;
        int code = 0;  // the exit status, or the signal for Killed
        std::string output = "", errors = "";
    };
    const Case cases[] = {
        // No shell parses the arguments.
        {{"printf", "%s|", "a b", "$HOME", "*", "'q'", "; true"}, {}, 0, "a b|$HOME|*|'q'|; true|"},
        {{"sh", "-c", "echo out; echo err >&2; exit 3"}, {}, 3, "out\n", "err\n"},
        {{"ls", "/proc/self/fd"}, {}, 0, "0\n1\n2\n3\n"},  // 3: the folder ls is reading
        {{"tavel-no-such-program"}, Outcome::NotInstalled},
        {{"sh", "-c", "kill -TERM $$"}, Outcome::Killed, SIGTERM},
    };
    PosixProcessRunner runner(std::chrono::seconds(2));
    for (const auto& c : cases) {
        ProcessResult result = runner.run(c.command);
        const std::string shown = testing::PrintToString(c.command);
        EXPECT_EQ(result.outcome, c.outcome) << shown;
        EXPECT_EQ(c.outcome == Outcome::Killed ? result.signal : result.exitStatus, c.code)
            << shown;
        EXPECT_EQ(result.output, c.output) << shown;
        EXPECT_EQ(result.errors, c.errors) << shown;
    }
    // A flood is read to its end (no block on a full pipe) and kept up to its bound.
    ProcessResult flood = runner.run({"head", "-c", "3000000", "/dev/zero"});
    EXPECT_EQ(flood.outcome, Outcome::Exited);
    EXPECT_EQ(flood.output.size(), std::size_t(1) << 20);
    close(leaked);

    ProcessResult overrun = runner.run({"sh", "-c", "echo begun; sleep 30"});
    EXPECT_EQ(overrun.outcome, Outcome::TimedOut);
    EXPECT_EQ(overrun.output, "begun\n");  // what it said before it was killed
    // Ended though its background child still holds the output open.
    ProcessResult ended = runner.run({"sh", "-c", "sleep 30 & echo $!"});
    EXPECT_EQ(ended.outcome, Outcome::Exited);
    if (!ended.output.empty()) kill(std::stoi(ended.output), SIGKILL);
}

TEST(ChooseSetter, FollowsTheDesktopListThenTheSession) {
    const std::array<const char*, 5> names = {"XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "SWAYSOCK",
                                              "DISPLAY", "WAYLAND_DISPLAY"};
    struct Case {
        std::array<const char*, 5> values;  // of `names`; null: unset
        PictureSetter expected;
    };
    const char* no = nullptr;
    const char* sock = "/run/sway.sock";
    const Case cases[] = {
        {{"ubuntu:GNOME", "x11", no, ":0", no}, S::Gnome},
        {{"KDE", "wayland", no, ":0", "wayland-0"}, S::Plasma},
        {{"sway", "wayland", sock, ":0", "wayland-1"}, S::Sway},
        {{"sway", "wayland", no, ":0", "wayland-1"}, S::Unsupported},  // no socket to reach it
        {{"LXDE", "x11", no, ":0", "wayland-0"}, S::X11Root},
        {{no, no, no, ":0", "wayland-0"}, S::Unsupported},  // Xwayland's root is not what users see
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < names.size(); ++i)
            c.values[i] ? setenv(names[i], c.values[i], 1) : unsetenv(names[i]);
        EXPECT_EQ(chooseSetter(DesktopFacts::fromEnvironment()), c.expected)
            << "case " << &c - cases;
    }
    for (const char* name : names) unsetenv(name);  // nothing else here needs them
}

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

// Needs quoting everywhere: a space, a single quote, non-ASCII.
const char* const file = "/home/a b/it's é.png";
const char* const uri = "file:///home/a%20b/it%27s%20%C3%A9.png";
const std::string dp1 = "/backdrop/screen0/monitorDP-1/workspace0/last-image";

ProcessResult exited(int status, std::string output = {}, std::string errors = {}) {
    return ProcessResult{Outcome::Exited, status, 0, std::move(output), std::move(errors)};
}
// Plasma's lock screen image, read with `tool`, or written with `value`.
Command lockImage(const char* tool, std::optional<std::string> value = {}) {
    Command command = {tool,        "--file",  "kscreenlockerrc", "--group", "Greeter", "--group",
                       "Wallpaper", "--group", "org.kde.image",   "--group", "General", "--key",
                       "Image"};
    if (value) command.push_back(*value);
    return command;
}

TEST(DesktopPicture, RunsEachDesktopsCommandsAndReportsWhatFailed) {
    auto set = [](const char* schema, const char* key, const std::string& value) {
        return Command{"gsettings", "set", schema, key, value};
    };
    const char* const gnome = "org.gnome.desktop.background";
    const std::string quotedUri = std::string("'") + uri + "'";
    const Command listKeys = {"gsettings", "list-keys", gnome};
    const Command gnomeUri = set(gnome, "picture-uri", quotedUri);
    auto xfconf = [](Command args) {
        args.insert(args.begin(), {"xfconf-query", "-c", "xfce4-desktop"});
        return args;
    };
    const std::string hdmi1 = "/backdrop/screen0/monitorHDMI-1/workspace0/last-image";

    struct Case {
        PictureSetter setter;
        std::map<std::string, ProcessResult> answers;
        std::vector<Command> expected;
        std::string line = "";
        const char* file = tavel::file;
    };
    const Case cases[] = {
        {S::Gnome, {{"gsettings", exited(0, "picture-uri\n")}}, {listKeys, gnomeUri}},  // before 42
        {S::Gnome,
         {{"gsettings", exited(1, "", "No such schema\nmore\n")}},
         {listKeys},
         "GNOME background: gsettings failed (exit status 1: No such schema)"},
        // Only Plasma's lock screen: its desktops show Tavel's plugin.
        {S::Plasma, {}, {lockImage("kwriteconfig6", uri)}},
        {S::Mate, {}, {set("org.mate.background", "picture-filename", "'/home/a b/it\\'s é.png'")}},
        // One property per monitor and workspace.
        {S::Xfce,
         {{"xfconf-query", exited(0, dp1 + "\n" + hdmi1 + "  \n/last-image-list\n")}},
         {xfconf({"-l"}), xfconf({"-p", dp1, "-s", file}), xfconf({"-p", hdmi1, "-s", file})}},
        // sway shows Tavel's surfaces: no background program is put over them.
        {S::Sway, {}, {}},
        {S::Gnome, {}, {}, "desktop picture: not an absolute path: a.png", "a.png"},
    };
    for (const auto& c : cases) {
        FakeRunner runner;
        runner.answers = c.answers;
        auto picture = makeDesktopPicture(c.setter, runner, [] { return nullptr; });
        EXPECT_EQ(picture->setPicture(c.file).why(), c.line) << "case " << &c - cases;
        EXPECT_EQ(runner.ran, c.expected) << "case " << &c - cases;
    }
}

// Read and put back with each desktop's own tool; a failing tool gives no record.
TEST(DesktopPicture, ReadsWhatEachDesktopShowsAndPutsItBack) {
    struct Case {
        PictureSetter setter;
        std::map<std::string, ProcessResult> answers;
        std::optional<PictureRecord> record;
        std::vector<Command> restore;
    };
    const Case cases[] = {
        {S::Mate,  // the fake answers every ask alike
         {{"gsettings", exited(0, "picture-filename\n")}},
         PictureRecord{{"picture-filename", "picture-filename"}},
         {{"gsettings", "set", "org.mate.background", "picture-filename", "picture-filename"}}},
        {S::Cinnamon, {{"gsettings", exited(1)}}, std::nullopt, {}},
        {S::Xfce,
         {{"xfconf-query", exited(0, dp1 + "\n")}},
         PictureRecord{{dp1, dp1}},
         {{"xfconf-query", "-c", "xfce4-desktop", "-p", dp1, "-s", dp1}}},
        // Plasma's lock screen: an image never set goes back to unset.
        {S::Plasma,
         {{"kreadconfig6", exited(0, "\n")}},
         PictureRecord{{"kscreenlockerrc Image", ""}},
         {lockImage("kwriteconfig6", "--delete")}},
    };
    for (const auto& c : cases) {
        FakeRunner runner;
        runner.answers = c.answers;
        auto picture = makeDesktopPicture(c.setter, runner, [] { return nullptr; });
        EXPECT_EQ(picture->snapshot(), c.record) << "case " << &c - cases;
        if (!c.record) continue;
        runner.ran.clear();
        EXPECT_EQ(picture->restore(*c.record).why(), "") << "case " << &c - cases;
        EXPECT_EQ(runner.ran, c.restore) << "case " << &c - cases;
    }
}

// Both of GNOME's keys, through the real gsettings into a private keyfile, and back.
TEST(DesktopPicture, SetsGnomesBackgroundThroughGsettings) {
    test::TempDir config;
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    PosixProcessRunner runner;
    auto read = [&](const char* key) {
        return runner.run({"gsettings", "get", "org.gnome.desktop.background", key}).output;
    };
    auto picture = makeDesktopPicture(PictureSetter::Gnome, runner, [] { return nullptr; });
    ASSERT_EQ(runner
                  .run({"gsettings", "set", "org.gnome.desktop.background", "picture-uri",
                        "'file:///usr/share/backgrounds/it\\'s.jpg'"})
                  .outcome,
              Outcome::Exited);
    const char* const keys[] = {"picture-uri", "picture-uri-dark"};
    std::map<std::string, std::string> before;
    for (const char* key : keys) before[key] = read(key);
    std::optional<PictureRecord> record = picture->snapshot();
    ASSERT_TRUE(record);
    EXPECT_EQ(picture->setPicture(file).why(), "");
    for (const char* key : keys) EXPECT_EQ(read(key), std::string("'") + uri + "'\n") << key;
    EXPECT_EQ(picture->restore(*record).why(), "");
    for (const char* key : keys) EXPECT_EQ(read(key), before[key]) << key;
    EXPECT_NE(before["picture-uri"].find("it's.jpg"), std::string::npos);
    unsetenv("GSETTINGS_BACKEND");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(WallpaperSettings, TheFirstInstalledSettingsProgramOfTheDesktopIsStarted) {
    std::vector<Command> tried;
    EXPECT_TRUE(openWallpaperSettings(wallpaperSettingsCommands(S::Plasma), [&](const Command& c) {
        tried.push_back(c);
        return c[0] == "systemsettings5";
    }));
    EXPECT_EQ(tried, (std::vector<Command>{{"systemsettings", "kcm_wallpaper"},
                                           {"systemsettings5", "kcm_wallpaper"}}));
}

}  // namespace
}  // namespace tavel
