#include "platform/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

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

}  // namespace tavel
