#pragma once
// The gallery's modal dialogs: the one-time guide of the Live Lock Screen, and a short
// message (what installing the screen saver said). A message's lines that start with two
// spaces are things to copy: each shown whole in the monospace face, with its own button
// that puts it on the clipboard.

#include "app/ui/gallery/gallery_frame.h"

#include <functional>
#include <string>

namespace tavel::gallery {

class GalleryModals {
public:
    // Opened at the next frame.
    void requestGuide() { guideWanted_ = true; }
    void requestMessage(std::string text) {
        message_ = std::move(text);
        messageWanted_ = true;
    }

    // Call once per frame at the gallery window's top ID level.
    void draw(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings);

private:
    void guide(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings);
    void message(GalleryFrame& frame);

    bool guideWanted_ = false;
    bool messageWanted_ = false;
    std::string message_;
    // The line copied last, and how long its button still says so.
    std::string copied_;
    float copiedSeconds_ = 0.0f;
};

}  // namespace tavel::gallery
