// The looping movie encoder: what it writes, decoded back with FFmpeg, and what it
// leaves behind when it fails. Frames are tiny so the suite stays quick.

#include "app/integration/lock_video_renderer.h"
#include "app/integration/movie_exporter.h"
#include "cli/arguments.h"

#include "support/movie_reader.h"
#include "support/render_helpers.h"
#include "support/temp_dir.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace tavel {
namespace {

using test::slurp;

constexpr int kWidth = 64, kHeight = 36;
// Mean luma difference that the encoder may add to a frame at this bit rate.
constexpr double kCodecNoise = 0.5;

std::set<std::string> filesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return names;
}

TEST(LockVideoFrames, CountIsSecondsTimesFpsTruncated) {
    struct Case {
        double seconds;
        int fps;
        std::int64_t frames;
    };
    for (const Case& c :
         std::vector<Case>{{20, 30, 600}, {0.5, 25, 12}, {0, 30, 0}, {0.03, 25, 0}, {5, 30, 150}})
        EXPECT_EQ(LockVideoRenderer::frameCount(c.seconds, c.fps), c.frames)
            << c.seconds << " s at " << c.fps;
}

// Forward to seconds/2 at the middle and back, so frames i and n - i share their time.
TEST(LockVideoFrames, TimeRunsForwardToTheMiddleAndBack) {
    struct Case {
        std::int64_t i, n;
        double seconds;
        float time;
    };
    for (const Case& c : std::vector<Case>{{0, 600, 20, 0},
                                           {300, 600, 20, 10},
                                           {150, 600, 20, 5},
                                           {450, 600, 20, 5},
                                           {599, 600, 20, 10.0f / 300},
                                           {1, 12, 0.5, 0.25f / 6},
                                           {11, 12, 0.5, 0.25f / 6},
                                           {6, 12, 0.5, 0.25f}})
        EXPECT_FLOAT_EQ(LockVideoRenderer::frameTime(c.i, c.n, c.seconds), c.time)
            << c.i << " of " << c.n;
}

TEST(LockVideoFrames, ArgumentsThatCannotMakeAMovieAreRefusedBeforeAnyFile) {
    test::TempDir dir;
    MemoryLogSink log;
    struct Case {
        int width, height;
        double seconds;
        int fps;
    };
    const double nan = std::nan("");
    for (const Case& c : std::vector<Case>{{63, 36, 1, 25},
                                           {64, 36, 1, 0},
                                           {64, 36, -1, 25},
                                           {64, 36, nan, 25},
                                           {64, 36, 1e9, 30}}) {
        EXPECT_THROW(LockVideoRenderer::generate(*shaderEffect("halvane"), {}, c.width, c.height,
                                                 c.seconds, c.fps, dir / "x.mov", {}, log),
                     std::invalid_argument)
            << c.width << "x" << c.height << ", " << c.seconds << " s at " << c.fps;
    }
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

class LockVideoTest : public test::RenderTest {
protected:
    test::TempDir dir;
    const ShaderEffect effect = *shaderEffect("halvane");
    // Red tells the effect time (0.2 + time), green and blue are ramps: a frame shown
    // at the wrong time, or converted with the wrong colour matrix, looks clearly off.
    const ShaderEffect clock = test::customEffect("Clock", R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    return vec4(0.2 + u.time, 0.3 + 0.5 * v.uv.x, 0.6 * v.uv.y, 1.0);
})");

    void generate(const ShaderEffect& which, double seconds, int fps,
                  const std::filesystem::path& destination,
                  const std::function<void(double)>& progress = {}) {
        LockVideoRenderer::generate(which, params(), kWidth, kHeight, seconds, fps, destination,
                                    progress, log());
    }
    // Twice the speed: the clock's red runs from 0.2 to 0.7 over a 0.5 s movie.
    static ShaderParams params() {
        ShaderParams p;
        p.speed = 2;
        return p;
    }

    test::DecodedMovie read(const std::filesystem::path& path) {
        std::string error;
        auto movie = test::readMovie(path, error);
        if (!movie) ADD_FAILURE() << path << ": " << error;
        return movie.value_or(test::DecodedMovie{});
    }

    // The luma a player should show for effect time `time`, rendered directly.
    std::vector<std::uint8_t> expectedLuma(const ShaderEffect& which, float time) {
        std::vector<std::uint8_t> bgra(std::size_t(kWidth) * kHeight * 4);
        EXPECT_TRUE(
            renderer().renderBGRA(which, params(), kWidth, kHeight, time, bgra.data(), kWidth * 4));
        return test::lumaOfBgra(bgra, kWidth, kHeight);
    }
};

