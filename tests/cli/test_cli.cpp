// The tavel command line, run as a separate process the way a user runs it.

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>

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

    // Without a display or a CPU budget unless a test gives one.
    pid_t start(std::vector<std::string> args, std::vector<std::string> overrides = {}) {
        args.insert(args.begin(), TAVEL_BINARY);
        overrides.push_back("XDG_CONFIG_HOME=" + (dir / "config").string());
        overrides.push_back("HOME=" + dir.path().string());
        return test::startProcess(
            args,
            test::environmentWith(overrides, {"DISPLAY", "WAYLAND_DISPLAY", "TAVEL_CPU_BUDGET"}),
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

    // Files in the output folder (the captured streams are elsewhere) or another.
    std::vector<std::string> outputs(const std::string& folder = "out") {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(dir / folder))
            names.push_back(entry.path().filename());
        return names;
    }

    void SetUp() override { std::filesystem::create_directory(dir / "out"); }
};

// The catalog: its ids are the keys of stored settings, never renamed or reordered.
TEST_F(Cli, ListPrintsTheCatalogInOrder) {
    Result r = tavel({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Texture\thalvane\tTavel\nTexture\tneontopo\tNeon Terrain\n"));
    EXPECT_TRUE(r.out.ends_with("Minimal\tvortex\tVortex\nMinimal\tgridtunnel\tDeep Grid\n"));
    EXPECT_EQ(std::ranges::count(r.out, '\n'), 16) << r.out;
}

// The same picture to a file and to standard output; parameters change it.
TEST_F(Cli, RendersAPngOfTheAskedSize) {
    auto file = dir / "out" / "a.png";
    const std::vector<std::string> render = {"render", "halvane", "--size", "40x24",
                                             "--time", "7.5",     "-o"};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = render;
        args.insert(args.end(), tail.begin(), tail.end());
        Result r = tavel(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    EXPECT_EQ(with({file}), "");
    const std::string png = slurp(file);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    EXPECT_EQ(image.width, 40u);
    EXPECT_EQ(image.height, 24u);
    png_image_free(&image);
    EXPECT_EQ(with({"-"}), png);
    EXPECT_NE(
        with({"-", "--param", "accent=1,0,0", "--param", "custom1=30", "--param", "zoom=0.5"}),
        png);
    EXPECT_EQ(outputs(), std::vector<std::string>{"a.png"});
}

// Bad arguments exit 2, later failures (a good budget finds no display here) 1: one line.
TEST_F(Cli, FailuresGetOneLineAndTheirStatusAndLeaveNoFile) {
    auto out = (dir / "out" / "x.png").string(), mov = (dir / "out" / "x.mov").string();
    const std::string fifo = dir / "pipe.png", missing = dir / "out" / "no-such-folder" / "x";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        int status = 2;
        const char* budget = nullptr;  // $TAVEL_CPU_BUDGET
    };
    const Case cases[] = {
        {{"render", "aurora", "-o", out}},
        {{"render", "tiles", "-o", out, "--size", "320"}},
        {{"export", "tiles", "-o", mov, "--fps", "29.97"}},
        {{"frobnicate"}},
        {{}, 2, "lots"},
        {{"--cpu-budget", "10"}, 1, "lots"},
        {{"--cpu-budget=40%", "--background"}, 1},
        // What is there and is not a file is never replaced by one; a movie needs a file.
        {{"render", "tiles", "-o", fifo}},
        {{"render", "tiles", "-o", dir / "out"}},
        {{"export", "tiles", "-o", "-"}},
        {{"render", "tiles", "--size", "16x16", "-o", missing}, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::string> env;
        if (c.budget) env.push_back(std::string("TAVEL_CPU_BUDGET=") + c.budget);
        Result r = finish(start(c.args, env));
        const std::string shown = testing::PrintToString(c.args) + (c.budget ? c.budget : "");
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
        EXPECT_EQ(std::ranges::count(r.err, '\n'), 1) << shown << "\n" << r.err;
        EXPECT_TRUE(r.err.starts_with("tavel: ")) << r.err;
        EXPECT_TRUE(r.out.empty()) << shown;
    }
    EXPECT_TRUE(outputs().empty());
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
}

// The movie itself is checked in the encoder's tests; here the arguments reach it.
TEST_F(Cli, ExportWritesTheMovieAndOneLine) {
    auto file = dir / "out" / "loop.mov";
    Result r = tavel({"export", "gridtunnel", "-o", file, "--size", "64x36", "--seconds", "0.2",
                      "--fps", "25", "--param", "speed=3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress bar: standard error is a file
    EXPECT_TRUE(
        r.out.starts_with("tavel: wrote " + file.string() + ": 5 frames of 64x36 at 25 fps"))
        << r.out;
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
    EXPECT_EQ(std::ranges::count(r.err, '\n'), 1) << r.err;
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
    EXPECT_FALSE(std::filesystem::exists(dir / "config" / "io.tavel.Tavel"));

    auto own = dir / "config" / "io.tavel.Tavel";
    std::filesystem::create_directories(own);
    std::ofstream(own / "marlowen.settings.v2") << R"({"fps":"fast"})";
    Result unreadable = tavel({"settings"});
    EXPECT_EQ(unreadable.status, 0);
    EXPECT_NE(unreadable.out.find("\"fps\": 30"), std::string::npos) << unreadable.out;
    EXPECT_EQ(std::ranges::count(unreadable.err, '\n'), 1) << unreadable.err;
    EXPECT_EQ(outputs("config/io.tavel.Tavel"), std::vector<std::string>{"marlowen.settings.v2"});
}

}  // namespace
}  // namespace tavel
