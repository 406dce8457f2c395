#pragma once
// The XDG base directories, read from the environment with their documented defaults.

#include <filesystem>

namespace tavel {

// $XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
std::filesystem::path xdgConfigHome();
// $XDG_DATA_HOME when set to an absolute path, else ~/.local/share.
std::filesystem::path xdgDataHome();
// The user's videos folder: $XDG_VIDEOS_DIR when set to an absolute path, else the
// XDG_VIDEOS_DIR line of $XDG_CONFIG_HOME/user-dirs.dirs ("$HOME/..." or absolute), else
// ~/Videos.
std::filesystem::path xdgVideosDir();
// $HOME, else the password database's home folder, else the current folder.
std::filesystem::path homeFolder();

}  // namespace tavel
