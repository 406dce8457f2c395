#pragma once
// A plain 64x64 PNG, for the person's own wallpaper in desktop tests.

#include "effects/offscreen/png_encode.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace tavel::test {

// Writes a picture of `rgb` (0xRRGGBB) to `file`; false when it cannot be encoded.
inline bool writePlainPicture(const std::filesystem::path& file, std::uint32_t rgb) {
    Image image;
    image.width = image.height = 64;
    for (int i = 0; i < 64 * 64; ++i)
        for (std::uint8_t byte : {std::uint8_t(rgb), std::uint8_t(rgb >> 8),
                                  std::uint8_t(rgb >> 16), std::uint8_t(255)})
            image.bgra.push_back(byte);
    auto png = encodePng(image);
    if (!png) return false;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
    return true;
}

}  // namespace tavel::test
