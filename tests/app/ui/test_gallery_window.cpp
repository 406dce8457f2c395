// The real gallery window on Xvfb, drawn with the desktop views' GLX context and clicked
// with xdotool, over an application state wired to fakes on the real main loop.

#include "platform/x11/glx_loop_fixture.h"  // before X11 headers: see there

#include "app/core/app_state.h"
#include "app/ui/gallery/gallery_ui.h"
#include "app/ui/host/gallery_window.h"
#include "app/ui/host/lazy_gallery.h"
#include "support/fakes.h"

#include <X11/extensions/shape.h>

#include <algorithm>
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
    std::unique_ptr<GalleryWindow> create(std::string* why) {
        return GalleryWindow::create({loop.context(),
                                      loop,
                                      *gl,
                                      *programs,
                                      renderer,
                                      store,
                                      log,
                                      *state,
                                      openSettings,
                                      {},
                                      {}},
                                     why);
    }
    bool drawn(const std::string& name) { return gallery->ui().itemRect(name).has_value(); }
    void waitFrames(long count) {
        const auto frames = gallery->framesDrawn();
        ASSERT_TRUE(runUntil(loop, [&] { return gallery->framesDrawn() > frames + count; }));
    }
    // Clicks the middle of the item as drawn in the last frame, as a person does.
    void click(const std::string& name) {
        ASSERT_TRUE(runUntil(loop, [&] { return drawn(name); })) << name;
        ImVec2 at = gallery->ui().itemRect(name)->GetCenter();
        ASSERT_EQ(xvfb.run({"xdotool", "mousemove", "--window", std::to_string(gallery->xWindow()),
                            std::to_string(int(at.x)), std::to_string(int(at.y)), "click", "1"}),
                  0);
        waitFrames(3);  // the frames that see the press and the release
    }

    test::Journal journal;
    test::MemoryPreferencesStore store{&journal};
    test::FakeScreens screens{&journal};
    test::FakeDesktop desktop{&journal};
    GuideInTheGallery video;
    std::unique_ptr<AppState> state;  // declared before the window: goes after it
    std::unique_ptr<GalleryWindow> gallery;
    int settingsOpened = 0;
    std::function<void()> openSettings = [this] { ++settingsOpened; };
};

TEST_F(GalleryWindowTest, CornersKeyTapsTheGuideAndALifeOnlyWhileWanted) {
    screens.list = {ScreenRecord{1, "Left", Rect{0, 0, 1920, 1080}, 1.0}};
    AppStateDependencies faked = test::fakedDependencies(loop, store, screens, desktop, log);
    faked.integrations.video = &video;
    state = std::make_unique<AppState>(std::move(faked));
    state->start();
    std::string why;
    gallery = create(&why);
    ASSERT_TRUE(gallery) << why;
    video.gallery = gallery.get();
    gallery->show();
    ASSERT_TRUE(runUntil(loop, [&] { return gallery->framesDrawn() > 2; }));

    // Xvfb runs no compositor: the server's shape alone cuts the corners, and the
    // interface rounds its drawing to match.
    XWindowAttributes window{};
    ASSERT_TRUE(XGetWindowAttributes(display(), gallery->xWindow(), &window));
    int count = 0, ordering = 0;
    XRectangle* rects =
        XShapeGetRectangles(display(), gallery->xWindow(), ShapeBounding, &count, &ordering);
    auto shown = [&](int x, int y) {
        return std::any_of(rects, rects + count, [&](const XRectangle& r) {
            return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
        });
    };
    const int w = window.width, h = window.height;
    EXPECT_FALSE(shown(0, 0) || shown(w - 1, h - 1));
    EXPECT_TRUE(shown(w / 2, 0) && shown(0, h / 2) && shown(w - 9, h - 9));
    EXPECT_TRUE(gallery->roundedCorners());
    if (rects) XFree(rects);

    // Key taps shorter than a frame, as xdotool sends them, reach the interface.
    XSetInputFocus(display(), gallery->xWindow(), RevertToParent, CurrentTime);
    sync();
    const std::int64_t start = state->browseIndex();
    for (const char* key : {"Right", "Right", "Left"}) {
        ASSERT_EQ(xvfb.run({"xdotool", "key", key}), 0);
        waitFrames(2);
    }
    EXPECT_EQ(state->browseIndex(), start + 1);
    ASSERT_EQ(xvfb.run({"xdotool", "key", "Return"}), 0);
    EXPECT_TRUE(runUntil(
        loop, [&] { return state->settings().globalShaderID == state->browsedEffect().id; }));

    // The switch asks for the guide inside the gallery's own frame: it opens after that
    // frame (a frame inside it aborts), and both of its buttons work.
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

    // Made when first shown, released once it has stayed hidden, the same window when
    // shown again in time.
    video.gallery = nullptr;
    gallery.reset();
    int made = 0, released = 0;
    LazyGallery lazy(
        loop, log, true,
        [&](std::string* why) {
            ++made;
            return create(why);
        },
        [&] { ++released; }, std::chrono::milliseconds(200));
    EXPECT_EQ(lazy.state(), "hidden");
    lazy.show();
    ASSERT_NE(lazy.window(), nullptr) << testing::PrintToString(log.lines());
    EXPECT_TRUE(runUntil(loop, [&] { return lazy.window()->framesDrawn() > 1; }));
    lazy.window()->close();
    lazy.show();
    lazy.window()->close();
    EXPECT_TRUE(runUntil(loop, [&] { return lazy.window() == nullptr; }));
    EXPECT_EQ(made, 1);
    EXPECT_EQ(released, 1);
    lazy.show();
    ASSERT_NE(lazy.window(), nullptr);
    EXPECT_TRUE(lazy.window()->shown());
    EXPECT_EQ(made, 2);
}

// Left alone, the window draws only as often as its budgeted pictures; input brings back
// its full rate for a second.
TEST(GalleryPacing, FullRateWhileUsedElseThePicturesRate) {
    using std::chrono::milliseconds;
    GalleryPacing pacing;
    // One second of 30 fps ticks from `from`, the pictures at `fps`: the frames drawn.
    auto second = [&](int from, std::int64_t fps) {
        int drawn = 0;
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
