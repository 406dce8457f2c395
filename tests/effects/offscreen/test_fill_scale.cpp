// The desktop picture fitted to other screen sizes (same size: the X11 root picture's test).

#include "effects/offscreen/fill_scale.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavel {
namespace {

TEST(ScaleToFill, CoversTheTargetKeepingProportionsAndCroppingTheMiddle) {
    // One grey level per pixel keeps the cases readable.
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
        {"wider than the target: the middle columns", grey(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}), 2, 2,
         grey(2, 2, {2, 3, 6, 7})},
        {"enlarged between pixel centres", grey(2, 1, {0, 255}), 4, 2,
         grey(4, 2, {0, 64, 191, 255, 0, 64, 191, 255})},
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
