#pragma once
// The rail of icon buttons on the leading side: shuffle, pause / resume and the gear that
// opens the app settings. Each icon grows a little under the pointer, on a spring.

#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/motion.h"

#include <array>

namespace tavel::gallery {

class GalleryRail {
public:
    GalleryRail();
    // Runs the shuffle and pause actions itself; says whether the gear was clicked and
    // where the gear is (the settings popover points at it).
    struct Result {
        bool gearClicked = false;
        ImRect gear;
    };
    Result draw(GalleryFrame& frame);

private:
    std::array<Animated, 3> scales_;
};

}  // namespace tavel::gallery
