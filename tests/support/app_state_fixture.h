#pragma once
// An AppState wired to fakes and a manual clock, with two screens by default.

#include "app/core/app_state.h"
#include "platform/app_identity.h"
#include "support/fakes.h"
#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <memory>

namespace tavel::test {

inline ScreenRecord screen(std::uint32_t number, std::string name) {
    return ScreenRecord{number, std::move(name), Rect{0, 0, 1920, 1080}, 1.0};
}

class AppStateTest : public ::testing::Test {
protected:
    Journal journal;
    ManualScheduler clock;
    MemoryPreferencesStore store{&journal};
    FakeScreens screens;
    FakeWindowFactory windows{&journal};
    FakePower power;
    FakeSleep sleep;
    FakeActivity activity{&journal};
    FakeActivation activation{&journal};
    RecordingIntegrations integrations{&journal};
    IdleWatcher* idleWatcher = nullptr;  // instead of the recording one, when set
    LoginItem* loginItem = nullptr;
    SaverInstaller* saverInstaller = nullptr;
    MemoryLogSink log;
    std::function<std::size_t(std::size_t)> randomIndex;
    std::unique_ptr<AppState> state;

    AppStateTest() { screens.list = {screen(1, "Left"), screen(2, "Right")}; }

    // Creates the state (loading whatever `store` holds); start() when asked.
    AppState& make(bool start = true) {
        Integrations wired = integrations.all();
        if (idleWatcher) wired.idle = idleWatcher;
        state = std::make_unique<AppState>(AppStateDependencies{clock,
                                                                store,
                                                                {},
                                                                screens,
                                                                windows,
                                                                power,
                                                                sleep,
                                                                activity,
                                                                activation,
                                                                wired,
                                                                log,
                                                                randomIndex,
                                                                loginItem,
                                                                saverInstaller});
        if (start) state->start();
        // Tests count from here: what start() asked for is checked on its own.
        journal.clear();
        integrations = RecordingIntegrations{&journal};
        return *state;
    }

    void storeSettings(const std::string& json) {
        store.values[kSettingsKey] = std::vector<std::uint8_t>(json.begin(), json.end());
    }

    AppSettings stored() const { return decodeAppSettingsText(store.text(kSettingsKey)); }

    FakeViewState& view(const std::string& name) {
        FakeViewState* v = windows.live(name);
        EXPECT_NE(v, nullptr) << "no live window for " << name;
        static FakeViewState none;
        return v ? *v : none;
    }
};

}  // namespace tavel::test
