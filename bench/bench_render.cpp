// Offscreen rendering cost of every effect: program compile time (cold, Mesa's
// shader cache off unless --warm-cache), wall and CPU milliseconds per frame (default
// 1280x720) including the read-back, and one 3840x2160 renderBGRA of the flagship.
// With --raw it instead writes the frames of a looping movie (the movie encoder's
// effect times) as raw BGRA to FILE, the first step of encoding them with another tool.
//
// Usage: bench_render [--frames N] [--warm-cache] [--size WxH] [--only ID]
//        bench_render --raw FILE [--seconds S] [--fps N] [--size WxH] [--only ID]

#include "app/integration/lock_video_renderer.h"
#include "effects/catalog.h"
#include "effects/offscreen/live_icon_renderer.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process (every thread: llvmpipe renders on several).
double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Renders trunc(seconds x fps) frames at the movie encoder's effect times into `path`.
int writeRaw(const std::string& id, const std::string& path, int width, int height, double seconds,
             int fps) {
    auto effect = tavel::shaderEffect(id);
    if (!effect) {
        std::fprintf(stderr, "bench_render: unknown effect '%s'\n", id.c_str());
        return 2;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "bench_render: cannot create %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 1;
    }
    tavel::MemoryLogSink log;
    tavel::LiveIconRenderer renderer(log);
    const std::int64_t n = tavel::LockVideoRenderer::frameCount(seconds, fps);
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 4);
    auto start = Clock::now();
    for (std::int64_t i = 0; i < n; ++i) {
        float t = tavel::LockVideoRenderer::frameTime(i, n, seconds);
        if (!renderer.renderBGRA(*effect, {}, width, height, t, pixels.data(), width * 4) ||
            std::fwrite(pixels.data(), 1, pixels.size(), file) != pixels.size()) {
            std::fprintf(stderr, "bench_render: frame %lld failed\n", (long long)i);
            std::fclose(file);
            return 1;
        }
    }
    if (std::fclose(file) != 0) return 1;
    std::printf("%lld raw frames of %s at %dx%d in %.2f s\n", (long long)n, id.c_str(), width,
                height, msSince(start) / 1000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 15;
    bool warmCache = false;
    int width = 1280, height = 720;
    std::string only, raw;
    double seconds = 5;
    int fps = 30;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
            frames = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--warm-cache"))
            warmCache = true;
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc &&
                 std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2 && width > 0 && height > 0)
            ++i;
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--raw") && i + 1 < argc)
            raw = argv[++i];
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--fps") && i + 1 < argc)
            fps = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr,
                         "usage: bench_render [--frames N] [--warm-cache] [--size WxH] "
                         "[--only ID]\n"
                         "       bench_render --raw FILE [--seconds S] [--fps N] [--size WxH] "
                         "[--only ID]\n");
            return 2;
        }
    }
    if (!raw.empty())
        return writeRaw(only.empty() ? tavel::allShaders().front().id : only, raw, width, height,
                        seconds, fps);
    if (!warmCache) setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);

    tavel::MemoryLogSink log;
    tavel::LiveIconRenderer probe(log);
    if (!probe.available()) {
        std::fprintf(stderr, "bench_render: no OpenGL 3.3 context could be made\n");
        return 1;
    }
    std::printf("GL renderer: %s\n", probe.glRenderer().c_str());
    std::printf("shader cache: %s; %d frames per effect (median)\n\n", warmCache ? "on" : "off",
                frames);
    std::printf("%-12s %12s %14s %14s  (%dx%d)\n", "effect", "compile ms", "wall ms/frame",
                "cpu ms/frame", width, height);

    const int kWidth = width, kHeight = height;
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    for (const tavel::ShaderEffect& effect : tavel::allShaders()) {
        if (!only.empty() && effect.id != only) continue;
        // A fresh renderer per effect, so the first draw pays the whole compile.
        tavel::LiveIconRenderer renderer(log);
        std::uint8_t one[4];
        auto start = Clock::now();
        if (!renderer.renderBGRA(effect, {}, 1, 1, 40.0f, one, 4)) {
            std::printf("%-12s failed\n", effect.id.c_str());
            continue;
        }
        double compile = msSince(start);
        // The first full-size frame allocates the target; leave it out.
        renderer.renderBGRA(effect, {}, kWidth, kHeight, 40.0f, pixels.data(), kWidth * 4);
        std::vector<double> times;
        double cpuStart = cpuMs();
        for (int f = 0; f < frames; ++f) {
            start = Clock::now();
            renderer.renderBGRA(effect, {}, kWidth, kHeight, 40.0f + f / 30.0f, pixels.data(),
                                kWidth * 4);
            times.push_back(msSince(start));
        }
        double cpuPerFrame = (cpuMs() - cpuStart) / frames;
        std::printf("%-12s %12.1f %14.1f %14.1f\n", effect.id.c_str(), compile, median(times),
                    cpuPerFrame);
        std::fflush(stdout);
    }

    if (!only.empty()) return 0;
    constexpr int k4kWidth = 3840, k4kHeight = 2160;
    std::vector<std::uint8_t> big(std::size_t(k4kWidth) * k4kHeight * 4);
    auto flagship = tavel::allShaders().front();
    probe.renderBGRA(flagship, {}, k4kWidth, k4kHeight, 40.0f, big.data(), k4kWidth * 4);
    std::vector<double> times;
    for (int f = 0; f < std::max(3, frames / 3); ++f) {
        auto start = Clock::now();
        probe.renderBGRA(flagship, {}, k4kWidth, k4kHeight, 40.0f + f, big.data(), k4kWidth * 4);
        times.push_back(msSince(start));
    }
    std::printf("\nrenderBGRA %s 3840x2160: %.1f ms (median of %zu)\n", flagship.id.c_str(),
                median(times), times.size());
    for (const auto& line : log.lines()) std::printf("%s\n", line.c_str());
    return 0;
}
