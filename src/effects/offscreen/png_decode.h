#pragma once
// Reading PNG files back into images (the desktop picture is handed over as a file).

#include "effects/offscreen/image.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tavel {

// The PNG file as 8-bit BGRA with straight alpha, whatever its colour type and bit depth.
// Nothing when it cannot be read, is no PNG, or is larger than 16384 pixels a side;
// `error` then says why.
std::optional<Image> decodePngFile(const std::filesystem::path& file, std::string& error);

}  // namespace tavel
