#include "effects/offscreen/png_decode.h"

#include <png.h>

#include <cstring>

namespace tavel {

namespace {

// Larger than any screen, and small enough that width × height × 4 stays far from
// overflowing while a damaged header cannot make us allocate gigabytes.
constexpr png_uint_32 maximumSide = 16384;

}  // namespace

std::optional<Image> decodePngFile(const std::filesystem::path& file, std::string& error) {
    png_image info;
    std::memset(&info, 0, sizeof info);
    info.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&info, file.c_str())) {
        error = info.message;
        return std::nullopt;
    }
    if (info.width == 0 || info.height == 0 || info.width > maximumSide ||
        info.height > maximumSide) {
        png_image_free(&info);
        error = "the picture is " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                " pixels";
        return std::nullopt;
    }
    info.format = PNG_FORMAT_BGRA;
    Image image;
    image.width = int(info.width);
    image.height = int(info.height);
    image.bgra.resize(PNG_IMAGE_SIZE(info));
    if (!png_image_finish_read(&info, nullptr, image.bgra.data(), 0, nullptr)) {
        error = info.message;
        png_image_free(&info);
        return std::nullopt;
    }
    return image;
}

}  // namespace tavel
