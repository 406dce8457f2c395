#pragma once
// The small fixed pieces of the gallery window: the title pill at the top and our own
// close and minimise controls near the top-left corner.

#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/gallery_host.h"

namespace tavel::gallery {

// The application's mark tinted with the accent colour and its name, on glass.
void drawTitlePill(GalleryFrame& frame);

// Close and minimise; they call the window's own controls.
void drawWindowControls(GalleryFrame& frame, GalleryWindowControls& controls);

}  // namespace tavel::gallery
