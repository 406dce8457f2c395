// The status bar icon's pixels: our symbol, and an installed Logo.png fitted instead.

#include "app/ui/tray/tray_icon.h"
#include "effects/offscreen/png_encode.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace tavel {
namespace {

struct Argb {
    int a, r, g, b;
};

Argb at(const StatusIconPixmap& p, int x, int y) {
    const std::uint8_t* q = &p.argb[(std::size_t(y) * p.width + x) * 4];
    return {q[0], q[1], q[2], q[3]};
}

// Its shape, and that it reads on a light panel as on a dark one: composed over either,
// a good share of it stands far from the panel's colour.
TEST(TrayIcon, SymbolIsARingWithItsLeftHalfFilledThatReadsOnAnyPanel) {
    for (int size : kTrayIconSizes) {
        SCOPED_TRACE(size);
        const StatusIconPixmap p = traySymbol(size);
        ASSERT_EQ(p.width, size);
        ASSERT_EQ(p.height, size);
        ASSERT_EQ(p.argb.size(), std::size_t(size) * size * 4);
        const int mid = size / 2;
        EXPECT_EQ(at(p, 0, 0).a, 0);                        // corner: transparent
        EXPECT_EQ(at(p, size * 3 / 10, mid).a, 255);        // left half: filled
        EXPECT_EQ(at(p, size * 3 / 10, mid).r, 255);        // in white
        EXPECT_EQ(at(p, size * 7 / 10 - 1, mid).a, 0);      // right half: open
        EXPECT_GT(at(p, mid, size * 13 / 100 + 1).a, 100);  // the ring at the top
        for (int panel : {240, 30}) {
            int far = 0;
            for (int x = 0; x < size; ++x)
                for (int y = 0; y < size; ++y) {
                    const Argb c = at(p, x, y);
                    const int shown = (c.r * c.a + panel * (255 - c.a)) / 255;
                    far += std::abs(shown - panel) > 120;
                }
            EXPECT_GT(far, size * size / 10) << "panel " << panel;
        }
    }
}

class TrayLogoTest : public ::testing::Test {
protected:
    // A 64 × 32 logo: opaque red (blue when asked) on the left up to column 30,
    // transparent green beyond.
    static Image logo(bool blue = false) {
        Image image{64, 32, std::vector<std::uint8_t>(64 * 32 * 4)};
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x) {
                std::uint8_t* p = &image.bgra[(std::size_t(y) * 64 + x) * 4];
                if (x < 30)
                    p[blue ? 0 : 2] = p[3] = 255;
                else
                    p[1] = 255;
            }
        return image;
    }
    void write(const std::filesystem::path& file, const std::string& bytes) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    void writeLogo(const std::filesystem::path& file, bool blue = false) {
        const auto png = encodePng(logo(blue));
        ASSERT_TRUE(png);
        write(file, std::string(png->begin(), png->end()));
    }

    test::TempDir dir;
    std::filesystem::path program = dir / "bin";
    MemoryLogSink log;
};

TEST_F(TrayLogoTest, LogoIsFittedWithItsProportionsAndNoColourFromTransparentPixels) {
    const StatusIconPixmap p = trayImage(logo(), 16);  // 4 × 4 source pixels per pixel
    ASSERT_EQ(p.width, 16);
    const struct {
        int x, y;
        Argb expected;
    } cases[] = {
        {3, 1, {0, 0, 0, 0}},      // above the picture: transparent border
        {3, 8, {255, 255, 0, 0}},  // inside the red
        {7, 8, {128, 255, 0, 0}},  // half red, half transparent green: red at half
        {12, 8, {0, 0, 0, 0}},     // transparent
        {3, 12, {0, 0, 0, 0}},     // below the picture
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        const Argb got = at(p, c.x, c.y);
        EXPECT_EQ(got.a, c.expected.a);
        EXPECT_EQ(got.r, c.expected.r);
        EXPECT_EQ(got.g, c.expected.g);
        EXPECT_EQ(got.b, c.expected.b);
    }
}

TEST_F(TrayLogoTest, InstalledLogoFirstThenBesideTheProgramThenTheSymbol) {
    // "red", "blue" or "symbol": where the icons came from.
    auto source = [&] {
        const std::vector<StatusIconPixmap> icons = trayIcons(program, log);
        EXPECT_EQ(icons.size(), std::size(kTrayIconSizes));
        for (std::size_t i = 0; i < icons.size(); ++i) EXPECT_EQ(icons[i].width, kTrayIconSizes[i]);
        if (icons.back().argb == traySymbol(48).argb) return std::string("symbol");
        const Argb inside = at(icons.front(), 3, 8);
        return std::string(inside.r == 255 ? "red" : inside.b == 255 ? "blue" : "other");
    };
    const auto installed = dir / "share" / "tavel" / "Logo.png";
    EXPECT_EQ(source(), "symbol");
    writeLogo(program / "Logo.png");
    EXPECT_EQ(source(), "red");
    writeLogo(installed, true);
    EXPECT_EQ(source(), "blue");
    EXPECT_TRUE(log.lines().empty());

    // One that cannot be decoded is told and passed over.
    write(installed, "not a picture");
    EXPECT_EQ(source(), "red");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("share/tavel/Logo.png"), std::string::npos) << log.lines()[0];
    std::filesystem::remove(program / "Logo.png");
    EXPECT_EQ(source(), "symbol");
}

}  // namespace
}  // namespace tavel
