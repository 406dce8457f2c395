#pragma once
// The gallery's modal dialogs: the one-time guide of the Live Lock Screen, and a short
// message (what installing the screen saver said).

#include "app/ui/gallery/gallery_frame.h"

#include <functional>
#include <string>

namespace tavel::gallery {

class GalleryModals {
public:
    // Opened at the next frame.
    void requestGuide() { guideWanted_ = true; }
    void requestMessage(std::string text) { message_ = std::move(text), messageWanted_ = true; }

    // Call once per frame at the gallery window's top ID level.
    void draw(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings);

private:
    void guide(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings);
    void message(GalleryFrame& frame);

    bool guideWanted_ = false;
    bool messageWanted_ = false;
    std::string message_;
};

}  // namespace tavel::gallery
