#include "app/ui/gallery/gallery_chrome.h"

#include "app/ui/gallery/gallery_icons.h"
#include "app/ui/gallery/gallery_theme.h"

#include <algorithm>

namespace tavel::gallery {

namespace {

constexpr GlassStyle kPillGlass{18.0f, 0.88f, 0.35f, 12.0f, 6.0f};
constexpr float kSymbol = 12.0f;
constexpr float kLogoRounding = 4.5f;

}  // namespace

void drawTitlePill(GalleryFrame& frame, ImTextureID logo) {
    FontScope font(FontFace::rounded, FontWeight::semibold, 13);
    const char* title = "Tavel";
    const ImVec2 text = textSize(title);
    const float mark = logo ? kTitleLogoPoints : kSymbol;
    const ImVec2 size(16.0f + mark + 8.0f + text.x + 16.0f, 9.0f + std::max(mark, text.y) + 9.0f);
    const ImVec2 min((frame.window.x - size.x) * 0.5f, 18.0f);
    frame.glass(ImRect(min, min + size), kPillGlass);
    ImDrawList* list = ImGui::GetWindowDrawList();
    const float middle = min.y + size.y * 0.5f;
    const ImVec2 centre(min.x + 16.0f + mark * 0.5f, middle);
    if (logo)
        list->AddImageRounded(logo, centre - ImVec2(mark, mark) * 0.5f,
                              centre + ImVec2(mark, mark) * 0.5f, ImVec2(0, 0), ImVec2(1, 1),
                              white(1.0f), kLogoRounding);
    else
        drawIcon(list, Icon::logo, centre, mark, colour(frame.state.accent()));
    list->AddText(ImVec2(min.x + 16.0f + mark + 8.0f, middle - text.y * 0.5f), white(1.0f), title);
}

void drawWindowControls(GalleryFrame& frame, GalleryWindowControls& controls) {
    constexpr float kDot = 13.0f, kGap = 8.0f;
    const struct {
        const char* name;
        Icon icon;
    } buttons[] = {{"window:close", Icon::close}, {"window:minimise", Icon::minimise}};
    ImDrawList* list = ImGui::GetWindowDrawList();
    for (int i = 0; i < 2; ++i) {
        const ImVec2 at(18.0f + static_cast<float>(i) * (kDot + kGap), 18.0f);
        ImGui::SetCursorScreenPos(at);
        const bool clicked = ImGui::InvisibleButton(buttons[i].name, ImVec2(kDot, kDot));
        frame.items.recordLastItem(buttons[i].name);
        const bool hovered = ImGui::IsItemHovered();
        const ImVec2 centre = at + ImVec2(kDot, kDot) * 0.5f;
        list->AddCircleFilled(centre, kDot * 0.5f,
                              ImGui::GetColorU32(ImVec4(0.12f, 0.12f, 0.14f, 0.7f)), 20);
        list->AddCircle(centre, kDot * 0.5f - 0.5f, white(0.22f), 20, 1.0f);
        if (hovered) drawIcon(list, buttons[i].icon, centre, kDot * 0.36f, white(0.85f));
        if (!clicked) continue;
        if (i == 0) controls.close();
        if (i == 1) controls.minimise();
    }
}

}  // namespace tavel::gallery
