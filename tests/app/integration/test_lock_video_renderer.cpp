// The looping movie encoder and exporter program, decoded back with FFmpeg (bad arguments: cli).

#include "app/integration/lock_video_renderer.h"
#include "app/integration/movie_exporter.h"

#include "support/movie_reader.h"
#include "support/render_helpers.h"
#include "support/temp_dir.h"

#include <cmath>
#include <fstream>
#include <set>
#include <thread>

namespace tavel {
namespace {

constexpr int kWidth = 64, kHeight = 36;
// Mean luma difference that the encoder may add to a frame at this bit rate.
constexpr double kCodecNoise = 0.5;

class LockVideoTest : public test::RenderTest {
protected:
    test::TempDir dir;
    const ShaderEffect tiles = *shaderEffect("tiles");
    // Red is 0.2 + time, green and blue ramps: a wrong time or colour matrix shows clearly.
    const ShaderEffect clock = test::customEffect("Clock", R"(
vec4 fragmentMain(VSOut v, Uniforms u) {
    return vec4(0.2 + u.time, 0.3 + 0.5 * v.uv.x, 0.6 * v.uv.y, 1.0);
})");
    // Twice the speed: the clock's red runs from 0.2 to 0.7 in 0.5 s.
    ShaderParams params{2, 1, 1, 0, {}, {}, {}, {}};

    void generate(const ShaderEffect& which, double seconds, const std::filesystem::path& to,
                  const std::function<void(double)>& progress = {}) {
        LockVideoRenderer::generate(which, params, kWidth, kHeight, seconds, 25, to, progress,
                                    log());
    }
    std::set<std::string> files() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.insert(entry.path().filename());
        return names;
    }
    test::DecodedMovie read(const std::string& name) {
        test::DecodedMovie movie = test::readMovie(dir / name);
        EXPECT_EQ(movie.error, "") << name;
        return movie;
    }
    // The luma of `which` rendered directly at `seconds` of wall-clock time.
    std::vector<std::uint8_t> expectedLuma(const ShaderEffect& which, double seconds) {
        std::vector<std::uint8_t> bgra(std::size_t(kWidth) * kHeight * 4);
        EXPECT_TRUE(renderer().renderBGRA(which, params, kWidth, kHeight, float(seconds),
                                          bgra.data(), kWidth * 4));
        return test::lumaOfBgra(bgra, kWidth, kHeight);
    }
};

// 0.5 s at 25 fps is 12 frames, time running to the middle and back.
TEST_F(LockVideoTest, WritesALoopingHevcMovieFrameByFrame) {
    std::vector<double> progress;
    bool elsewhere = false;
    const auto caller = std::this_thread::get_id();
    generate(clock, 0.5, dir / "loop.mov", [&](double done) {
        progress.push_back(done);
        elsewhere |= std::this_thread::get_id() != caller;
    });

    test::DecodedMovie movie = read("loop.mov");
    EXPECT_EQ(movie.codec, "hevc");
    EXPECT_EQ(movie.tag, "hvc1");
    EXPECT_NEAR(movie.seconds, 12 / 25.0, 1e-6);
    ASSERT_EQ(movie.luma.size(), 12u);

    std::vector<double> expected;
    for (int i = 1; i <= 12; ++i) expected.push_back(i / 12.0);
    EXPECT_EQ(progress, expected);
    EXPECT_FALSE(elsewhere) << "progress must come on the calling thread";

    for (int i = 0; i < 12; ++i) {
        const double time = 0.25 * (1 - std::abs(1 - i / 6.0));
        EXPECT_LT(test::meanAbsoluteDifference(movie.luma[i], expectedLuma(clock, time)),
                  kCodecNoise)
            << "frame " << i;
    }
    // The clock visibly moves: the frames above are not alike by accident.
    EXPECT_GT(test::meanAbsoluteDifference(movie.luma[0], movie.luma[6]), 10 * kCodecNoise);
}

// Whatever fails, an earlier movie stays as it was and no half file is left.
TEST_F(LockVideoTest, FailuresKeepTheEarlierFileAndLeaveNoOther) {
    const ShaderEffect broken =
        test::customEffect("Broken Glass", "vec4 fragmentMain(VSOut v, Uniforms u) { x }");
    std::filesystem::create_directory(dir / "taken");
    const struct {
        const char* what;
        const ShaderEffect& effect;
        std::filesystem::path destination;
        LockVideoError::Code code;
    } cases[] = {
        {"a program that does not build", broken, dir / "keep.mov", LockVideoError::kRenderFailed},
        {"a missing folder", tiles, dir / "gone" / "x.mov", LockVideoError::kNotStarted},
        {"a folder in the way", tiles, dir / "taken", LockVideoError::kNotCompleted},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "keep.mov") << "an older movie";
        try {
            generate(c.effect, 0.2, c.destination);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const LockVideoError& error) {
            EXPECT_EQ(error.code(), c.code) << c.what << ": " << error.what();
        }
        EXPECT_EQ(test::slurp(dir / "keep.mov"), "an older movie") << c.what;
        EXPECT_EQ(files(), (std::set<std::string>{"keep.mov", "taken"})) << c.what;
        EXPECT_TRUE(std::filesystem::is_empty(dir / "taken")) << c.what;
    }
    EXPECT_EQ(takeLog().size(), 1u);
}

// Frames, progress and failures cross the exporter program; a stop leaves nothing.
TEST_F(LockVideoTest, TheExporterProgramWritesTheSameMovie) {
    auto exportTo = [&](const std::filesystem::path& to, double seconds,
                        const std::function<void(double)>& progress) {
        exportThroughExporter(TAVEL_EXPORTER, tiles, params, kWidth, kHeight, seconds, 25, to,
                              progress);
    };
    std::vector<double> progress;
    exportTo(dir / "loop.mov", 0.2, [&](double p) { progress.push_back(p); });
    EXPECT_EQ(progress, (std::vector<double>{0.2, 0.4, 0.6, 0.8, 1}));
    test::DecodedMovie movie = read("loop.mov");
    ASSERT_EQ(movie.luma.size(), 5u);
    EXPECT_LT(test::meanAbsoluteDifference(movie.luma[1], expectedLuma(tiles, 0.04)), kCodecNoise);

    EXPECT_THROW(exportTo(dir / "stopped.mov", 1, [](double) { throw std::logic_error("stop"); }),
                 std::logic_error);
    try {
        exportTo(dir / "missing" / "x.mov", 1, {});
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& failure) {
        EXPECT_NE(std::string(failure.what()), "");
    }
    EXPECT_EQ(files(), (std::set<std::string>{"loop.mov"}));
}

}  // namespace
}  // namespace tavel
