// Tavel on KDE Plasma, whose desktops cover any background surface: the effects come through
// Tavel's wallpaper plugin, also after plasmashell is replaced, until Tavel quits.

#include "app/test_desktop_support.h"
#include "platform/screen.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::DesktopSession;
using test::PlasmaSession;
using test::Shot;
using test::waitUntil;

constexpr int kWidth = 640, kHeight = 480;
// A screen's desktop area clear of the first's panel, and the panel's strip.
constexpr int kDesktopRows = 400, kPanelTop = kHeight - 30;
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

// The mean difference (0..255 per channel) of `a`'s pixels in a rectangle from `b`'s there,
// or from black.
double meanDifference(const Shot& a, const Shot* b, int x, int y, int width, int height) {
    double sum = 0;
    for (int j = y; j < y + height; ++j)
        for (int i = x; i < x + width; ++i) {
            const std::uint32_t p = a.at(i, j), q = b ? b->at(i, j) : 0;
            for (int shift : {0, 8, 16})
                sum += std::abs(int((p >> shift) & 255) - int((q >> shift) & 255));
        }
    return sum / (3.0 * width * height);
}

// A plain picture for the person's own wallpaper, as a URL.
std::string plainPicture(const std::filesystem::path& file, std::uint32_t rgb) {
    test::writePlainPicture(file, rgb);
    return "file://" + file.string();
}

// Whether the workspace shows the person's wallpapers.
bool showsTheirs(const PlasmaSession& plasma, Shot* shot = nullptr) {
    Shot taken = plasma.screenshot();
    const bool theirs =
        taken.taken && taken.pixels[0] == 0x336699 && taken.pixels[kWidth + 10] == 0x993366;
    if (shot) *shot = std::move(taken);
    return theirs;
}

// Both screens' desktop areas move between two shots, and the panel looks as it did over
// the person's wallpaper.
::testing::AssertionResult effectsMoveUnderThePanel(const PlasmaSession& plasma,
                                                    const Shot& panelBefore) {
    Shot first, second;
    std::string why;
    const bool moved = waitUntil(
        [&] {
            first = std::move(second);
            second = plasma.screenshot();
            if (!first.taken || !second.taken) return false;
            why.clear();
            for (int screen : {0, 1}) {
                if (meanDifference(first, &second, screen * kWidth, 0, kWidth, kDesktopRows) < 1.0)
                    why += "screen " + std::to_string(screen) + " still; ";
            }
            return why.empty();
        },
        20s);
    if (!moved) return ::testing::AssertionFailure() << why << plasma.log();
    // Plasma's light panel over the effect: as bright as over the person's wallpaper.
    const double panel = meanDifference(second, nullptr, 0, kPanelTop, kWidth, kHeight - kPanelTop);
    const double before =
        meanDifference(panelBefore, nullptr, 0, kPanelTop, kWidth, kHeight - kPanelTop);
    if (std::abs(panel - before) > 30)
        return ::testing::AssertionFailure() << "panel brightness " << panel << ", was " << before;
    return ::testing::AssertionSuccess();
}

TEST(DesktopPlasma, EachScreenShowsItsEffectThroughThePluginUntilTavelQuits) {
    PlasmaSession plasma(kWidth, kHeight, 2);
    test::TempDir pictures;
    const std::string before = wallpapers(plasma);
    const std::string left = plainPicture(pictures / "left.png", 0x336699),
                      right = plainPicture(pictures / "right.png", 0x993366);
    ASSERT_EQ(plasma.evaluate("desktops().forEach(function(d) {"
                              "  d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
                              "  d.writeConfig('Image', d.screen == 0 ? '" +
                              left + "' : '" + right + "'); }); print('ok')"),
              "ok");
    const std::string persons = "0:org.kde.image:" + left + " 1:org.kde.image:" + right;
    ASSERT_EQ(wallpapers(plasma), persons) << before;
    Shot theirs;
    ASSERT_TRUE(waitUntil([&] { return showsTheirs(plasma, &theirs); }, 20s)) << plasma.log();

    // Tavel started after plasmashell: its own surfaces would lie under Plasma's desktops.
    const std::string second = std::to_string(*displayNumberForMonitorName("Virtual-1"));
    DesktopSession session(
        64, 64,
        R"({"idleAnimateMinutes":0,"syncLockScreen":false,"globalShaderID":"tiles",)"
        R"("sameOnAllDisplays":false,"perDisplay":{")" +
            second + R"(":"orbits"}})",
        nullptr, &plasma);
    // No CPU budget: full scale, so the plugin's frame compares pixel for pixel.
    session.start({"--background", "--cpu-budget", "0"});
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
    EXPECT_TRUE(effectsMoveUnderThePanel(plasma, theirs));
    for (const auto& [key, display] : test::displaysOf(session.status()))
        EXPECT_EQ(display.frames, 0) << key << ": Tavel's own surface drew";

    // Paused at a given time, the plugin's frame is Tavel's own render of that time.
    ASSERT_EQ(session.tavel({"pause"}).status, 0);
    ASSERT_TRUE(session.waitForStatus(test::has("views: paused"), 10s));
    const std::string rendered = (pictures / "tiles.png").string();
    ASSERT_EQ(
        session.tavel({"render", "tiles", "--time", "40", "--size", "640x480", "-o", rendered})
            .status,
        0);
    const Shot reference = test::shotFromFile(rendered);
    ASSERT_EQ(plasma.evaluate("var d = desktops().filter(function(d) { return d.screen == 0; })[0];"
                              "d.currentConfigGroup = ['Wallpaper', 'io.tavel.Tavel', 'General'];"
                              "d.writeConfig('Time', 40); print('ok')"),
              "ok");
    double difference = 255;
    EXPECT_TRUE(waitUntil(
        [&] {
            const Shot shot = plasma.screenshot();
            return shot.taken && (difference = meanDifference(shot, &reference, 0, 0, kWidth,
                                                              kDesktopRows)) < 1.0;
        },
        10s))
        << "mean difference " << difference;
    ASSERT_EQ(session.tavel({"resume"}).status, 0);

    // plasmashell replaced while Tavel runs: the new one gets the plugin's settings too.
    plasma.replaceShell();
    ASSERT_EQ(session.tavel({"set", "vortex"}).status, 0);
    EXPECT_TRUE(waitUntil(
        [&] { return wallpapers(plasma) == "0:io.tavel.Tavel:vortex 1:io.tavel.Tavel:vortex"; },
        20s))
        << wallpapers(plasma) << session.logText();
    EXPECT_TRUE(effectsMoveUnderThePanel(plasma, theirs));
    EXPECT_TRUE(session.waitForStatus(
        [](const std::string& s) { return !test::has("(layer surface)")(s); }, 5s));

    // Quitting gives each desktop its own wallpaper back, and nothing of the record stays.
    ASSERT_EQ(session.tavel({"quit"}).status, 0);
    ASSERT_TRUE(session.app().waitForExit(10s).has_value());
    EXPECT_EQ(wallpapers(plasma), persons);
    EXPECT_FALSE(std::filesystem::exists(session.dataFolder() / "plasma-wallpapers-before.json"));
    EXPECT_TRUE(waitUntil([&] { return showsTheirs(plasma); }, 20s));
}

}  // namespace
}  // namespace tavel
