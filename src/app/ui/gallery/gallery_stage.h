#pragma once
// The stage: the browsed effect, live, over the whole window, cross-fading to the next one
// when the user browses, and the gradient that darkens its top and bottom edges. Both are
// clipped to the window's outline (rounded where the window's corners are cut away).

#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/motion.h"

namespace tavel::gallery {

// The slot of an effect's picture on the stage.
std::string stageSlot(const std::string& effectId);

class GalleryStage {
public:
    GalleryStage();
    // `cornerRadius` 0 draws square corners.
    void draw(GalleryFrame& frame, float cornerRadius);

private:
    void picture(GalleryFrame& frame, const std::string& id, float alpha, float cornerRadius);
    CrossFade fade_;
};

}  // namespace tavel::gallery
