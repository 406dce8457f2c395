#pragma once
// The gallery window's remembered place, stored as the text "X Y WIDTH HEIGHT" (pixels)
// under the preferences key "galleryFrame"; pure, so that any stored text can be tried.

#include <optional>
#include <string>
#include <string_view>

namespace tavel {

struct GalleryFrame {
    int x = 0, y = 0, width = 0, height = 0;
};

std::string galleryFrameText(const GalleryFrame& frame);

// The stored frame when it still shows on a screen of this size (1 to 32767 pixels a
// side, as X11 has them), at a sane size; nothing for anything else.
std::optional<GalleryFrame> restorableGalleryFrame(std::string_view stored, int screenWidth,
                                                   int screenHeight);

}  // namespace tavel
