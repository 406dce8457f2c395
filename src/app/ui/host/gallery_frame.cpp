#include "app/ui/host/gallery_frame.h"

#include <sstream>

namespace tavel {

std::string galleryFrameText(const GalleryFrame& frame) {
    return std::to_string(frame.x) + ' ' + std::to_string(frame.y) + ' ' +
           std::to_string(frame.width) + ' ' + std::to_string(frame.height);
}

std::optional<GalleryFrame> restorableGalleryFrame(std::string_view stored, int screenWidth,
                                                   int screenHeight) {
    std::istringstream in{std::string(stored)};
    GalleryFrame f;
    // Only a frame that still shows on this screen, at a sane size.
    if (in >> f.x >> f.y >> f.width >> f.height && f.width >= 200 && f.height >= 200 &&
        f.width <= 4 * screenWidth && f.height <= 4 * screenHeight && f.x < screenWidth - 40 &&
        f.y < screenHeight - 40 && f.x + f.width > 40 && f.y + f.height > 40)
        return f;
    return std::nullopt;
}

}  // namespace tavel
