// The desktop picture's file read back, and fitted to screens of other sizes.

#include "effects/offscreen/fill_scale.h"
#include "effects/offscreen/png_decode.h"
#include "effects/offscreen/png_encode.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace tavel {
namespace {

Image imageOf(int width, int height, std::vector<std::uint8_t> bgra) {
    return Image{width, height, std::move(bgra)};
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(DecodePngFile, ReadsBackWhatWasWrittenAndSaysWhyNot) {
    test::TempDir dir;
    // Opaque pictures are stored without alpha, translucent ones with it: both come back
    // as the same BGRA.
    const Image images[] = {
        imageOf(3, 2, {1,  2,  3,  255, 4,  5,  6,  255, 7,  8,  9,  255,  //
                       10, 11, 12, 255, 13, 14, 15, 255, 16, 17, 18, 255}),
        imageOf(2, 1, {200, 100, 50, 128, 0, 0, 0, 0}),
    };
    for (const Image& image : images) {
        writeFile(dir / "p.png", encodePng(image).value());
        std::string error;
        auto back = decodePngFile(dir / "p.png", error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(back->width, image.width);
        EXPECT_EQ(back->height, image.height);
        EXPECT_EQ(back->bgra, image.bgra);
    }

    writeFile(dir / "text.png", {'n', 'o', 't', ' ', 'a', ' ', 'P', 'N', 'G'});
    auto png = encodePng(images[0]).value();
    writeFile(dir / "cut.png", std::vector<std::uint8_t>(png.begin(), png.begin() + 40));
    for (const char* name : {"missing.png", "text.png", "cut.png"}) {
        std::string error;
        EXPECT_FALSE(decodePngFile(dir / name, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
}

TEST(ScaleToFill, CoversTheTargetKeepingProportionsAndCroppingTheMiddle) {
    // One channel per pixel written out (B = G = R, A = 255) keeps the cases readable.
    auto grey = [](int width, int height, std::vector<int> values) {
        Image image{width, height, {}};
        for (int v : values)
            image.bgra.insert(image.bgra.end(),
                              {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 255});
        return image;
    };
    struct Case {
        const char* what;
        Image picture;
        int width, height;
        Image expected;
    };
    const Case cases[] = {
        {"the same size is copied", grey(3, 2, {1, 2, 3, 4, 5, 6}), 3, 2,
         grey(3, 2, {1, 2, 3, 4, 5, 6})},
        {"wider than the target: the middle columns", grey(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}), 2, 2,
         grey(2, 2, {2, 3, 6, 7})},
        {"taller than the target: the middle rows", grey(1, 4, {1, 2, 3, 4}), 1, 2,
         grey(1, 2, {2, 3})},
        {"enlarged between pixel centres", grey(2, 1, {0, 255}), 4, 2,
         grey(4, 2, {0, 64, 191, 255, 0, 64, 191, 255})},
        {"halved", grey(4, 2, {0, 100, 200, 200, 0, 100, 200, 200}), 2, 1, grey(2, 1, {50, 200})},
        {"an empty target", grey(1, 1, {9}), 0, 5, Image{}},
        {"an empty picture", Image{}, 4, 4, Image{}},
    };
    for (const auto& c : cases) {
        Image out = scaleToFill(c.picture, c.width, c.height);
        EXPECT_EQ(out.width, c.expected.width) << c.what;
        EXPECT_EQ(out.height, c.expected.height) << c.what;
        EXPECT_EQ(out.bgra, c.expected.bgra) << c.what;
    }
}

}  // namespace
}  // namespace tavel
