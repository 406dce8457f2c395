#pragma once
// The gallery's own small icon set, drawn as vectors so it stays sharp at any scale.

#include <imgui.h>

namespace tavel::gallery {

enum class Icon {
    shuffle,   // two crossing arrows
    play,      // a triangle
    pause,     // two bars
    gear,      // a toothed wheel
    logo,      // the application's mark: a ring with its left half filled
    close,     // a cross
    minimise,  // a bar
};

// Draws `icon` centred on `centre`, fitting a square of `size` points.
void drawIcon(ImDrawList* list, Icon icon, ImVec2 centre, float size, ImU32 colour);

}  // namespace tavel::gallery
