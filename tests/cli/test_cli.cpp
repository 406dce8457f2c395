// The tavel command line, run as a separate process the way a user runs it.

#include "effects/catalog.h"
#include "support/child_process.h"
#include "support/movie_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tavel {
namespace {

using test::slurp;

struct Result {
    int status = -1;
    std::string out, err;
};

class Cli : public ::testing::Test {
protected:
    test::TempDir dir;

    pid_t start(std::vector<std::string> args, std::vector<std::string> overrides = {},
                const std::vector<std::string>& remove = {}) {
        args.insert(args.begin(), TAVEL_BINARY);
        overrides.push_back("XDG_CONFIG_HOME=" + (dir / "config").string());
        overrides.push_back("HOME=" + dir.path().string());
        return test::startProcess(args, test::environmentWith(overrides, remove),
                                  (dir / "stdout").c_str(), (dir / "stderr").c_str());
    }
    Result finish(pid_t process) {
        Result result;
        result.status = test::waitProcess(process);
        result.out = slurp(dir / "stdout");
        result.err = slurp(dir / "stderr");
        return result;
    }
    Result tavel(std::vector<std::string> args) { return finish(start(std::move(args))); }

    // Files in the output folder other than the captured streams.
    std::vector<std::string> outputs() {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(dir / "out"))
            names.push_back(entry.path().filename());
        return names;
    }

    void SetUp() override { std::filesystem::create_directory(dir / "out"); }
};

int countLines(const std::string& text) {
    return int(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(Cli, ListPrintsTheCatalogInOrder) {
    Result r = tavel({"list"});
    EXPECT_EQ(r.status, 0);
    std::string expected;
    for (const auto& category : shaderLibrary())
        for (const auto& effect : category.effects)
            expected += category.name + "\t" + effect.id + "\t" + effect.name + "\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(countLines(r.out), 16);
    EXPECT_TRUE(r.out.starts_with("Texture\thalvane\tTavel\n"));
}

TEST_F(Cli, RendersEffectsToAPngOfTheAskedSize) {
    for (const char* id : {"halvane", "wiremesh", "gridtunnel"}) {
        auto file = dir / "out" / (std::string(id) + ".png");
        Result r = tavel({"render", id, "--size", "320x180", "--time", "7.5", "-o", file});
        ASSERT_EQ(r.status, 0) << id << ": " << r.err;
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, file.c_str())) << id;
        EXPECT_EQ(image.width, 320u);
        EXPECT_EQ(image.height, 180u);
        png_image_free(&image);
    }
}

TEST_F(Cli, ParametersReachTheRender) {
    auto a = dir / "out" / "a.png", b = dir / "out" / "b.png";
    ASSERT_EQ(tavel({"render", "orbits", "--size", "64x64", "-o", a}).status, 0);
    ASSERT_EQ(tavel({"render", "orbits", "--size", "64x64", "--param", "accent=1,0,0", "--param",
                     "custom1=30", "--param", "zoom=0.5", "-o", b})
                  .status,
              0);
    EXPECT_NE(slurp(a), slurp(b));
}

