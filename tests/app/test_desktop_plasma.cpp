// Tavel on KDE Plasma, whose desktops cover any background surface: the effects come through
// Tavel's wallpaper plugin until Tavel quits, which gives the person's wallpapers back.

#include "app/test_desktop_support.h"
#include "platform/screen.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::PlasmaSession;
using test::Shot;
using test::waitUntil;

constexpr int kWidth = 640, kHeight = 480;
constexpr int kDesktopRows = 400;  // a screen's desktop area clear of the first's panel
constexpr const char* kPlugin = "drawing (plasma plugin)";

// Each shown desktop as "screen:plugin:effect-or-image", by screen.
std::string wallpapers(const PlasmaSession& plasma) {
    return plasma.evaluate(R"(
var list = desktops().filter(function(d) { return d.screen >= 0; });
list.sort(function(a, b) { return a.screen - b.screen; });
print(list.map(function(d) {
    d.currentConfigGroup = ["Wallpaper", d.wallpaperPlugin, "General"];
    return d.screen + ":" + d.wallpaperPlugin + ":" + d.readConfig("EffectId", "") +
           d.readConfig("Image", "");
}).join(" "));)");
}

// Both screens' desktop areas move between two shots.
::testing::AssertionResult effectsMove(const PlasmaSession& plasma) {
    Shot first, second;
    std::string why;
    const bool moved = waitUntil(
        [&] {
            first = std::move(second);
            second = plasma.screenshot();
            if (!first.taken || !second.taken) return false;
            why.clear();
            for (int screen : {0, 1})
                if (changedShare(first, second, {screen * kWidth, 0, kWidth, kDesktopRows}) < 0.01)
                    why += "screen " + std::to_string(screen) + " still; ";
            return why.empty();
        },
        20s);
    if (moved) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << why << plasma.log();
}

TEST(DesktopPlasma, EachScreenShowsItsEffectThroughThePluginUntilTavelQuits) {
    PlasmaSession plasma(kWidth, kHeight, 2);
    test::TempDir pictures;
    const std::string left = "file://" + (pictures / "left.png").string(),
                      right = "file://" + (pictures / "right.png").string();
    ASSERT_TRUE(test::writePlainPicture(pictures / "left.png", 0x336699));
    ASSERT_TRUE(test::writePlainPicture(pictures / "right.png", 0x993366));
    ASSERT_EQ(plasma.evaluate("desktops().forEach(function(d) {"
                              "  d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
                              "  d.writeConfig('Image', d.screen == 0 ? '" +
                              left + "' : '" + right + "'); }); print('ok')"),
              "ok");
    const std::string persons = "0:org.kde.image:" + left + " 1:org.kde.image:" + right;
    ASSERT_EQ(wallpapers(plasma), persons);

    // Tavel started after plasmashell: its own surfaces would lie under Plasma's desktops.
    const std::string second = std::to_string(*displayNumberForMonitorName("Virtual-1"));
    test::DesktopSession session(
        64, 64,
        R"({"idleAnimateMinutes":0,"syncLockScreen":false,"globalShaderID":"tiles",)"
        R"("sameOnAllDisplays":false,"perDisplay":{")" +
            second + R"(":"orbits"}})",
        nullptr, &plasma);
    session.start();
    ASSERT_TRUE(session.waitForStatus(
        [](const std::string& s) {
            int count = 0;
            for (auto at = s.find(kPlugin); at != s.npos; at = s.find(kPlugin, at + 1)) ++count;
            return count == 2;
        },
        30s));
    EXPECT_TRUE(waitUntil(
        [&] { return wallpapers(plasma) == "0:io.tavel.Tavel:tiles 1:io.tavel.Tavel:orbits"; },
        10s))
        << wallpapers(plasma);
    EXPECT_TRUE(effectsMove(plasma));
    for (const auto& [key, display] : test::displaysOf(session.status()))
        EXPECT_EQ(display.frames, 0) << key << ": Tavel's own surface drew";

    // Quitting gives each desktop its own wallpaper back, and nothing of the record stays.
    ASSERT_EQ(session.tavel({"quit"}).status, 0);
    ASSERT_TRUE(session.app().waitForExit(10s).has_value());
    EXPECT_EQ(wallpapers(plasma), persons);
    EXPECT_FALSE(std::filesystem::exists(session.dataFolder() / "plasma-wallpapers-before.json"));
}

}  // namespace
}  // namespace tavel
