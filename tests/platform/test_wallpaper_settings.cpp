// Opening the desktop's background settings: which programs, in which order, and
// starting one without waiting for it.

#include "platform/wallpaper_settings.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

TEST(WallpaperSettings, TheFirstInstalledSettingsProgramOfTheDesktopIsStarted) {
    std::vector<std::vector<std::string>> tried;
    auto startOnly = [&](const char* installed) {
        return [&tried, installed](const std::vector<std::string>& command) {
            tried.push_back(command);
            return command[0] == installed;
        };
    };
    EXPECT_TRUE(openWallpaperSettings(wallpaperSettingsCommands(PictureSetter::Plasma),
                                      startOnly("systemsettings5")));
    EXPECT_EQ(tried, (std::vector<std::vector<std::string>>{{"systemsettings", "kcm_wallpaper"},
                                                            {"systemsettings5", "kcm_wallpaper"}}));
    tried.clear();
    EXPECT_TRUE(openWallpaperSettings(wallpaperSettingsCommands(PictureSetter::Gnome),
                                      startOnly("gnome-control-center")));
    EXPECT_EQ(tried.back(), (std::vector<std::string>{"gnome-control-center", "background"}));
    // Nothing to open on a desktop without such a page, and nothing when none is installed.
    EXPECT_FALSE(openWallpaperSettings(wallpaperSettingsCommands(PictureSetter::X11Root),
                                       startOnly("anything")));
    EXPECT_FALSE(openWallpaperSettings(wallpaperSettingsCommands(PictureSetter::Xfce),
                                       startOnly("nothing")));
}

TEST(WallpaperSettings, StartingDoesNotWaitAndAMissingProgramIsFalse) {
    EXPECT_TRUE(startDetached({"true"}));
    EXPECT_FALSE(startDetached({"tavel-no-such-program"}));
    EXPECT_FALSE(startDetached({}));
}

}  // namespace
}  // namespace tavel
