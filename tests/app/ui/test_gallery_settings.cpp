// The app settings popover and the gallery's dialogs: every control writes where it
// belongs, conditional rows come and go with the state, and the dialogs' buttons.

#include "gallery_ui_fixture.h"

#include <functional>

namespace tavel {
namespace {

using test::GalleryUiTest;

TEST_F(GalleryUiTest, SettingsPickersStoreTheirValues) {
    const std::tuple<const char*, const char*, std::function<bool(const AppState&)>> picks[] = {
        {"Shuffle", "Every 15 min",
         [](const AppState& s) { return s.settings().shuffleMinutes == 15; }},
        {"Shuffle", "Off", [](const AppState& s) { return s.settings().shuffleMinutes == 0; }},
        {"Animate when idle", "Always",
         [](const AppState& s) { return s.settings().idleAnimateMinutes == -1; }},
        {"Animate when idle", "After 10 min",
         [](const AppState& s) { return s.settings().idleAnimateMinutes == 10; }},
        {"Apply to", "Right", [](const AppState& s) { return s.selectedDisplayTarget() == "2"; }},
        {"Apply to", "All Displays",
         [](const AppState& s) { return s.selectedDisplayTarget() == "all"; }},
        {nullptr, "settings:Frame rate:60 fps",
         [](const AppState& s) { return s.settings().fps == 60; }},
        {nullptr, "settings:Frame rate:15 fps",
         [](const AppState& s) { return s.settings().fps == 15; }},
    };
    open();
    click("rail:settings");
    for (const auto& [picker, item, holds] : picks) {
        SCOPED_TRACE(item);
        if (picker) {
            click(std::string("settings:") + picker);
            click(std::string("settings:") + picker + ":" + item);
        } else {
            click(item);
        }
        EXPECT_TRUE(holds(*state));
        EXPECT_TRUE(drawn("settings:Full resolution on HiDPI screens"));  // the popover stays open
    }
    EXPECT_EQ(stored().idleAnimateMinutes, 10);
}

TEST_F(GalleryUiTest, SettingsTogglesFlipTheirSettings) {
    const std::pair<const char*, std::function<bool()>> toggles[] = {
        {"Full resolution on HiDPI screens", [this] { return state->settings().retinaQuality; }},
        {"Pause in power-saver mode", [this] { return state->settings().pauseOnLowPower; }},
        {"Show in taskbar", [this] { return state->settings().showDockIcon; }},
        {"Launch at login", [this] { return loginOn; }},
        {"Match Lock Screen wallpaper", [this] { return state->settings().syncLockScreen; }},
    };
    open();
    click("rail:settings");
    for (const auto& [label, value] : toggles) {
        SCOPED_TRACE(label);
        const bool before = value();
        click(std::string("settings:") + label);
        EXPECT_NE(value(), before);
        click(std::string("settings:") + label);
        EXPECT_EQ(value(), before);
    }
    loginOn = true;  // registered elsewhere: the pane reads the system each frame
    click("settings:Launch at login");
    EXPECT_FALSE(loginOn);

    // Offered only where a desktop program hides the effect; chosen, the windows cover it.
    EXPECT_FALSE(drawn("settings:Cover desktop icons"));
    view("Left").hiddenBy = "Xfdesktop";
    frame();
    click("settings:Cover desktop icons");
    EXPECT_TRUE(state->settings().coverDesktopIcons);
    EXPECT_TRUE(view("Left").cover && view("Right").cover);
}

// A row's tooltip shows wherever the pointer rests on the row, on its label too.
TEST_F(GalleryUiTest, SettingsTooltipsCoverTheirWholeRows) {
    open();
    click("rail:settings");
    auto tooltipOnLabelOf = [this](const std::string& row) {
        const ImRect control = rect("settings:" + row);
        ImGui::GetIO().MousePos = ImVec2(control.Min.x - 100.0f, control.GetCenter().y);
        frame(20);  // past the tooltip's delay
        const ImGuiWindow* tip = ImGui::FindWindowByName("##Tooltip_00");
        return tip && tip->Active;
    };
    EXPECT_TRUE(tooltipOnLabelOf("Match Lock Screen wallpaper"));
    EXPECT_TRUE(tooltipOnLabelOf("Animate when idle"));
    EXPECT_FALSE(tooltipOnLabelOf("Launch at login"));  // a row without one
}

TEST_F(GalleryUiTest, LiveLockScreenLocksTheStillAndOffersWallpaperSettings) {
    open();
    click("rail:settings");
    EXPECT_FALSE(drawn("settings:Open Background Settings…"));
    click("settings:Live Lock Screen (beta)");
    EXPECT_TRUE(state->settings().liveLockVideo);

    click("settings:Match Lock Screen wallpaper");
    EXPECT_TRUE(state->settings().syncLockScreen);  // disabled: unchanged
    click("settings:Open Background Settings…");
    EXPECT_EQ(wallpaperSettingsOpened, 1);

    EXPECT_FALSE(drawn("settings:progress"));
    progress = 0.25;
    frame();
    EXPECT_TRUE(drawn("settings:progress"));
    progress.reset();
    frame();
    EXPECT_FALSE(drawn("settings:progress"));
}

TEST_F(GalleryUiTest, SettingsPopoverComesAndGoes) {
    open();
    click("rail:settings");
    EXPECT_TRUE(drawn("settings:Apply to"));  // two displays
    press(ImGuiKey_Enter);                    // the popover has the keyboard
    EXPECT_EQ(calls("apply Left"), 0);
    click("rail:settings");
    EXPECT_FALSE(drawn("settings:Full resolution on HiDPI screens"));

    click("rail:settings");
    clickAt(ImVec2(600.0f, 300.0f));  // outside
    EXPECT_FALSE(drawn("settings:Full resolution on HiDPI screens"));
    EXPECT_EQ(moves, 0);

    screens.list = {test::screen(1, "Left")};
    screens.changed();
    clock.runPending();
    click("rail:settings");
    EXPECT_TRUE(drawn("settings:Full resolution on HiDPI screens"));
    EXPECT_FALSE(drawn("settings:Apply to"));
    EXPECT_FALSE(drawn("settings:Install Screen Saver…"));  // no saver in this build
}

TEST_F(GalleryUiTest, InstallingTheSaverShowsWhatItSaid) {
    saverPresent = true;
    open();
    click("rail:settings");
    click("settings:Install Screen Saver…");
    EXPECT_FALSE(drawn("settings:Full resolution on HiDPI screens"));
    EXPECT_TRUE(drawn("message:OK"));
    // The line to copy goes to the clipboard whole, without the indent that marks it.
    click("message:copy:\"Tavel\" /opt/tavel/halvane -root");
    EXPECT_STREQ(ImGui::GetClipboardText(), "\"Tavel\" /opt/tavel/halvane -root");
    click("message:OK");
    EXPECT_FALSE(drawn("message:OK"));
}

TEST_F(GalleryUiTest, GuideButtons) {
    const std::pair<const char*, int> buttons[] = {{"guide:Open Background Settings", 1},
                                                   {"guide:Later", 0}};
    for (const auto& [button, opened] : buttons) {
        SCOPED_TRACE(button);
        wallpaperSettingsOpened = 0;
        open().showGuide();
        frame();
        press(ImGuiKey_Enter);  // the dialog has the keyboard
        click(button);
        EXPECT_EQ(wallpaperSettingsOpened, opened);
        EXPECT_FALSE(drawn("guide:Later"));
        EXPECT_EQ(calls("apply Left"), 0);
    }
}

}  // namespace
}  // namespace tavel