TEST_F(LockVideoTest, WritesALoopingHevcMovieFrameByFrame) {
    std::vector<double> progress;
    bool elsewhere = false;
    const auto caller = std::this_thread::get_id();
    generate(clock, 0.5, 25, dir / "loop.mov", [&](double done) {
        progress.push_back(done);
        elsewhere |= std::this_thread::get_id() != caller;
    });

    test::DecodedMovie movie = read(dir / "loop.mov");
    EXPECT_EQ(movie.codec, "hevc");
    EXPECT_EQ(movie.tag, "hvc1");
    EXPECT_EQ(movie.streams, 1);
    EXPECT_EQ(movie.width, kWidth);
    EXPECT_EQ(movie.height, kHeight);
    EXPECT_EQ(movie.timeBaseNum, 1);
    EXPECT_EQ(movie.timeBaseDen, 25);
    EXPECT_NEAR(movie.seconds, 12 / 25.0, 1e-6);
    EXPECT_EQ(movie.packetDurations, std::vector<std::int64_t>(12, 1));
    ASSERT_EQ(movie.luma.size(), 12u);

    std::vector<double> expected;
    for (int i = 1; i <= 12; ++i) expected.push_back(i / 12.0);
    EXPECT_EQ(progress, expected);
    EXPECT_FALSE(elsewhere) << "progress must come on the calling thread";

    // Each frame shows its own effect time, so the end leads back into the start.
    for (int i = 0; i < 12; ++i)
        EXPECT_LT(test::meanAbsoluteDifference(
                      movie.luma[i], expectedLuma(clock, LockVideoRenderer::frameTime(i, 12, 0.5))),
                  kCodecNoise)
            << "frame " << i;
    for (int i = 1; i < 12; ++i)
        EXPECT_LT(test::meanAbsoluteDifference(movie.luma[i], movie.luma[12 - i]), kCodecNoise)
            << "frames " << i << " and " << 12 - i;
    // The clock visibly moves: equal pairs are not equal by accident.
    EXPECT_GT(test::meanAbsoluteDifference(movie.luma[0], movie.luma[6]), 10 * kCodecNoise);
}

// 0.03 s at 25 fps is 0.75 frames: the movie is finished with none, and it is complete.
TEST_F(LockVideoTest, ZeroFramesMakeACompleteEmptyMovie) {
    int calls = 0;
    generate(effect, 0.03, 25, dir / "empty.mov", [&](double) { ++calls; });
    EXPECT_EQ(calls, 0);
    test::DecodedMovie movie = read(dir / "empty.mov");
    EXPECT_TRUE(movie.luma.empty());
    EXPECT_EQ(movie.seconds, 0);
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"empty.mov"});
}

// A single frame still lasts one frame's time (no later frame ends it).
TEST_F(LockVideoTest, ReplacesAnExistingFileAndLeavesNothingElse) {
    std::ofstream(dir / "loop.mov") << "an older movie";
    generate(effect, 0.04, 25, dir / "loop.mov");
    test::DecodedMovie movie = read(dir / "loop.mov");
    EXPECT_EQ(movie.luma.size(), 1u);
    EXPECT_EQ(movie.packetDurations, std::vector<std::int64_t>{1});
    EXPECT_NEAR(movie.seconds, 0.04, 1e-6);
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"loop.mov"});
}

