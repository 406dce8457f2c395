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
    FakeScreens screens{&journal};
    FakeDesktop desktop{&journal};
    IdleWatcher* idleWatcher = nullptr;  // instead of the desktop's, when set
    LoginItem* loginItem = nullptr;
    SaverInstaller* saverInstaller = nullptr;
    RenderBudget* budget = nullptr;  // outlives the state
    MemoryLogSink log;
    std::function<std::size_t(std::size_t)> randomIndex;  // the system's when empty
    std::unique_ptr<AppState> state;

    AppStateTest() { screens.list = {screen(1, "Left"), screen(2, "Right")}; }

    // A new state loading what `store` holds; the journal and periodic counts start after it.
    AppState& make(bool start = true) {
        AppStateDependencies dependencies = fakedDependencies(clock, store, screens, desktop, log);
        if (idleWatcher) dependencies.integrations.idle = idleWatcher;
        dependencies.randomIndex = randomIndex;
        dependencies.loginItem = loginItem;
        dependencies.saverInstaller = saverInstaller;
        dependencies.budget = budget;
        state.reset();
        state = std::make_unique<AppState>(std::move(dependencies));
        if (start) state->start();
        journal.clear();
        desktop.iconRefreshes = desktop.idleTicks = 0;
        return *state;
    }
    AppState& makeWith(const std::string& json) {
        storeSettings(json);
        return make();
    }

    void storeSettings(const std::string& json) {
        store.values[kSettingsKey].assign(json.begin(), json.end());
    }
    AppSettings stored() const {
        const auto bytes = store.data(kSettingsKey).value_or(std::vector<std::uint8_t>{});
        return decodeAppSettingsText(std::string(bytes.begin(), bytes.end()));
    }

    FakeViewState& view(const std::string& name) {
        for (auto it = screens.made.rbegin(); it != screens.made.rend(); ++it)
            if (it->first == name && !it->second->closed) return *it->second;
        ADD_FAILURE() << "no live window on " << name;
        static FakeViewState none;
        return none;
    }
    long calls(const std::string& entry) const { return std::ranges::count(journal, entry); }
    std::string shown() const {
        std::string ids;
        for (const auto& [name, view] : screens.made)
            if (!view->closed) ids += (ids.empty() ? "" : " ") + view->effectId;
        return ids;
    }
};

}  // namespace tavel::test
