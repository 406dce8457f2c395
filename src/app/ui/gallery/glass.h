#pragma once
// The glass backing of the gallery's floating panels: a soft drop shadow, the stage
// behind the panel blurred, a dark tint and a hairline border. Content is drawn above it.

#include <imgui.h>
#include <imgui_internal.h>

namespace tavel::gallery {

struct GlassStyle {
    float cornerRadius;
    float clarity;  // opacity of the blurred backing, 0...1
    float shadowOpacity;
    float shadowRadius;
    float shadowOffsetY;
};

// Draws the backing of `panel` (in window points) into `list`. `blurred` is the blurred
// stage, which covers the whole window of `windowSize`; null draws a flat dark fill.
void drawGlass(ImDrawList* list, const ImRect& panel, const GlassStyle& style, ImTextureID blurred,
               ImVec2 windowSize);

}  // namespace tavel::gallery
