// Plasma's desktops taken for the wallpaper plugin and given back: fake plasmashell, manual clock.

#include "platform/plasma_wallpapers.h"
#include "support/manual_scheduler.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <deque>

namespace tavel {
namespace {

using namespace std::chrono_literals;

class FakeShell final : public PlasmaShell {
public:
    bool running() const override { return up; }
    void setOwnerHandler(std::function<void()> handler) override { owner = std::move(handler); }
    void evaluate(const std::string& script, std::function<void(Answer)> done) override {
        asked.push_back({script, std::move(done)});
    }
    Answer evaluateNow(const std::string& script) override {
        lastNow = script;
        return now;
    }
    // Answers the oldest question; returns its script.
    std::string answer(Answer answer) {
        auto question = std::move(asked.front());
        asked.pop_front();
        question.second(std::move(answer));
        return question.first;
    }
    void setRunning(bool on) {
        up = on;
        if (owner) owner();
    }

    bool up = true;
    std::function<void()> owner;
    std::deque<std::pair<std::string, std::function<void(Answer)>>> asked;
    Answer now{true, R"({"tavelWritten":[1]})"};
    std::string lastNow;
};

const std::string kSurvey = R"({"tavelDesktops":[{"id":1,"screen":0,"plugin":"org.kde.image",)"
                            R"("config":{"Image":"file:///a.png"},"geometry":[0,0,640,480]}]})";
const ScreenRecord kScreen{1, "Virtual-0", {0, 0, 640, 480}, 1.0};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PlasmaWallpapers, ShellsThatStartRefuseTakeEndAndComeBack) {
    using enum PlasmaWallpapers::Drawer;
    test::ManualScheduler loop;
    MemoryLogSink log;
    FakeShell shell;
    test::TempDir dir;
    const auto record = dir / "Tavel" / "plasma.json";
    PlasmaWallpapers plasma(PlasmaWallpapersDependencies{shell, loop, log, record});
    int changes = 0;
    const int handle = plasma.attach(kScreen, [&] { ++changes; });
    plasma.want(handle, PlasmaPluginConfig{"tiles"});
    loop.runPending();
    EXPECT_EQ(plasma.drawer(handle), waiting);

    // Its name is there, its scripting object not yet: asked again a moment later.
    ASSERT_EQ(shell.asked.size(), 1u);
    EXPECT_TRUE(has(shell.answer({false,
                                  "org.freedesktop.DBus.Error.UnknownObject: No such "
                                  "object",
                                  true}),
                    "desktops()"));
    EXPECT_EQ(plasma.drawer(handle), waiting);
    EXPECT_TRUE(shell.asked.empty());
    loop.advance(1s);
    ASSERT_EQ(shell.asked.size(), 1u);
    shell.answer({true, "TypeError: desktops is not a function"});
    EXPECT_EQ(plasma.drawer(handle), own);

    // A new plasmashell: the person's wallpaper is on disk before selecting, and after a refusal.
    shell.setRunning(true);
    loop.runPending();
    shell.answer({true, kSurvey});
    EXPECT_TRUE(has(test::slurp(record), "file:///a.png"));
    ASSERT_EQ(shell.asked.size(), 1u);
    const std::string select = shell.answer({false, "org.freedesktop.DBus.Error.Failed: no"});
    EXPECT_TRUE(has(select, "var select = true") && has(select, R"("EffectId":"tiles")"));
    EXPECT_EQ(plasma.drawer(handle), own);
    EXPECT_TRUE(has(test::slurp(record), "file:///a.png"));

    // The next one takes it, and is told only what changes.
    shell.setRunning(true);
    loop.runPending();
    shell.answer({true, kSurvey});
    const int before = changes;
    shell.answer({true, R"({"tavelWritten":[1]})"});
    EXPECT_EQ(plasma.drawer(handle), plugin);
    EXPECT_EQ(changes, before + 1);
    plasma.want(handle, PlasmaPluginConfig{"tiles", 2.0f});
    loop.runPending();
    ASSERT_EQ(shell.asked.size(), 1u);
    const std::string write = shell.answer({true, R"({"tavelWritten":[1]})"});
    EXPECT_TRUE(has(write, "var select = false") && has(write, R"("Speed":2.0)")) << write;
    EXPECT_FALSE(has(write, "EffectId"));

    // Handing back with nobody to give the wallpaper to: the record stays for the next start.
    shell.up = false;
    plasma.handBack();
    EXPECT_TRUE(shell.lastNow.empty());
    EXPECT_TRUE(has(log.lines().back(), "record stays")) << log.lines().back();
    EXPECT_TRUE(std::filesystem::exists(record));
    EXPECT_EQ(log.lines().size(), 3u);  // nothing else was worth a line
}

}  // namespace
}  // namespace tavel