TEST_F(Cli, BadInputGetsOneLineAndStatusTwoAndNoFile) {
    auto out = (dir / "out" / "x.png").string(), mov = (dir / "out" / "x.mov").string();
    const std::string fifo = dir / "pipe.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"render", "aurora", "-o", out},
        {"render", "tiles"},
        {"render", "-o", out},
        {"render", "tiles", "-o", out, "--size", "320"},
        {"render", "tiles", "-o", out, "--size", "0x10"},
        {"render", "tiles", "-o", out, "--size", "20000x10"},
        {"render", "tiles", "-o", out, "--size"},
        {"render", "tiles", "-o", out, "--time", "soon"},
        {"render", "tiles", "-o", out, "--time", "nan"},
        {"render", "tiles", "-o", out, "--time", "+-5"},
        {"render", "tiles", "-o", out, "--param", "speed=fast"},
        {"render", "tiles", "-o", out, "--param", "glow=2"},
        {"render", "tiles", "-o", out, "--param", "bg=1,0"},
        {"render", "tiles", "-o", out, "--param", "bg=1,0,0,"},
        {"render", "tiles", "-o", out, "--param", "hue"},
        {"render", "tiles", "-o", out, "--frobnicate"},
        {"render", "tiles", "extra", "-o", out},
        {"export", "tiles"},
        {"export", "tiles", "-o", mov, "--size", "63x36"},
        {"export", "tiles", "-o", mov, "--size", "64x35"},
        {"export", "tiles", "-o", mov, "--seconds", "-1"},
        {"export", "tiles", "-o", mov, "--seconds", "inf"},
        {"export", "tiles", "-o", mov, "--seconds", "soon"},
        {"export", "tiles", "-o", mov, "--fps", "0"},
        {"export", "tiles", "-o", mov, "--fps", "29.97"},
        {"export", "tiles", "-o", mov, "--fps", "99999999999"},
        {"export", "tiles", "-o", mov, "--seconds", "1e9", "--fps", "30"},
        {"export", "tiles", "-o", mov, "--time", "5"},
        {"list", "extra"},
        {"frobnicate"},
        {"--cpu-budget"},
        {"--cpu-budget", "lots"},
        {"--cpu-budget", "-5"},
        {"--cpu-budget", "nan"},
        {"--cpu-budget", ""},
        {"--background", "--cpu-budget", "1e9"},
        {"--cpu-budget=25", "--frobnicate"},
        {"--cpu-budget", "25", "--cpu-budget", "30"},
        {"--background", "extra"},
        // What is there and is not a file is never replaced by one; a movie needs a file.
        {"render", "tiles", "-o", fifo},
        {"render", "tiles", "-o", dir / "out"},
        {"export", "tiles", "-o", fifo},
        {"export", "tiles", "-o", "-"},
    };
    for (const auto& args : cases) {
        Result r = tavel(args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(countLines(r.err), 1) << shown << "\n" << r.err;
        EXPECT_TRUE(r.err.starts_with("tavel: ")) << r.err;
        EXPECT_TRUE(r.out.empty()) << shown;
    }
    EXPECT_TRUE(outputs().empty());
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
}

