#pragma once
// The small fixed pieces of the gallery window: the title pill at the top and our own
// close and minimise controls near the top-left corner.

#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/gallery_host.h"

namespace tavel::gallery {

// The side of the application's Logo image in the title pill, in points.
inline constexpr float kTitleLogoPoints = 17.0f;

// The application's Logo image (`logo`; null when there is none: its mark tinted with the
// accent colour) and its name, on glass.
void drawTitlePill(GalleryFrame& frame, ImTextureID logo);

// Close and minimise; they call the window's own controls.
void drawWindowControls(GalleryFrame& frame, GalleryWindowControls& controls);

}  // namespace tavel::gallery
