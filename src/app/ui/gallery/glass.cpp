#include "app/ui/gallery/glass.h"

#include "app/ui/gallery/gallery_theme.h"

#include <algorithm>

namespace tavel::gallery {

namespace {

// A blurred shadow approximated by rounded rectangles that grow and fade out.
void drawShadow(ImDrawList* list, const ImRect& panel, const GlassStyle& style) {
    constexpr int kLayers = 5;
    const ImVec2 offset(0.0f, style.shadowOffsetY);
    for (int i = kLayers; i >= 1; --i) {
        const float grow = style.shadowRadius * static_cast<float>(i) / kLayers;
        const float alpha = style.shadowOpacity * 0.45f / kLayers *
                            (1.0f - static_cast<float>(i - 1) / (kLayers + 1));
        list->AddRectFilled(panel.Min + offset - ImVec2(grow, grow) * 0.5f,
                            panel.Max + offset + ImVec2(grow, grow) * 0.5f, black(alpha),
                            style.cornerRadius + grow * 0.5f);
    }
}

}  // namespace

void drawGlass(ImDrawList* list, const ImRect& panel, const GlassStyle& style, ImTextureID blurred,
               ImVec2 windowSize) {
    drawShadow(list, panel, style);
    const float radius = style.cornerRadius;
    if (blurred && windowSize.x > 0 && windowSize.y > 0) {
        const ImVec2 uv0(panel.Min.x / windowSize.x, panel.Min.y / windowSize.y);
        const ImVec2 uv1(panel.Max.x / windowSize.x, panel.Max.y / windowSize.y);
        list->AddImageRounded(blurred, panel.Min, panel.Max, uv0, uv1,
                              white(std::clamp(style.clarity, 0.0f, 1.0f)), radius);
        // The "menu" material: a dark veil over the blur, lighter where clarity is low.
        list->AddRectFilled(panel.Min, panel.Max,
                            ImGui::GetColorU32(ImVec4(0.1f, 0.1f, 0.12f, 0.42f * style.clarity)),
                            radius);
    } else {
        list->AddRectFilled(panel.Min, panel.Max,
                            ImGui::GetColorU32(ImVec4(0.11f, 0.11f, 0.13f, 0.78f * style.clarity)),
                            radius);
    }
    list->AddRect(panel.Min, panel.Max, white(0.22f), radius, 0, 1.0f);
}

}  // namespace tavel::gallery
