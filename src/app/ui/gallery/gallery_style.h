#pragma once
// The dark look of ImGui's own widgets in the gallery (popovers, pickers, dialogs).

#include <imgui.h>

namespace tavel::gallery {

void applyGalleryStyle(ImGuiStyle& style);

}  // namespace tavel::gallery