// Whatever fails, an earlier movie stays as it was and no half file is left.
TEST_F(LockVideoTest, FailuresKeepTheEarlierFileAndLeaveNoOther) {
    const ShaderEffect broken =
        test::customEffect("Broken Glass", "vec4 fragmentMain(VSOut v, Uniforms u) { x }");
    std::filesystem::create_directory(dir / "taken");
    struct Case {
        const char* what;
        const ShaderEffect& effect;
        std::filesystem::path destination;
        LockVideoError::Code code;
    };
    for (const Case& c : std::vector<Case>{
             {"a program that does not build", broken, dir / "keep.mov",
              LockVideoError::kRenderFailed},
             {"a missing folder", effect, dir / "gone" / "x.mov", LockVideoError::kNotStarted},
             {"a folder in the way", effect, dir / "taken", LockVideoError::kNotCompleted}}) {
        std::ofstream(dir / "keep.mov") << "an older movie";
        try {
            generate(c.effect, 0.2, 25, c.destination);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const LockVideoError& error) {
            EXPECT_STREQ(error.domain(), "LockVideo");
            EXPECT_EQ(error.code(), c.code) << c.what << ": " << error.what();
        }
        EXPECT_EQ(slurp(dir / "keep.mov"), "an older movie") << c.what;
        EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"keep.mov", "taken"})) << c.what;
        EXPECT_TRUE(std::filesystem::is_empty(dir / "taken")) << c.what;
    }
    auto lines = takeLog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("Tavel: icon pipeline failed for Broken Glass: ")) << lines[0];
}

// A caller that gives up (its progress function throws) gets its error back at once,
// the render thread stops although the queue is full, and no file stays.
TEST_F(LockVideoTest, AnErrorFromProgressEndsTheRunAndRemovesTheFile) {
    struct GiveUp {};
    int calls = 0;
    EXPECT_THROW(generate(effect, 1, 25, dir / "loop.mov",
                          [&](double) {
                              if (++calls == 2) throw GiveUp{};
                          }),
                 GiveUp);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

// The application's movies come from the exporter program: its progress reaches the
// caller, its parameters read back as given, its failure is an exception with its words,
// and a stop asked for midway ends it with nothing written.
TEST(MovieExporter, RunsTheExporterAndReportsItsProgress) {
    test::TempDir dir;
    ShaderParams params;
    params.hue = 0.1f + 1e-7f;
    params.custom1 = 1.0f / 3.0f;
    params.accent = std::vector<float>{0.2f, 0.7f, 1.0f};
    ShaderParams back;
    std::vector<std::string> args = paramArguments(params);
    for (std::size_t i = 1; i < args.size(); i += 2) ASSERT_EQ(cli::applyParam(args[i], back), "");
    EXPECT_EQ(back, params);

    const ShaderEffect tiles = *shaderEffect("tiles");
    std::vector<double> progress;
    exportThroughExporter(TAVEL_EXPORTER, tiles, params, kWidth, kHeight, 0.5, 10, dir / "loop.mov",
                          [&](double p) { progress.push_back(p); });
    EXPECT_EQ(progress, (std::vector<double>{0.2, 0.4, 0.6, 0.8, 1}));
    std::string error;
    auto movie = test::readMovie(dir / "loop.mov", error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->luma.size(), 5u);

    EXPECT_THROW(
        exportThroughExporter(TAVEL_EXPORTER, tiles, params, kWidth, kHeight, 1, 10,
                              dir / "stopped.mov", [](double) { throw std::logic_error("stop"); }),
        std::logic_error);
    try {
        exportThroughExporter(TAVEL_EXPORTER, tiles, params, kWidth, kHeight, 1, 10,
                              dir / "missing" / "x.mov", {});
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& failure) {
        EXPECT_NE(std::string(failure.what()), "") << failure.what();
    }
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"loop.mov"}));
}

}  // namespace
}  // namespace tavel
