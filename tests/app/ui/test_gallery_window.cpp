// The gallery window and its effect pictures on Xvfb with Mesa, drawn with the desktop
// views' GLX context and programs; the window clicked with xdotool over a faked state.

#include "platform/x11/glx_loop_fixture.h"  // first: gtest before any X11 header

#include "app/core/app_state.h"
#include "app/ui/gallery/gallery_ui.h"
#include "app/ui/host/gallery_pictures.h"
#include "app/ui/host/gallery_window.h"
#include "app/ui/host/lazy_gallery.h"
#include "support/fakes.h"

#include <X11/extensions/shape.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

// Frames jitter by milliseconds: a picture at the gallery's rate must not drop to every other.
TEST(GalleryPictures, PacedTimerKeepsItsRateInsideJitteryFrames) {
    for (auto [fps, expected] : {std::pair{30.0, 30}, {12.0, 12}, {60.0, 30}}) {
        DrivenFrameTimer timer;
        int ticks = 0;
        timer.start(fps, [&] { ++ticks; });
        for (int frame = 0; frame < 30; ++frame)
            timer.pump(frame / 30.0 + ((frame % 3) - 1) * 0.002);
        EXPECT_NEAR(ticks, expected, 1) << fps;
        timer.stop();
        timer.pump(5.0);
        EXPECT_NEAR(ticks, expected, 1) << "stopped";
    }
}

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

// GLX, the program library and its compile thread as the application has them; a drawable.
class GalleryHostTest : public test::GlxLoopTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GlxLoopTest::SetUp());
        XSetWindowAttributes attributes{};
        attributes.colormap = XCreateColormap(display(), root(), gl->visual(), AllocNone);
        window = XCreateWindow(display(), root(), 0, 0, 8, 8, 0, gl->depth(), InputOutput,
                               gl->visual(), CWColormap, &attributes);
        drawable = gl->createDrawable(window);
        ASSERT_NE(drawable, 0u);
    }
    void TearDown() override {
        pictures.reset();
        if (gl && drawable) gl->destroyDrawable(drawable);
        if (window) XDestroyWindow(display(), window);
    }
    void make(bool stillMode) {
        pictures.emplace(
            GalleryPicturesServices{
                *programs, renderer,
                [this] { return std::chrono::duration<double>(loop.now()).count(); }, log,
                [this] { return gl->makeCurrent(drawable); },
                [this](const ShaderEffect& effect, const ShaderParams&,
                       std::function<void(std::optional<Image>)> done) {
                    stillsAsked.push_back(effect.id);
                    loop.post([done] { done(Image{4, 2, std::vector<std::uint8_t>(32, 200)}); });
                }},
            stillMode);
    }
    // Asks for a 64 x 40 stage (and a 24 x 16 thumbnail) each frame until they come back.
    ImTextureID waitForStage(const ShaderEffect& effect, ImTextureID* thumb = nullptr) {
        ImTextureID stage = nullptr;
        runUntil(loop, [&] {
            stage = pictures->picture("stage", effect, ShaderParams(), 30, 64, 40);
            if (thumb) *thumb = pictures->picture("thumb", effect, ShaderParams(), 12, 24, 16);
            pictures->endFrame();
            return stage && (!thumb || *thumb);
        });
        return stage;
    }
    // The share of the texture's pixels that are lit.
    double lit(ImTextureID texture, int width, int height) {
        std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
        gl->makeCurrent(drawable);
        glBindTexture(GL_TEXTURE_2D,
                      static_cast<GLuint>(reinterpret_cast<std::uintptr_t>(texture)));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        std::size_t count = 0;
        for (std::size_t i = 0; i < rgba.size(); i += 4)
            count += rgba[i] + rgba[i + 1] + rgba[i + 2] > 24;
        return double(count) / double(width * height);
    }

    // Declared so that what a test made goes before the programs, the context and the loop.
    Window window = 0;
    unsigned long drawable = 0;
    std::optional<LiveGalleryPictures> pictures;
    std::vector<std::string> stillsAsked;

    Result<std::unique_ptr<GalleryWindow>> create() {
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
                                      {}});
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

