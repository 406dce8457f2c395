// The lock-screen still, its files and the desktop picture, with a fake renderer and picture.

#include "app/integration/lock_screen_still.h"

#include "support/app_state_fixture.h"
#include "support/temp_dir.h"

#include <fstream>
#include <set>

namespace tavel {
namespace {

class FakePicture final : public DesktopPicture {
public:
    Result<void> setPicture(const std::filesystem::path& file) override {
        set.push_back(file);
        // The picture the desktop showed until now is still there to show.
        if (!shown.empty()) {
            EXPECT_TRUE(std::filesystem::exists(shown)) << shown;
        }
        if (!failWith.empty()) return Failure{failWith};
        shown = file;
        return {};
    }
    std::optional<PictureRecord> snapshot() override {
        ++snapshots;
        return before;
    }
    Result<void> restore(const PictureRecord& record) override {
        restored.push_back(record);
        if (!failWith.empty()) return Failure{failWith};
        return {};
    }
    std::vector<std::filesystem::path> set;
    std::filesystem::path shown;
    std::string failWith;
    std::optional<PictureRecord> before = PictureRecord{{"picture-uri", "'file:///theirs.png'"}};
    int snapshots = 0;
    std::vector<PictureRecord> restored;
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
    // The names in Tavel's folder, in order, with spaces between.
    std::string files() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "Tavel"))
            names.insert(entry.path().filename());
        std::string all;
        for (const auto& name : names) all += (all.empty() ? "" : " ") + name;
        return all;
    }
    std::filesystem::path linked() {
        return std::filesystem::read_symlink(dir / "Tavel" / "lockscreen.png");
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
             return std::optional(
                 Image{w, h, std::vector<std::uint8_t>(std::size_t(w) * h * 4, 128)});
         },
         "gnome", dir / "Tavel", [this] { return seconds; }, log}};
};

TEST_F(LockScreenStillTest, TheMainScreensEffectAtItsPixelSizeBecomesEveryPicture) {
    std::ofstream(dir / "Tavel") << "a file where the folder should be";
    sync();
    EXPECT_TRUE(picture.set.empty());
    EXPECT_EQ(log.lines().size(), 1u);
    std::filesystem::remove(dir / "Tavel");
    rendered.clear();

    state->updateSettings([](AppSettings& s) {
        s.sameOnAllDisplays = false;
        s.perDisplay = {{"7", "tiles"}, {"8", "orbits"}};
    });
    std::filesystem::create_directories(dir / "Tavel");
    std::ofstream(dir / "Tavel" / "lockscreen-1.png") << "old";
    std::ofstream(dir / "Tavel" / "lockvideo.mov") << "kept";
    sync();
    EXPECT_EQ(rendered, (std::vector<std::string>{"tiles 80x60"}));
    EXPECT_EQ(files(),
              "desktop-picture.json lockscreen-1700000000.png lockscreen.png lockvideo.mov");
    EXPECT_EQ(linked(), "lockscreen-1700000000.png");
    ASSERT_EQ(picture.set.size(), 1u);
    EXPECT_EQ(picture.set[0], dir / "Tavel" / "lockscreen-1700000000.png");

    // The same second again: the same name; a later one replaces it and the link follows.
    sync();
    seconds += 5;
    sync();
    EXPECT_EQ(files(),
              "desktop-picture.json lockscreen-1700000005.png lockscreen.png lockvideo.mov");
    EXPECT_EQ(linked(), "lockscreen-1700000005.png");
    EXPECT_EQ(picture.set.size(), 3u);
    EXPECT_EQ(log.lines().size(), 1u);

    // A failing setter keeps the shown picture's file until the next success; said once.
    picture.failWith = "xfconf-query: no such channel";
    seconds += 5;
    sync();
    seconds += 5;
    sync();
    EXPECT_EQ(files(),
              "desktop-picture.json lockscreen-1700000005.png lockscreen-1700000015.png "
              "lockscreen.png lockvideo.mov");
    EXPECT_EQ(log.lines().back(), "Tavel: lock screen sync failed: xfconf-query: no such channel");
    EXPECT_EQ(log.lines().size(), 2u);
    picture.failWith.clear();
    seconds += 5;
    sync();
    EXPECT_EQ(files(),
              "desktop-picture.json lockscreen-1700000020.png lockscreen.png lockvideo.mov");
}

TEST_F(LockScreenStillTest, ThePersonsPictureIsRecordedOnceAndPutBack) {
    // Unrecorded (the disk took the still but not the longer record), it is not replaced.
    const PictureRecord theirs = *picture.before;
    picture.before = PictureRecord{{"picture-uri", "'file:///" + std::string(4000, 'x') + "'"}};
    test::withFileSizeLimit(2000, [&] { sync(); });
    EXPECT_TRUE(picture.set.empty());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("desktop-picture.json"), std::string::npos) << log.lines()[0];
    picture.before = theirs;
    sync();
    picture.before = PictureRecord{{"picture-uri", "'file:///other.png'"}};
    seconds += 5;
    sync();
    EXPECT_EQ(picture.snapshots, 2);  // the unrecorded try, then once
    still.restoreDesktopPicture();
    EXPECT_TRUE(picture.restored.empty());  // not on the main thread
    iconQueue.runAll();
    EXPECT_EQ(picture.restored,
              (std::vector<PictureRecord>{{{"picture-uri", "'file:///theirs.png'"}}}));
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "desktop-picture.json"));
    still.restoreDesktopPicture();  // nothing recorded: nothing to do
    iconQueue.runAll();
    EXPECT_EQ(picture.restored.size(), 1u);

    // A desktop already showing a still of Tavel's has nothing of the person's to record.
    picture.before = PictureRecord{
        {"picture-uri", "'file://" + (dir / "Tavel").string() + "/lockscreen-1.png'"}};
    sync();
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "desktop-picture.json"));

    // A record from another desktop, or one that is not a record, is left, with a line.
    std::ofstream(dir / "Tavel" / "desktop-picture.json")
        << R"({"desktop":"xfce","values":{"/backdrop":"/x.png"}})";
    still.restoreDesktopPicture();
    iconQueue.runAll();
    std::ofstream(dir / "Tavel" / "desktop-picture.json") << "[1,";
    still.restoreDesktopPicture();
    iconQueue.runAll();
    EXPECT_EQ(picture.restored.size(), 1u);
    EXPECT_EQ(log.lines().size(), 3u);
}

}  // namespace
}  // namespace tavel
