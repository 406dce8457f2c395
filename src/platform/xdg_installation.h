#pragma once
// Login and screen-saver registration through the freedesktop.org folders: the autostart
// entry $XDG_CONFIG_HOME/autostart/<application id>.desktop, and the screen-saver entry
// $XDG_DATA_HOME/applications/screensavers/halvane.desktop that screen-saver daemons read.

#include "platform/installation.h"

#include <filesystem>

namespace tavel {

class XdgLoginItem final : public LoginItem {
public:
    // `program`: the application's executable, started with --background at login.
    XdgLoginItem(std::filesystem::path entry, std::filesystem::path program);
    // The application's own entry under $XDG_CONFIG_HOME/autostart.
    static XdgLoginItem forApplication(const std::filesystem::path& program);

    // Enabled: the entry exists, reads as a desktop entry, and is neither Hidden=true nor
    // X-GNOME-Autostart-enabled=false.
    bool enabled() const override;
    // Writes the entry (atomically) or removes it.
    Result<void> setEnabled(bool on) override;

private:
    std::filesystem::path entry_, program_;
};

class XdgSaverInstaller final : public SaverInstaller {
public:
    XdgSaverInstaller(std::filesystem::path entry, std::filesystem::path saver);
    // `saver`: the halvane executable beside the application's.
    static XdgSaverInstaller forApplication(const std::filesystem::path& saver);

    bool available() const override;
    Result<std::string> install() override;

private:
    std::filesystem::path entry_, saver_;
};

// The executable beside the running one (halvane beside tavel).
std::filesystem::path besideThisProgram(const std::string& name);

}  // namespace tavel
