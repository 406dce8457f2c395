#pragma once
// The glass backing of the gallery's floating panels: a soft drop shadow, the stage
// behind the panel blurred, a dark tint and a hairline border. Content is drawn above it.

#include <imgui.h>
#include <imgui_internal.h>

namespace tavel::gallery {

struct GlassStyle {
    float cornerRadius;
    float clarity;  // opacity of the blurred backing and its hairline, 0...1
    float shadowOpacity;
    float shadowRadius;
    float shadowOffsetY;
};

// A drop shadow of `shape` (a rectangle with corners of `cornerRadius`; a circle when that
// is half its side) in black at `opacity`, blurred by `radius` points as a Gaussian of
// deviation radius / 2 and moved by `offset`. Full `opacity` where the blur does not reach.
void drawShadow(ImDrawList* list, const ImRect& shape, float cornerRadius, float opacity,
                float radius, ImVec2 offset);

// Draws the backing of `panel` (in window points) into `list`. `blurred` is the blurred
// stage, which covers `blurredArea`; null draws a flat dark fill.
void drawGlass(ImDrawList* list, const ImRect& panel, const GlassStyle& style, ImTextureID blurred,
               const ImRect& blurredArea);

}  // namespace tavel::gallery
