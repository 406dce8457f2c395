#pragma once
// The shelf at the bottom: one live thumbnail per effect in catalog order, scrolled
// sideways without indicators. A click browses, a double click also applies. The shelf
// never scrolls by itself.

#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/motion.h"

#include <map>
#include <string>

namespace tavel::gallery {

// The slot of an effect's thumbnail picture.
std::string thumbSlot(const std::string& effectId);

class GalleryShelf {
public:
    void draw(GalleryFrame& frame);

private:
    struct Thumb {
        Animated scale{1.0f};
        bool browsed = false;
        bool hovered = false;
    };
    void thumb(GalleryFrame& frame, const ShaderEffect& effect, std::int64_t index, ImVec2 at,
               const ImRect& visible);
    std::map<std::string, Thumb> thumbs_;
};

}  // namespace tavel::gallery
