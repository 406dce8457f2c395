// The real gallery window on Xvfb: its GLFW window drawn with the desktop views' GLX
// context, clicked with xdotool as a person clicks it, over an application state wired
// to fakes on the real main loop.

#include "platform/x11/glx_loop_fixture.h"  // before X11 headers: see there

#include "app/core/app_state.h"
#include "app/ui/gallery/gallery_ui.h"
#include "app/ui/host/gallery_window.h"
#include "app/ui/host/lazy_gallery.h"
#include "support/fakes.h"

#include <X11/extensions/shape.h>

#include <memory>
#include <string>

namespace tavel {
namespace {

using test::runUntil;

// The lock-screen video as the application wires it: its guide is the gallery's.
class GuideInTheGallery final : public LockScreenVideo {
public:
    void updateLockVideoIfNeeded(bool) override {}
    void restoreOriginalAerial() override {}
    void runLockVideoGuide() override {
        if (gallery) gallery->showGuide();
    }
    GalleryWindow* gallery = nullptr;
};

class GalleryWindowTest : public test::GlxLoopTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GlxLoopTest::SetUp());
        screens.list = {ScreenRecord{1, "Left", Rect{0, 0, 1920, 1080}, 1.0}};
        AppStateDependencies dependencies =
            test::fakedDependencies(loop, store, screens, desktop, log);
        dependencies.integrations.video = &video;
        state = std::make_unique<AppState>(std::move(dependencies));
        state->start();
        std::string why;
        gallery =
            GalleryWindow::create(GalleryWindowDependencies{loop.context(),
                                                            loop,
                                                            *gl,
                                                            *programs,
                                                            renderer,
                                                            store,
                                                            log,
                                                            *state,
                                                            [this] { ++settingsOpened; },
                                                            [] { return std::optional<double>(); },
                                                            {}},
                                  &why);
        ASSERT_TRUE(gallery) << why;
        video.gallery = gallery.get();
    }
    void TearDown() override {
        video.gallery = nullptr;
        gallery.reset();
        state.reset();
    }

    bool drawn(const std::string& name) { return gallery->ui().itemRect(name).has_value(); }
    // Clicks the middle of the item as drawn in the last frame, then waits for the frames
    // that see the press and the release.
    void click(const std::string& name) {
        ASSERT_TRUE(runUntil(loop, [&] { return drawn(name); })) << name;
        ImVec2 at = gallery->ui().itemRect(name)->GetCenter();
        ASSERT_EQ(xvfb.run({"xdotool", "mousemove", "--window", std::to_string(gallery->xWindow()),
                            std::to_string(int(at.x)), std::to_string(int(at.y)), "click", "1"}),
                  0);
        const auto frames = gallery->framesDrawn();
        ASSERT_TRUE(runUntil(loop, [&] { return gallery->framesDrawn() > frames + 3; }));
    }

    test::Journal journal;
    test::MemoryPreferencesStore store{&journal};
    test::FakeScreens screens{&journal};
    test::FakeDesktop desktop{&journal};
    GuideInTheGallery video;
    std::unique_ptr<AppState> state;
    std::unique_ptr<GalleryWindow> gallery;
    int settingsOpened = 0;
};

// Switching the live lock screen on asks for the guide from inside the gallery's own
// frame: it opens after that frame (not a frame inside it, which aborts), and both of
// its buttons work.
TEST_F(GalleryWindowTest, TheGuideOpensFromASwitchInTheGalleryAndBothButtonsWork) {
    gallery->show();
    click("rail:settings");
    click("settings:Live Lock Screen (beta)");
    ASSERT_TRUE(state->settings().liveLockVideo);
    click("guide:Open Background Settings");
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(runUntil(loop, [&] { return !drawn("guide:Later"); }));

    click("rail:settings");                     // the dialog closed the settings
    click("settings:Live Lock Screen (beta)");  // off
    click("settings:Live Lock Screen (beta)");  // on: the guide again
    click("guide:Later");
    EXPECT_TRUE(runUntil(loop, [&] { return !drawn("guide:Later"); }));
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(gallery->shown());
}

