// The lock-screen still: what is rendered, how the files are named and cleaned up, and
// when the desktop picture changes; on the manual clock, a fake renderer and picture.

#include "app/integration/lock_screen_still.h"

#include "support/app_state_fixture.h"
#include "support/temp_dir.h"

#include <fstream>

namespace tavel {
namespace {

class FakePicture final : public DesktopPicture {
public:
    std::string setPicture(const std::filesystem::path& file) override {
        set.push_back(file);
        return failWith;
    }
    std::vector<std::filesystem::path> set;
    std::string failWith;
};

class LockScreenStillTest : public test::AppStateTest {
protected:
    LockScreenStillTest() {
        screens.list = {ScreenRecord{7, "Main", Rect{0, 0, 40, 30}, 2.0}, test::screen(8, "Other")};
        still.attach(make());
    }
    void sync() {
        still.syncSystemWallpaperNow();
        iconQueue.runAll();
        clock.runPending();
    }
    std::vector<std::string> files() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "Tavel"))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir;
    test::ManualExecutor iconQueue;
    FakePicture picture;
    std::int64_t seconds = 1700000000;
    std::vector<std::string> rendered;  // "id WxH"
    LockScreenStillSync still{
        {clock, iconQueue, screens, picture,
         [this](const ShaderEffect& effect, const ShaderParams&, int w, int h) {
             rendered.push_back(effect.id + " " + std::to_string(w) + "x" + std::to_string(h));
             Image image;
             image.width = w;
             image.height = h;
             image.bgra.assign(std::size_t(w) * h * 4, 128);
             return std::optional(image);
         },
         dir / "Tavel", [this] { return seconds; }, log}};
};

TEST_F(LockScreenStillTest, TheMainScreensEffectAtItsPixelSizeBecomesEveryPicture) {
    state->updateSettings([](AppSettings& s) {
        s.sameOnAllDisplays = false;
        s.perDisplay = {{"7", "tiles"}, {"8", "orbits"}};
    });
    std::filesystem::create_directories(dir / "Tavel");
    std::ofstream(dir / "Tavel" / "lockscreen-1.png") << "old";
    std::ofstream(dir / "Tavel" / "lockvideo.mov") << "kept";
    sync();
    EXPECT_EQ(rendered, (std::vector<std::string>{"tiles 80x60"}));
    EXPECT_EQ(files(), (std::vector<std::string>{"lockscreen-1700000000.png", "lockscreen.png",
                                                 "lockvideo.mov"}));
    EXPECT_EQ(std::filesystem::read_symlink(dir / "Tavel" / "lockscreen.png"),
              "lockscreen-1700000000.png");
    ASSERT_EQ(picture.set.size(), 1u);
    EXPECT_EQ(picture.set[0], dir / "Tavel" / "lockscreen-1700000000.png");

    // The same second again: the file is made again under the same name; a later one
    // replaces it and the link follows.
    sync();
    seconds += 5;
    sync();
    EXPECT_EQ(files(), (std::vector<std::string>{"lockscreen-1700000005.png", "lockscreen.png",
                                                 "lockvideo.mov"}));
    EXPECT_EQ(std::filesystem::read_symlink(dir / "Tavel" / "lockscreen.png"),
              "lockscreen-1700000005.png");
    EXPECT_EQ(picture.set.size(), 3u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LockScreenStillTest, NothingWithoutAScreenOrWithTheVideoAndFailuresAreOneLine) {
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = true; });
    sync();
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    auto screensBefore = std::exchange(screens.list, {});
    sync();
    EXPECT_TRUE(rendered.empty());
    screens.list = screensBefore;

    std::ofstream(dir / "Tavel") << "a file where the folder should be";
    sync();
    EXPECT_TRUE(picture.set.empty());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines()[0].starts_with("Tavel: lock screen sync failed: ")) << log.lines()[0];

    std::filesystem::remove(dir / "Tavel");
    picture.failWith = "gsettings: no such schema";
    sync();
    EXPECT_EQ(log.lines().back(), "Tavel: lock screen sync failed: gsettings: no such schema");
}

}  // namespace
}  // namespace tavel
