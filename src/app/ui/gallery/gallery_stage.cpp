#include "app/ui/gallery/gallery_stage.h"

#include "app/ui/gallery/gallery_theme.h"

#include <algorithm>
#include <cmath>

namespace tavel::gallery {

namespace {

constexpr int kStageFps = 30;
constexpr float kFadeSeconds = 0.6f;

// Fills a band of the outline between y0 and y1 with black whose opacity runs linearly
// from a0 to a1. Corners round only where the band touches the window's edge.
void gradientBand(ImDrawList* list, ImVec2 window, float radius, float y0, float a0, float y1,
                  float a1) {
    ImDrawFlags corners = ImDrawFlags_RoundCornersNone;
    if (radius > 0 && y0 <= 0.0f) corners = ImDrawFlags_RoundCornersTop;
    if (radius > 0 && y1 >= window.y) corners = ImDrawFlags_RoundCornersBottom;
    const int first = list->VtxBuffer.Size;
    list->PathRect(ImVec2(0.0f, y0), ImVec2(window.x, y1), radius, corners);
    list->PathFillConvex(IM_COL32_WHITE);
    // The fill is linear in y inside the band, so recolouring each vertex is exact.
    const float alpha = ImGui::GetStyle().Alpha;
    for (int i = first; i < list->VtxBuffer.Size; ++i) {
        ImDrawVert& v = list->VtxBuffer[i];
        const float t = y1 > y0 ? std::clamp((v.pos.y - y0) / (y1 - y0), 0.0f, 1.0f) : 0.0f;
        const float edge = static_cast<float>((v.col >> IM_COL32_A_SHIFT) & 0xFF) / 255.0f;
        const float a = (a0 + (a1 - a0) * t) * edge * alpha;
        v.col = IM_COL32(0, 0, 0, static_cast<int>(std::lround(a * 255.0f)));
    }
}

}  // namespace

std::string stageSlot(const std::string& effectId) {
    return "stage:" + effectId;
}

GalleryStage::GalleryStage() : fade_(kFadeSeconds, Easing::easeInOut) {}

void GalleryStage::draw(GalleryFrame& frame, float cornerRadius) {
    fade_.show(frame.state.browsedEffect().id);
    fade_.step(frame.dt);
    ImDrawList* list = ImGui::GetWindowDrawList();
    // Black under the pictures: a picture not ready yet shows the dark of the theme.
    list->AddRectFilled(ImVec2(0, 0), frame.window,
                        ImGui::GetColorU32(ImVec4(0.02f, 0.02f, 0.03f, 1)), cornerRadius);
    if (!fade_.previous().empty())
        picture(frame, fade_.previous(), 1.0f - fade_.opacity(), cornerRadius);
    picture(frame, fade_.current(), fade_.opacity(), cornerRadius);

    const float h = frame.window.y;
    gradientBand(list, frame.window, cornerRadius, 0.0f, 0.16f, 0.3f * h, 0.0f);
    gradientBand(list, frame.window, cornerRadius, 0.62f * h, 0.0f, h, 0.34f);
}

void GalleryStage::picture(GalleryFrame& frame, const std::string& id, float alpha,
                           float cornerRadius) {
    const auto effect = shaderEffect(id);
    if (!effect) return;
    const int width = static_cast<int>(std::lround(frame.window.x * frame.pixelScale.x));
    const int height = static_cast<int>(std::lround(frame.window.y * frame.pixelScale.y));
    ImTextureID texture = frame.pictures.picture(stageSlot(id), *effect, frame.state.params(id),
                                                 kStageFps, width, height);
    if (!texture) return;
    // A still keeps its proportions: fitted into the window, the stage's dark around it.
    const ImRect at =
        fitted(ImRect(ImVec2(0, 0), frame.window), frame.pictures.aspect(stageSlot(id)));
    if (id == fade_.current()) {
        frame.stagePicture = at;
        frame.items.record("stage:picture", at);
    }
    ImGui::GetWindowDrawList()->AddImageRounded(texture, at.Min, at.Max, ImVec2(0, 0), ImVec2(1, 1),
                                                white(alpha), cornerRadius);
}

}  // namespace tavel::gallery
