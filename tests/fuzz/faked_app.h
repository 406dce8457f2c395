#pragma once
// An AppState on the tests' fakes and a manual clock, with two screens: the running
// instance as far as stored settings and bus actions can reach it, without a desktop.

#include "app/core/app_state.h"
#include "support/fakes.h"
#include "support/manual_scheduler.h"

#include <memory>

namespace tavel::fuzz {

struct FakedApp {
    test::ManualScheduler clock;
    test::MemoryPreferencesStore store;
    test::FakeScreens screens{nullptr};
    test::FakeDesktop desktop{nullptr};
    MemoryLogSink log;
    std::unique_ptr<AppState> state;

    FakedApp() {
        screens.list = {{1, "Left", {0, 0, 1920, 1080}, 1.0},
                        {2, "Right", {1920, 0, 1280, 1024}, 2.0}};
    }

    // Loads what `store` holds and starts; shuffles always pick the first candidate.
    AppState& start() {
        AppStateDependencies dependencies =
            test::fakedDependencies(clock, store, screens, desktop, log);
        dependencies.randomIndex = [](std::size_t) { return std::size_t(0); };
        state = std::make_unique<AppState>(std::move(dependencies));
        state->start();
        return *state;
    }
};

}  // namespace tavel::fuzz
