// The gallery's effect pictures, drawn with the desktop views' context and programs on
// Xvfb with Mesa: their blur, pacing, and the still mode.

#include "platform/x11/glx_loop_fixture.h"  // before X11 headers: see there

#include "app/ui/host/gallery_pictures.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

TEST(GalleryPictures, StillModeOnlyForExactlyOne) {
    EXPECT_TRUE(isStaticPreviewValue("1"));
    for (const char* value : {"", "0", " 1", "1 ", "yes", "true", "11", (const char*)nullptr})
        EXPECT_FALSE(isStaticPreviewValue(value)) << (value ? value : "null");
}

// Pictures keep their own rate inside the gallery's frames, which jitter by a few
// milliseconds: a stage at the gallery's rate must not fall to every other frame.
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

// The real renderer, noting each frame's drawable and surface sizes.
class RecordingRenderer final : public FrameRenderer {
public:
    explicit RecordingRenderer(FrameRenderer& real) : real_(real) {}
    void drawFrame(unsigned program, int location, const Uniforms& uniforms, int drawableWidth,
                   int drawableHeight, int surfaceWidth, int surfaceHeight, float fade) override {
        sizes.push_back({drawableWidth, drawableHeight, surfaceWidth, surfaceHeight});
        real_.drawFrame(program, location, uniforms, drawableWidth, drawableHeight, surfaceWidth,
                        surfaceHeight, fade);
    }
    std::vector<std::array<int, 4>> sizes;

private:
    FrameRenderer& real_;
};

class GalleryPicturesGl : public test::GlxLoopTest {
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
        pictures.emplace(GalleryPicturesServices{
                             *programs, recorder,
                             [this] { return std::chrono::duration<double>(loop.now()).count(); },
                             log, [this] { return gl->makeCurrent(drawable); },
                             [this](const ShaderEffect& effect, const ShaderParams&,
                                    std::function<void(std::optional<Image>)> done) {
                                 stillsAsked.push_back(effect.id);
                                 std::optional<Image> image;
                                 if (!failStills)
                                     image = Image{4, 2, std::vector<std::uint8_t>(32, 200)};
                                 loop.post([done, image] { done(image); });
                             },
                             budgeted},
                         stillMode);
    }
    // Asks for a 64 x 40 stage (and a 24 x 16 thumbnail) in every gallery frame until
    // they come back.
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

    Window window = 0;
    unsigned long drawable = 0;
    RecordingRenderer recorder{renderer};
    std::function<ViewLimits(ViewLimits)> budgeted;
    std::optional<LiveGalleryPictures> pictures;
    std::vector<std::string> stillsAsked;
    bool failStills = false;
};

// The stage and a thumbnail of one effect: drawn into textures with the one program the
// desktop would use, blurred at a quarter of the size, let go once not asked for, and under
// the CPU budget drawn at its lower scale, stretched.
TEST_F(GalleryPicturesGl, LivePicturesShareProgramsBlurFollowTheBudgetAndGoWhenNotAsked) {
    make(false);
    const ShaderEffect effect = *shaderEffect("halvane");
    ImTextureID thumb = nullptr;
    const ImTextureID stage = waitForStage(effect, &thumb);
    ASSERT_TRUE(stage && thumb);
    EXPECT_NE(thumb, stage);
    EXPECT_EQ(programs->buildCount(), 1u);
    EXPECT_TRUE(std::ranges::count(recorder.sizes, std::array<int, 4>{64, 40, 64, 40}));
    EXPECT_GT(lit(stage, 64, 40), 0.2);
    EXPECT_GT(lit(pictures->blurred("stage"), 16, 10), 0.2);
    EXPECT_EQ(pictures->blurred("nothing here"), nullptr);

    EXPECT_EQ(pictures->liveSlots(), 2u);
    pictures->picture("stage", effect, ShaderParams(), 30, 64, 40);
    pictures->endFrame();
    EXPECT_EQ(pictures->liveSlots(), 1u);  // the thumbnail was not asked for
    pictures->endFrame();
    EXPECT_EQ(pictures->liveSlots(), 0u);

    budgeted = [](ViewLimits wish) {
        return ViewLimits{wish.scale * 0.5, std::min<std::int64_t>(wish.fps, 10)};
    };
    make(false);
    recorder.sizes.clear();
    ASSERT_NE(waitForStage(effect), nullptr);
    EXPECT_EQ(recorder.sizes.back(), (std::array<int, 4>{32, 20, 64, 40}));
}

// Stills: one per effect for the run, shared by every slot, not following later edits;
// a failed one is tried again at the next request.
TEST_F(GalleryPicturesGl, StillsAreKeptOncePerEffectAndFailuresRetried) {
    make(true);
    const ShaderEffect effect = *shaderEffect("tiles");
    failStills = true;
    EXPECT_EQ(pictures->picture("stage", effect, ShaderParams(), 30, 64, 40), nullptr);
    EXPECT_EQ(pictures->picture("thumb", effect, ShaderParams(), 12, 24, 16), nullptr);
    runUntil(
        loop, [&] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(stillsAsked.size(), 1u);  // one render at a time per effect
    failStills = false;
    EXPECT_NE(waitForStage(effect), nullptr);
    EXPECT_EQ(stillsAsked.size(), 2u);
    ShaderParams edited;
    edited.hue = 90;
    ImTextureID stage = pictures->picture("stage", effect, edited, 30, 64, 40);
    EXPECT_EQ(pictures->picture("thumb", effect, edited, 12, 24, 16), stage);
    EXPECT_EQ(pictures->aspect("thumb"), 2.0f);  // the still's own 4 x 2, not the slot's
    EXPECT_EQ(stillsAsked.size(), 2u);
    EXPECT_EQ(pictures->stills(), 1u);
    EXPECT_NE(pictures->blurred("stage"), nullptr);
    EXPECT_EQ(programs->buildCount(), 0u);  // nothing live was drawn
}

}  // namespace
}  // namespace tavel
