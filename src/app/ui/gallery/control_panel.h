#pragma once
// The control panel on the trailing side: the browsed effect's category and name, the
// apply control ("Active on Desktop" badge or "Set as Wallpaper" button), and the effect
// controls below them, on glass.

#include "app/ui/gallery/effect_controls.h"
#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/motion.h"

namespace tavel::gallery {

// The name of the first catalog category holding the effect `id`; empty when none does.
std::string categoryName(const std::string& id);

class ControlPanel {
public:
    ControlPanel();
    void draw(GalleryFrame& frame);

private:
    void applyControl(GalleryFrame& frame, const std::string& key, float alpha, bool live);

    EffectControls controls_;
    CrossFade apply_;
    float height_ = 420.0f;  // of the last frame: the glass is drawn before the content
};

}  // namespace tavel::gallery