// One program serves desktop and pictures; the blur is a quarter size.
TEST_F(GalleryHostTest, LivePicturesShareProgramsBlurAndGoWhenNotAsked) {
    make(false);
    const ShaderEffect effect = *shaderEffect("halvane");
    ImTextureID thumb = nullptr;
    const ImTextureID stage = waitForStage(effect, &thumb);
    ASSERT_TRUE(stage && thumb);
    EXPECT_NE(thumb, stage);
    EXPECT_EQ(programs->buildCount(), 1u);
    EXPECT_GT(lit(stage, 64, 40), 0.2);
    EXPECT_GT(lit(pictures->blurred("stage"), 16, 10), 0.2);

    EXPECT_EQ(pictures->liveSlots(), 2u);
    pictures->picture("stage", effect, ShaderParams(), 30, 64, 40);
    pictures->endFrame();
    EXPECT_EQ(pictures->liveSlots(), 1u);  // the thumbnail was not asked for
}

// A still per effect for the run, rendered once and shared by every slot.
TEST_F(GalleryHostTest, StillsAreKeptOncePerEffect) {
    make(true);
    const ShaderEffect effect = *shaderEffect("tiles");
    EXPECT_EQ(pictures->picture("thumb", effect, ShaderParams(), 12, 24, 16), nullptr);
    EXPECT_NE(waitForStage(effect), nullptr);
    ShaderParams edited;
    edited.hue = 90;
    ImTextureID stage = pictures->picture("stage", effect, edited, 30, 64, 40);
    EXPECT_EQ(pictures->picture("thumb", effect, edited, 12, 24, 16), stage);
    EXPECT_EQ(pictures->aspect("thumb"), 2.0f);  // the still's own 4 x 2, not the slot's
    EXPECT_EQ(stillsAsked.size(), 1u);
    EXPECT_NE(pictures->blurred("stage"), nullptr);
    EXPECT_EQ(programs->buildCount(), 0u);  // nothing live was drawn
}

TEST_F(GalleryHostTest, CornersKeyTapsTheGuideAndALifeOnlyWhileWanted) {
    screens.list = {ScreenRecord{1, "Left", Rect{0, 0, 1920, 1080}, 1.0}};
    AppStateDependencies faked = test::fakedDependencies(loop, store, screens, desktop, log);
    faked.integrations.video = &video;
    state = std::make_unique<AppState>(std::move(faked));
    state->start();
    auto opened = create();
    ASSERT_TRUE(opened) << opened.why();
    gallery = std::move(*opened);
    video.gallery = gallery.get();
    gallery->show();
    ASSERT_TRUE(runUntil(loop, [&] { return gallery->framesDrawn() > 2; }));

    // Xvfb runs no compositor: the server's shape alone cuts the corners.
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

    // The switch asks for the guide inside a frame: it opens after it (inside, ImGui aborts).
    click("rail:settings");
    click("settings:Live Lock Screen (beta)");
    ASSERT_TRUE(state->settings().liveLockVideo);
    click("guide:Open Background Settings");
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(runUntil(loop, [&] { return !drawn("guide:Later"); }));
    EXPECT_TRUE(gallery->shown());

    // Made when first shown, released once it stayed hidden.
    video.gallery = nullptr;
    gallery.reset();
    int released = 0;
    LazyGallery lazy(
        loop, log, true, [this] { return create(); }, [&] { ++released; },
        std::chrono::milliseconds(200));
    lazy.show();
    ASSERT_NE(lazy.window(), nullptr) << testing::PrintToString(log.lines());
    EXPECT_TRUE(runUntil(loop, [&] { return lazy.window()->framesDrawn() > 1; }));
    lazy.window()->close();
    EXPECT_TRUE(runUntil(loop, [&] { return lazy.window() == nullptr; }));
    EXPECT_EQ(released, 1);
    lazy.show();
    ASSERT_NE(lazy.window(), nullptr);
    EXPECT_TRUE(lazy.window()->shown());
}

}  // namespace
}  // namespace tavel
