#include "platform/xdg_installation.h"

#include "platform/app_identity.h"
#include "platform/atomic_file.h"
#include "platform/desktop_entry.h"
#include "platform/saver_entry_template.h"
#include "platform/xdg_paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

namespace tavel {

namespace {

Result<void> writeEntry(const std::filesystem::path& entry, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(entry.parent_path(), error);
    if (error)
        return Failure{"cannot create " + entry.parent_path().string() + ": " + error.message()};
    return writeFileAtomically(entry, textBytes(text), 0644);
}

// `word` as one word of a shell command: as it is when nothing in it is special, else in
// single quotes.
std::string shellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789_-+.,/:@%") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The screen-saver entry from the text the installed entry is made from, with `saver`'s
// path in TryExec (a plain string) and as the Exec line's program word.
std::string saverEntry(const std::filesystem::path& saver) {
    const std::pair<std::string, std::string> fills[] = {
        {"@HALVANE_PATH@", saver.string()},
        {"@HALVANE_EXEC@", execWord(saver.string())},
    };
    std::string text = kSaverEntryTemplate;
    for (const auto& [placeholder, value] : fills)
        for (auto at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + value.size()))
            text.replace(at, placeholder.size(), value);
    return text;
}

}  // namespace

XdgLoginItem::XdgLoginItem(std::filesystem::path entry, std::filesystem::path program)
    : entry_(std::move(entry)), program_(std::move(program)) {}

XdgLoginItem XdgLoginItem::forApplication(const std::filesystem::path& program) {
    return XdgLoginItem(
        xdgConfigHome() / "autostart" / (std::string(kAppBundleIdentifier) + ".desktop"), program);
}

bool XdgLoginItem::enabled() const {
    auto keys = readDesktopEntry(entry_);
    if (!keys) return false;
    auto is = [&](const char* key, const char* value) {
        auto it = keys->find(key);
        return it != keys->end() && it->second == value;
    };
    return !is("Hidden", "true") && !is("X-GNOME-Autostart-enabled", "false");
}

Result<void> XdgLoginItem::setEnabled(bool on) {
    if (!on) {
        std::error_code error;
        std::filesystem::remove(entry_, error);
        if (error) return Failure{"cannot remove " + entry_.string() + ": " + error.message()};
        return {};
    }
    // Started with the session, it begins in the background (no window of its own).
    return writeEntry(entry_,
                      "[Desktop Entry]\n"
                      "Type=Application\n"
                      "Name=Tavel\n"
                      "Comment=Live effects behind the desktop\n"
                      "Exec=" +
                          execWord(program_.string()) +
                          " --background\n"
                          "Icon=" +
                          std::string(kAppBundleIdentifier) +
                          "\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n");
}

XdgSaverInstaller::XdgSaverInstaller(std::filesystem::path entry, std::filesystem::path saver)
    : entry_(std::move(entry)), saver_(std::move(saver)) {}

XdgSaverInstaller XdgSaverInstaller::forApplication(const std::filesystem::path& saver) {
    return XdgSaverInstaller(xdgDataHome() / "applications" / "screensavers" / "halvane.desktop",
                             saver);
}

bool XdgSaverInstaller::available() const {
    return access(saver_.c_str(), X_OK) == 0;
}

Result<std::string> XdgSaverInstaller::install() {
    if (Result<void> written = writeEntry(entry_, saverEntry(saver_)); !written)
        return Failure{written.why()};
    // Both hosts hand these lines to a shell.
    const std::string saver = shellWord(saver_.string());
    return "Tavel's screen saver is installed as\n"
           "  " +
           entry_.string() +
           "\nxscreensaver: add this line to the programs: list of ~/.xscreensaver:\n"
           "  \"Tavel\" " +
           saver +
           " -root\n"
           "xsecurelock: start it with\n"
           "  XSECURELOCK_SAVER=" +
           saver + "\n";
}

std::filesystem::path besideThisProgram(const std::string& name) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(name) : self.parent_path() / name;
}

}  // namespace tavel
