#pragma once
// The gallery's colours and type. Every colour goes through ImGui's style alpha, so a
// faded group fades the custom drawing in it too.

#include "app/ui/gallery/gallery_fonts.h"
#include "effects/rgba.h"

#include <imgui.h>

namespace tavel::gallery {

inline ImU32 white(float alpha) {
    return ImGui::GetColorU32(ImVec4(1.0f, 1.0f, 1.0f, alpha));
}
inline ImU32 black(float alpha) {
    return ImGui::GetColorU32(ImVec4(0.0f, 0.0f, 0.0f, alpha));
}
inline ImVec4 vec4(Rgba c, float alpha = 1.0f) {
    return ImVec4(c.r, c.g, c.b, c.a * alpha);
}
inline ImU32 colour(Rgba c, float alpha = 1.0f) {
    return ImGui::GetColorU32(vec4(c, alpha));
}

// Pushes one of the gallery's fonts for the scope's lifetime.
class FontScope {
public:
    FontScope(FontFace face, FontWeight weight, float points) {
        ImGui::PushFont(galleryFont(face, weight, points));
    }
    ~FontScope() { ImGui::PopFont(); }
    FontScope(const FontScope&) = delete;
    FontScope& operator=(const FontScope&) = delete;
};

// The size of `text` in the current font.
inline ImVec2 textSize(const char* text) {
    return ImGui::CalcTextSize(text);
}

}  // namespace tavel::gallery