// Key taps shorter than a frame (a press and release that both fall between two frames,
// as xdotool sends them) reach the interface: arrows browse, Return sets the effect.
TEST_F(GalleryWindowTest, KeyTapsShorterThanAFrameAreSeen) {
    gallery->show();
    ASSERT_TRUE(runUntil(loop, [&] { return gallery->framesDrawn() > 2; }));
    XSetInputFocus(display(), gallery->xWindow(), RevertToParent, CurrentTime);
    sync();
    const std::int64_t start = state->browseIndex();
    for (const char* key : {"Right", "Right", "Left"}) {
        ASSERT_EQ(xvfb.run({"xdotool", "key", key}), 0);
        const auto frames = gallery->framesDrawn();
        ASSERT_TRUE(runUntil(loop, [&] { return gallery->framesDrawn() > frames + 2; }));
    }
    EXPECT_EQ(state->browseIndex(), start + 1);
    ASSERT_EQ(xvfb.run({"xdotool", "key", "Return"}), 0);
    EXPECT_TRUE(runUntil(
        loop, [&] { return state->settings().globalShaderID == state->browsedEffect().id; }));
}

// Xvfb runs no compositor: the server's shape alone cuts the corners, and the interface
// rounds its drawing to match.
TEST_F(GalleryWindowTest, CornersAreCutAwayWithoutACompositor) {
    gallery->show();
    sync();
    XWindowAttributes window{};
    ASSERT_TRUE(XGetWindowAttributes(display(), gallery->xWindow(), &window));
    int count = 0, ordering = 0;
    XRectangle* rects =
        XShapeGetRectangles(display(), gallery->xWindow(), ShapeBounding, &count, &ordering);
    auto shown = [&](int x, int y) {
        for (int i = 0; i < count; ++i)
            if (x >= rects[i].x && x < rects[i].x + rects[i].width && y >= rects[i].y &&
                y < rects[i].y + rects[i].height)
                return true;
        return false;
    };
    const int w = window.width, h = window.height;
    EXPECT_FALSE(shown(0, 0));
    EXPECT_FALSE(shown(w - 1, h - 1));
    EXPECT_TRUE(shown(w / 2, 0));
    EXPECT_TRUE(shown(0, h / 2));
    EXPECT_TRUE(shown(w - 9, h - 9));
    EXPECT_TRUE(gallery->roundedCorners());
    if (rects) XFree(rects);
}

// Made when first shown and released once it has stayed hidden: a Tavel started at login
// holds no gallery, and one closed gives back what it held.
TEST_F(GalleryWindowTest, TheGalleryExistsOnlyWhileItIsWanted) {
    video.gallery = nullptr;
    gallery.reset();
    int made = 0, released = 0;
    LazyGallery lazy(
        loop, log, true,
        [&](std::string* why) {
            ++made;
            return GalleryWindow::create(
                GalleryWindowDependencies{loop.context(),
                                          loop,
                                          *gl,
                                          *programs,
                                          renderer,
                                          store,
                                          log,
                                          *state,
                                          [] {},
                                          [] { return std::optional<double>(); },
                                          {}},
                why);
        },
        [&] { ++released; }, std::chrono::milliseconds(200));
    EXPECT_EQ(lazy.state(), "hidden");
    lazy.show();
    ASSERT_NE(lazy.window(), nullptr) << testing::PrintToString(log.lines());
    EXPECT_TRUE(runUntil(loop, [&] { return lazy.window()->framesDrawn() > 1; }));
    lazy.window()->close();
    lazy.show();  // shown again in time: the same window
    lazy.window()->close();
    EXPECT_TRUE(runUntil(loop, [&] { return lazy.window() == nullptr; }));
    EXPECT_EQ(made, 1);
    EXPECT_EQ(released, 1);
    lazy.show();
    ASSERT_NE(lazy.window(), nullptr);
    EXPECT_TRUE(lazy.window()->shown());
    EXPECT_EQ(made, 2);
}

}  // namespace
}  // namespace tavel

namespace tavel {
namespace {

// Left alone, the window draws only as often as its budgeted pictures; input brings back
// its full rate for a second.
TEST(GalleryPacing, FullRateWhileUsedElseThePicturesRate) {
    using std::chrono::milliseconds;
    GalleryPacing pacing;
    int drawn = 0;
    // One second of 30 fps ticks from `from`, the pictures at `fps`: the frames drawn.
    auto second = [&](int from, std::int64_t fps) {
        drawn = 0;
        for (int tick = 0; tick < 30; ++tick)
            drawn += pacing.due(milliseconds(from + tick * 1000 / 30), fps, 30);
        return drawn;
    };
    pacing.wake(milliseconds(0));  // shown
    EXPECT_EQ(second(0, 7), 30);
    EXPECT_EQ(second(2000, 7), 8);    // every fourth tick, 7.5 frames a second
    EXPECT_EQ(second(3000, 30), 30);  // pictures at the window's own rate
    pacing.wake(milliseconds(5000));
    EXPECT_EQ(second(5000, 7), 30);
    EXPECT_EQ(second(6000, 7), 7);
}

}  // namespace
}  // namespace tavel
