// The status bar icon's pixels: our symbol, or an installed Logo.png fitted instead.

#include "app/ui/tray/tray_icon.h"
#include "effects/offscreen/png_encode.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>

namespace tavel {
namespace {

using Argb = std::array<int, 4>;

Argb at(const StatusIconPixmap& p, int x, int y) {
    const std::uint8_t* q = &p.argb[(std::size_t(y) * p.width + x) * 4];
    return {q[0], q[1], q[2], q[3]};
}

// Composed over a light or a dark panel, a good share of it stands far from the panel.
TEST(TrayIcon, SymbolIsHalfFilledAndReadsOnAnyPanel) {
    for (int size : kTrayIconSizes) {
        SCOPED_TRACE(size);
        const StatusIconPixmap p = traySymbol(size);
        ASSERT_EQ(p.width, size);
        ASSERT_EQ(p.height, size);
        ASSERT_EQ(p.argb.size(), std::size_t(size) * size * 4);
        for (int panel : {240, 30}) {
            int far = 0;
            for (int x = 0; x < size; ++x)
                for (int y = 0; y < size; ++y) {
                    const auto [a, r, g, b] = at(p, x, y);
                    far += std::abs((r * a + panel * (255 - a)) / 255 - panel) > 120;
                }
            EXPECT_GT(far, size * size / 10) << "panel " << panel;
        }
    }
}

// A logo is fitted with its proportions and takes no colour from transparent pixels.
TEST(TrayLogo, InstalledLogoFirstThenBesideTheProgramThenTheSymbol) {
    test::TempDir dir;
    const auto program = dir / "bin", installed = dir / "share" / "tavel" / "Logo.png";
    MemoryLogSink log;
    auto write = [](const std::filesystem::path& file, const std::string& bytes) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    };
    // 64 × 32: opaque red (or blue) up to column 30, transparent green beyond.
    auto writeLogo = [&](const std::filesystem::path& file, bool blue) {
        Image image{64, 32, std::vector<std::uint8_t>(64 * 32 * 4)};
        for (int i = 0; i < 64 * 32; ++i) {
            std::uint8_t* p = &image.bgra[std::size_t(i) * 4];
            if (i % 64 < 30)
                p[blue ? 0 : 2] = p[3] = 255;
            else
                p[1] = 255;
        }
        const auto png = encodePng(image);
        write(file, std::string(png->begin(), png->end()));
    };
    // "red", "blue" or "symbol": where the icons came from.
    auto source = [&] {
        const std::vector<StatusIconPixmap> icons = trayIcons(program, log);
        EXPECT_EQ(icons.size(), std::size(kTrayIconSizes));
        for (std::size_t i = 0; i < icons.size(); ++i) EXPECT_EQ(icons[i].width, kTrayIconSizes[i]);
        if (icons.back().argb == traySymbol(48).argb) return std::string("symbol");
        const StatusIconPixmap& p = icons.front();  // 16 × 16: 4 × 4 logo pixels each
        const bool red = at(p, 3, 8)[1] == 255;
        const struct {
            int x, y;
            Argb expected;
        } cases[] = {
            {3, 1, {0, 0, 0, 0}},                            // above the picture: transparent
            {3, 8, {255, red ? 255 : 0, 0, red ? 0 : 255}},  // inside the colour
            {7, 8, {128, red ? 255 : 0, 0, red ? 0 : 255}},  // half colour, half transparent
        };
        for (const auto& c : cases) EXPECT_EQ(at(p, c.x, c.y), c.expected) << c.x << "," << c.y;
        return std::string(red ? "red" : "blue");
    };
    EXPECT_EQ(source(), "symbol");
    writeLogo(program / "Logo.png", false);
    EXPECT_EQ(source(), "red");
    writeLogo(installed, true);
    EXPECT_EQ(source(), "blue");
    EXPECT_TRUE(log.lines().empty());

    // One that cannot be decoded is told and passed over.
    write(installed, "not a picture");
    EXPECT_EQ(source(), "red");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("share/tavel/Logo.png"), std::string::npos) << log.lines()[0];
}

}  // namespace
}  // namespace tavel
