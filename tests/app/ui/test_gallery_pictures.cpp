// The gallery's effect pictures: textures drawn with the desktop views' context and
// programs on a real Xvfb with Mesa, their glass blur, pacing, and the still mode.

#include "platform/x11/glx_loop_fixture.h"  // before X11 headers: see there

#include "app/ui/host/gallery_pictures.h"

#include <epoxy/gl.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace tavel {
namespace {

using test::runUntil;

TEST(GalleryPictures, StillModeOnlyForExactlyOne) {
    EXPECT_TRUE(isStaticPreviewValue("1"));
    for (const char* value : {"", "0", " 1", "1 ", "yes", "true", "11"})
        EXPECT_FALSE(isStaticPreviewValue(value)) << value;
    EXPECT_FALSE(isStaticPreviewValue(nullptr));
}

// Pictures keep their own rate inside the gallery's frames, which jitter by a few
// milliseconds: a stage at the gallery's rate must not fall to every other frame.
TEST(GalleryPictures, PacedTimerKeepsItsRateInsideJitteryFrames) {
    struct Case {
        double fps;
        int expected;
    };
    for (Case c : {Case{30, 30}, Case{12, 12}, Case{60, 30}}) {
        DrivenFrameTimer timer;
        int ticks = 0;
        timer.start(c.fps, [&] { ++ticks; });
        for (int frame = 0; frame < 30; ++frame)
            timer.pump(frame / 30.0 + ((frame % 3) - 1) * 0.002);
        EXPECT_NEAR(ticks, c.expected, 1) << c.fps;
        timer.stop();
        timer.pump(5.0);
        EXPECT_NEAR(ticks, c.expected, 1) << "stopped";
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
    // Asks for a picture in every gallery frame until one comes back.
    ImTextureID waitForPicture(const std::string& slot, const ShaderEffect& effect,
                               const ShaderParams& params, int width, int height) {
        ImTextureID texture = nullptr;
        runUntil(loop, [&] {
            texture = pictures->picture(slot, effect, params, 30, width, height);
            pictures->endFrame();
            return texture != nullptr;
        });
        return texture;
    }
    // The texture's pixels, RGBA.
    std::vector<std::uint8_t> pixels(ImTextureID texture, int width, int height) {
        std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
        gl->makeCurrent(drawable);
        glBindTexture(GL_TEXTURE_2D,
                      static_cast<GLuint>(reinterpret_cast<std::uintptr_t>(texture)));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return rgba;
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
// desktop would use, blurred at a quarter of the size, and let go once not asked for.
TEST_F(GalleryPicturesGl, LivePicturesShareProgramsBlurAndGoWhenNotAsked) {
    make(false);
    const ShaderEffect effect = *shaderEffect("halvane");
    // One gallery frame asks for both, until both have been drawn.
    ImTextureID stage = nullptr, thumb = nullptr;
    runUntil(loop, [&] {
        stage = pictures->picture("stage", effect, ShaderParams(), 30, 64, 40);
        thumb = pictures->picture("thumb", effect, ShaderParams(), 12, 24, 16);
        pictures->endFrame();
        return stage && thumb;
    });
    ASSERT_TRUE(stage && thumb);
    EXPECT_NE(thumb, stage);
    EXPECT_EQ(programs->buildCount(), 1u);

    auto lit = [](const std::vector<std::uint8_t>& rgba) {
        std::size_t count = 0;
        for (std::size_t i = 0; i < rgba.size(); i += 4)
            count += rgba[i] + rgba[i + 1] + rgba[i + 2] > 24;
        return double(count) / double(rgba.size() / 4);
    };
    EXPECT_GT(lit(pixels(stage, 64, 40)), 0.2);
    ImTextureID blurred = pictures->blurred("stage");
    ASSERT_NE(blurred, nullptr);
    auto soft = pixels(blurred, 16, 10);
    EXPECT_GT(lit(soft), 0.2);
    EXPECT_EQ(pictures->blurred("nothing here"), nullptr);

    EXPECT_EQ(pictures->liveSlots(), 2u);
    pictures->picture("stage", effect, ShaderParams(), 30, 64, 40);
    pictures->endFrame();
    EXPECT_EQ(pictures->liveSlots(), 1u);  // the thumbnail was not asked for
    pictures->endFrame();
    EXPECT_EQ(pictures->liveSlots(), 0u);
}

// Live pictures draw at full resolution, or at the CPU budget's lower scale, stretched
// over the whole picture.
TEST_F(GalleryPicturesGl, LivePicturesDrawAtTheBudgetsScale) {
    const ShaderEffect effect = *shaderEffect("halvane");
    for (bool limited : {false, true}) {
        SCOPED_TRACE(limited);
        if (limited)
            budgeted = [](ViewLimits wish) {
                return ViewLimits{wish.scale * 0.5, std::min<std::int64_t>(wish.fps, 10)};
            };
        make(false);
        recorder.sizes.clear();
        ImTextureID stage = waitForPicture("stage", effect, ShaderParams(), 64, 40);
        ASSERT_NE(stage, nullptr);
        ASSERT_FALSE(recorder.sizes.empty());
        const std::array<int, 4> expected =
            limited ? std::array<int, 4>{32, 20, 64, 40} : std::array<int, 4>{64, 40, 64, 40};
        EXPECT_EQ(recorder.sizes.back(), expected);
    }
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
    EXPECT_EQ(waitForPicture("stage", effect, ShaderParams(), 64, 40) != nullptr, true);
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
