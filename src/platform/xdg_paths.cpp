#include "platform/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace tavel {

namespace {

std::filesystem::path fromEnvironment(const char* name, const char* fallbackBelowHome) {
    const char* value = std::getenv(name);
    // Relative values are invalid by the base-directory rules and are ignored.
    if (value && value[0] == '/') return value;
    return homeFolder() / fallbackBelowHome;
}

}  // namespace

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return std::filesystem::current_path();
}

std::filesystem::path xdgConfigHome() {
    return fromEnvironment("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path xdgDataHome() {
    return fromEnvironment("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path xdgVideosDir() {
    if (const char* value = std::getenv("XDG_VIDEOS_DIR"); value && value[0] == '/') return value;
    // Lines like XDG_VIDEOS_DIR="$HOME/Videos", as the user-dirs tools write them.
    std::ifstream dirs(xdgConfigHome() / "user-dirs.dirs");
    const std::string key = "XDG_VIDEOS_DIR=\"";
    for (std::string line; std::getline(dirs, line);) {
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) return homeFolder().string() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return homeFolder() / "Videos";
}

}  // namespace tavel
