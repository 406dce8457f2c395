// Offscreen rendering cost of every effect: program compile time (cold, Mesa's
// shader cache off unless --warm-cache), wall and CPU milliseconds per frame (default
// 1280x720) including the read-back, and one 3840x2160 renderBGRA of the flagship.
//
// Usage: bench_render [--frames N] [--warm-cache] [--size WxH] [--only ID]

#include "effects/catalog.h"
#include "effects/offscreen/live_icon_renderer.h"

#include <sys/resource.h>

#include <algorithm>
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

}  // namespace

int main(int argc, char** argv) {
    int frames = 15;
    bool warmCache = false;
    int width = 1280, height = 720;
    std::string only;
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
        else {
            std::fprintf(stderr,
                         "usage: bench_render [--frames N] [--warm-cache] [--size WxH] "
                         "[--only ID]\n");
            return 2;
        }
    }
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
