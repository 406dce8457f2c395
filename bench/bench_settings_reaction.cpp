// Cost on the main thread of one parameter write through the settings reaction:
// encode, store, apply to four views. Three stores:
//   tmpfs     the folder store on /dev/shm (atomic replace, fsync nearly free)
//   disk      the folder store on the real disk (atomic replace with fsync)
//   debounced the disk store behind the debounced writer the application uses (its
//             writes fall due on a manual clock: the steps alone are measured)
// At 120 slider steps a second one step must stay well inside 8.3 ms.
//
// Usage: bench_settings_reaction [--disk-dir DIR] [google-benchmark flags]

#include "app/core/app_state.h"
#include "platform/debounced_preferences_store.h"
#include "support/fakes.h"
#include "support/manual_scheduler.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

using namespace tavel;

std::filesystem::path gDiskDir = "/var/tmp";

// An application state with four displays whose views are fakes.
struct Rig {
    test::ManualScheduler clock;
    test::FakeScreens screens{nullptr};  // the screens and their windows
    test::FakeDesktop desktop{nullptr};  // power, sleep, activity, activation
    MemoryLogSink log;
    std::unique_ptr<AppState> state;

    explicit Rig(PreferencesStore& store) {
        for (std::uint32_t i = 1; i <= 4; ++i)
            screens.list.push_back(ScreenRecord{i, "Display " + std::to_string(i), {}, 1.0});
        AppStateDependencies dependencies =
            test::fakedDependencies(clock, store, screens, desktop, log);
        dependencies.integrations = {};  // none: only the reaction itself is measured
        state = std::make_unique<AppState>(std::move(dependencies));
        state->start();
        // A realistic record: every effect tuned a little.
        state->updateSettings([](AppSettings& s) {
            for (const auto& e : allShaders()) s.params[e.id].hue = 10;
        });
    }
};

void runSliderSteps(benchmark::State& bench, PreferencesStore& store) {
    Rig rig(store);
    auto zoom = rig.state->paramBinding(&ShaderParams::zoom, "halvane");
    float value = 1.0f;
    for (auto _ : bench) {
        value = value > 2.0f ? 1.0f : value + 0.001f;
        zoom.set(value);
    }
}

std::filesystem::path freshFolder(const std::filesystem::path& parent, const char* name) {
    auto folder = parent / (std::string("tavel-bench-") + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    return folder;
}

void BM_ParamWrite_Tmpfs(benchmark::State& bench) {
    auto folder = freshFolder("/dev/shm", "tmpfs");
    FolderPreferencesStore store(folder);
    runSliderSteps(bench, store);
    std::filesystem::remove_all(folder);
}

void BM_ParamWrite_Disk(benchmark::State& bench) {
    auto folder = freshFolder(gDiskDir, "disk");
    FolderPreferencesStore store(folder);
    runSliderSteps(bench, store);
    std::filesystem::remove_all(folder);
}

void BM_ParamWrite_DiskDebounced(benchmark::State& bench) {
    auto folder = freshFolder(gDiskDir, "debounced");
    FolderPreferencesStore disk(folder);
    test::ManualScheduler clock;
    MemoryLogSink log;
    {
        DebouncedPreferencesStore store(disk, clock, log);
        runSliderSteps(bench, store);
    }
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_ParamWrite_Tmpfs)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ParamWrite_Disk)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ParamWrite_DiskDebounced)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--disk-dir")) {
            gDiskDir = argv[i + 1];
            std::memmove(argv + i, argv + i + 2, sizeof(char*) * (argc - i - 1));
            argc -= 2;
            break;
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
