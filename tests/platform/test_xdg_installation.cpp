// The autostart and screen-saver entries on temporary folders.

#include "platform/desktop_entry.h"
#include "platform/xdg_installation.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tavel {
namespace {

using test::slurp;

TEST(LoginItem, IsOnWhileItsEntryExistsAndIsNotSwitchedOff) {
    test::TempDir dir;
    auto entry = dir / "autostart" / "io.tavel.Tavel.desktop";
    XdgLoginItem item(entry, "/opt/My Apps/tavel");
    EXPECT_FALSE(item.enabled());
    ASSERT_EQ(item.setEnabled(true).why(), "");
    EXPECT_TRUE(item.enabled());
    EXPECT_NE(slurp(entry).find("Exec=\"/opt/My Apps/tavel\" --background\n"), std::string::npos)
        << slurp(entry);

    // Entries edited by hand or by the desktop's own settings.
    const std::pair<const char*, bool> cases[] = {
        {"[Desktop Entry]\nExec=tavel\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=tavel\nX-GNOME-Autostart-enabled=false\n", false},
        {"# Hidden=true\n[Desktop Entry]\nExec=tavel\n[Other]\nHidden=true\n", true},
    };
    for (auto [text, enabled] : cases) {
        std::ofstream(entry) << text;
        EXPECT_EQ(item.enabled(), enabled) << text;
    }
    ASSERT_EQ(item.setEnabled(false).why(), "");
    EXPECT_FALSE(std::filesystem::exists(entry));

    // Programs are quoted in Exec lines only when they need it.
    const std::pair<const char*, const char*> words[] = {
        {"/usr/bin/tavel", "/usr/bin/tavel"},
        {"/x/$HOME\"`\\y", "\"/x/\\$HOME\\\"\\`\\\\y\""},
    };
    for (auto [program, word] : words) EXPECT_EQ(execWord(program), word) << program;
}

TEST(SaverInstaller, WritesTheScreenSaverEntryAndSaysHowToUseIt) {
    test::TempDir dir;
    auto entry = dir / "screensavers" / "halvane.desktop";
    // A folder with a space: Exec quotes the program, TryExec holds the plain path.
    auto saver = dir / "My Savers" / "halvane";
    EXPECT_FALSE(XdgSaverInstaller(entry, saver).available());
    std::filesystem::create_directories(saver.parent_path());
    std::ofstream(saver) << "#!/bin/sh\n";
    std::filesystem::permissions(saver, std::filesystem::perms::owner_all);
    XdgSaverInstaller installer(entry, saver);
    EXPECT_TRUE(installer.available());
    const Result<std::string> installed = installer.install();
    ASSERT_TRUE(installed) << installed.why();
    const std::string& instructions = *installed;
    auto keys = readDesktopEntry(entry);
    ASSERT_TRUE(keys);
    EXPECT_EQ((*keys)["Exec"], '"' + saver.string() + '"');
    EXPECT_EQ((*keys)["TryExec"], saver.string());
    // Lines to copy stand alone, the path quoted for the shells that read them.
    const std::string quoted = "'" + saver.string() + "'";
    EXPECT_NE(instructions.find("\n  XSECURELOCK_SAVER=" + quoted + "\n"), std::string::npos);
}

}  // namespace
}  // namespace tavel
