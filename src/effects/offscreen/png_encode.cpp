#include "effects/offscreen/png_encode.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace tavel {

std::optional<std::vector<std::uint8_t>> encodePng(const Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.bgra.size() < std::size_t(image.width) * image.height * 4)
        return std::nullopt;
    bool opaque = true;
    for (std::size_t i = 3; i < image.bgra.size(); i += 4)
        if (image.bgra[i] != 255) {
            opaque = false;
            break;
        }

    png_image info;
    std::memset(&info, 0, sizeof info);
    info.version = PNG_IMAGE_VERSION;
    info.width = png_uint_32(image.width);
    info.height = png_uint_32(image.height);
    // Effect frames carry no opacity: drop the channel rather than store 255s.
    std::vector<std::uint8_t> bgr;
    const void* pixels = image.bgra.data();
    png_int_32 stride = image.width * 4;
    if (opaque) {
        info.format = PNG_FORMAT_BGR;
        bgr.resize(std::size_t(image.width) * image.height * 3);
        for (std::size_t i = 0, j = 0; j < bgr.size(); i += 4, j += 3)
            std::memcpy(&bgr[j], &image.bgra[i], 3);
        pixels = bgr.data();
        stride = image.width * 3;
    } else {
        info.format = PNG_FORMAT_BGRA;
    }

    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&info, nullptr, &size, 0, pixels, stride, nullptr))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (!png_image_write_to_memory(&info, bytes.data(), &size, 0, pixels, stride, nullptr))
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

}  // namespace tavel
