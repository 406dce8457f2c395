// Starting with the session and installing the screen saver, as the settings pane uses
// them: failures are log lines, observers always read the real state again.

#include "support/app_state_fixture.h"

namespace tavel {
namespace {

class FakeLoginItem final : public LoginItem {
public:
    bool enabled() const override { return on; }
    std::string setEnabled(bool value) override {
        if (!refusal.empty()) return refusal;
        on = value;
        return {};
    }
    bool on = false;
    std::string refusal;
};

class FakeSaverInstaller final : public SaverInstaller {
public:
    bool available() const override { return present; }
    std::string install(std::string& instructions) override {
        ++installs;
        instructions = "use it";
        return {};
    }
    bool present = false;
    int installs = 0;
};

class AppStateInstallation : public test::AppStateTest {
protected:
    FakeLoginItem login;
    FakeSaverInstaller saver;
};

TEST_F(AppStateInstallation, LoginAndSaverFollowTheSystemAndLogTheirFailures) {
    loginItem = &login;
    saverInstaller = &saver;
    AppState& state = make();
    std::vector<AppState::Property> told;
    state.addObserver([&](AppState::Property p) { told.push_back(p); });

    state.setLaunchAtLogin(true);
    EXPECT_TRUE(state.launchAtLogin());
    login.refusal = "approval pending";
    state.setLaunchAtLogin(false);
    EXPECT_TRUE(state.launchAtLogin());  // the real state, not the wish
    EXPECT_EQ(told,
              (std::vector{AppState::Property::launchAtLogin, AppState::Property::launchAtLogin}));

    EXPECT_FALSE(state.saverEmbedded());
    EXPECT_EQ(state.installScreenSaver(), "");
    saver.present = true;
    EXPECT_FALSE(state.saverEmbedded());              // looked up once per run
    EXPECT_EQ(state.installScreenSaver(), "use it");  // looked up at each call
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Tavel: launch-at-login change failed: approval pending",
                                        "Tavel: saver not embedded in this build"}));
}

}  // namespace
}  // namespace tavel