// The application's CPU budget from the environment: a bad value is one line and 2 before
// anything runs, unless --cpu-budget overrides it; good values get as far as looking for
// a display (none here: 1).
TEST_F(Cli, TheCpuBudgetFromTheEnvironmentIsCheckedLikeTheOption) {
    struct Case {
        std::vector<std::string> args;
        const char* environment;
        int status;
    };
    const Case cases[] = {
        {{}, "lots", 2},
        {{"--background"}, "-1", 2},
        {{}, "", 2},
        {{"--cpu-budget", "10"}, "lots", 1},
        {{}, "12.5%", 1},
        {{"--background"}, "0", 1},
        {{"--cpu-budget", "0"}, nullptr, 1},
        {{"--cpu-budget=40%", "--background"}, nullptr, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> overrides;
        if (c.environment) overrides.push_back(std::string("TAVEL_CPU_BUDGET=") + c.environment);
        Result r =
            finish(start(c.args, overrides,
                         {"DISPLAY", "WAYLAND_DISPLAY", c.environment ? "" : "TAVEL_CPU_BUDGET"}));
        EXPECT_EQ(r.status, c.status) << (c.environment ? c.environment : "(unset)") << "\n"
                                      << r.err;
        EXPECT_EQ(countLines(r.err), 1) << r.err;
        if (c.status == 2) {
            EXPECT_NE(r.err.find("TAVEL_CPU_BUDGET"), std::string::npos) << r.err;
        }
    }
}

TEST_F(Cli, UnwritableOutputFailsWithStatusOneWithoutLeavingAnything) {
    const auto target = dir / "out" / "no-such-folder" / "x";
    for (std::vector<std::string> args :
         {std::vector<std::string>{"render", "tiles", "--size", "16x16", "-o", target},
          {"export", "tiles", "--size", "16x16", "--seconds", "0.1", "-o", target}}) {
        Result r = tavel(args);
        EXPECT_EQ(r.status, 1) << args[0];  // the arguments were fine
        EXPECT_EQ(countLines(r.err), 1) << r.err;
    }
    EXPECT_TRUE(outputs().empty());
}

TEST_F(Cli, RenderToStandardOutputWritesThePng) {
    Result r = tavel({"render", "tiles", "--size", "16x8", "-o", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, r.out.data(), r.out.size()));
    EXPECT_EQ(image.width, 16u);
    EXPECT_EQ(image.height, 8u);
    png_image_free(&image);
    EXPECT_TRUE(outputs().empty());
}

TEST_F(Cli, ExportWritesALoopingMovieAndOneLine) {
    auto file = dir / "out" / "loop.mov";
    Result r = tavel({"export", "gridtunnel", "-o", file, "--size", "64x36", "--seconds", "0.2",
                      "--fps", "25", "--param", "speed=3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress bar: standard error is a file
    EXPECT_EQ(countLines(r.out), 1) << r.out;
    EXPECT_TRUE(r.out.starts_with("tavel: wrote ")) << r.out;
    std::string error;
    auto movie = test::readMovie(file, error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->codec, "hevc");
    EXPECT_EQ(movie->width, 64);
    EXPECT_EQ(movie->height, 36);
    EXPECT_EQ(movie->luma.size(), 5u);
    EXPECT_EQ(movie->timeBaseDen, 25);
    EXPECT_EQ(outputs(), std::vector<std::string>{"loop.mov"});
}

// Ctrl-C during a long export ends it after the current frame, without a trace.
TEST_F(Cli, AnInterruptedExportLeavesNothing) {
    int events = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(events, 0);
    inotify_add_watch(events, (dir / "out").c_str(), IN_CREATE);
    pid_t process = start({"export", "tiles", "-o", dir / "out" / "long.mov", "--size", "64x36",
                           "--seconds", "3600"});
    // The temporary movie appears once the export is under way, its handler in place.
    pollfd created{events, POLLIN, 0};
    EXPECT_EQ(poll(&created, 1, 60'000), 1) << "no temporary movie appeared";
    close(events);
    kill(process, SIGINT);
    Result r = finish(process);
    EXPECT_EQ(r.status, 128 + SIGINT);
    EXPECT_EQ(countLines(r.err), 1) << r.err;
    EXPECT_TRUE(outputs().empty());
}

// Printing the settings only reads: no takeover copy, no copy of an unreadable value.
TEST_F(Cli, SettingsPrintsWhatIsStoredAndWritesNothing) {
    auto legacy = dir / "config" / "io.marlowen.Tavel";
    std::filesystem::create_directories(legacy);
    std::ofstream(legacy / "marlowen.settings.v2") << R"({"globalShaderID":"ridges","fps":60})";
    Result taken = tavel({"settings"});
    EXPECT_EQ(taken.status, 0);
    EXPECT_NE(taken.out.find("\"globalShaderID\": \"ridges\""), std::string::npos) << taken.out;
    EXPECT_NE(taken.out.find("\"fps\": 60"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "config" / "io.tavel.Tavel"));

    auto own = dir / "config" / "io.tavel.Tavel";
    std::filesystem::create_directories(own);
    std::ofstream(own / "marlowen.settings.v2") << R"({"fps":"fast"})";
    Result unreadable = tavel({"settings"});
    EXPECT_EQ(unreadable.status, 0);
    EXPECT_NE(unreadable.out.find("\"fps\": 30"), std::string::npos) << unreadable.out;
    EXPECT_EQ(countLines(unreadable.err), 1) << unreadable.err;
    std::vector<std::string> files;
    for (auto& entry : std::filesystem::directory_iterator(own))
        files.push_back(entry.path().filename());
    EXPECT_EQ(files, std::vector<std::string>{"marlowen.settings.v2"});
}

}  // namespace
}  // namespace tavel
