#include "platform/wallpaper_settings.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

namespace tavel {

std::vector<std::vector<std::string>> wallpaperSettingsCommands(PictureSetter desktop) {
    switch (desktop) {
        case PictureSetter::Gnome:
            return {{"gnome-control-center", "background"}};
        case PictureSetter::Plasma:
            return {{"systemsettings", "kcm_wallpaper"}, {"systemsettings5", "kcm_wallpaper"}};
        case PictureSetter::Cinnamon:
            return {{"cinnamon-settings", "backgrounds"}};
        case PictureSetter::Mate:
            return {{"mate-appearance-properties", "--show-page=background"}};
        case PictureSetter::Xfce:
            return {{"xfdesktop-settings"}};
        default:
            return {};
    }
}

bool openWallpaperSettings(const std::vector<std::vector<std::string>>& commands,
                           const std::function<bool(const std::vector<std::string>&)>& start) {
    for (const auto& command : commands)
        if (start(command)) return true;
    return false;
}

bool startDetached(const std::vector<std::string>& command) {
    if (command.empty()) return false;
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: it outlives us and takes no signals meant for our group.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return false;
    // Reaped whenever it ends, so it never lingers as a zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

}  // namespace tavel
