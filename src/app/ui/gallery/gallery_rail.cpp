#include "app/ui/gallery/gallery_rail.h"

#include "app/ui/gallery/gallery_icons.h"
#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"

namespace tavel::gallery {

namespace {

constexpr float kLeading = 20.0f;
constexpr float kButton = 28.0f;
constexpr float kSpacing = 20.0f;
const ImVec2 kPadding(13.0f, 18.0f);
constexpr GlassStyle kGlass{27.0f, 0.88f, 0.4f, 16.0f, 8.0f};
constexpr Spring kHoverSpring{0.25f, 0.7f};

struct RailIcon {
    const char* name;
    Icon icon;
    const char* help;
};

}  // namespace

GalleryRail::GalleryRail() {
    for (Animated& scale : scales_) scale.set(1.0f);
}

GalleryRail::Result GalleryRail::draw(GalleryFrame& frame) {
    AppState& state = frame.state;
    const bool paused = state.settings().paused;
    const RailIcon icons[3] = {
        {"rail:shuffle", Icon::shuffle, "Random backdrop"},
        {"rail:pause", paused ? Icon::play : Icon::pause, paused ? "Resume" : "Pause"},
        {"rail:settings", Icon::gear, "App Settings"},
    };
    const ImVec2 size(kPadding.x * 2 + kButton, kPadding.y * 2 + 3 * kButton + 2 * kSpacing);
    const ImVec2 min(kLeading, (frame.window.y - size.y) * 0.5f);
    frame.glass(ImRect(min, min + size), kGlass);

    Result result;
    ImDrawList* list = ImGui::GetWindowDrawList();
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    for (int i = 0; i < 3; ++i) {
        const ImVec2 at =
            min + kPadding + ImVec2(0.0f, static_cast<float>(i) * (kButton + kSpacing));
        const ImVec2 centre = at + ImVec2(kButton, kButton) * 0.5f;
        ImGui::SetCursorScreenPos(at);
        const bool pressed = ImGui::InvisibleButton(icons[i].name, ImVec2(kButton, kButton));
        frame.items.recordLastItem(icons[i].name);
        if (i == 2) result.gear = ImRect(at, at + ImVec2(kButton, kButton));
        // Only the circle inside the square answers the pointer.
        const ImVec2 d = mouse - centre;
        const bool inCircle = d.x * d.x + d.y * d.y <= kButton * kButton * 0.25f;
        const bool hovered = ImGui::IsItemHovered() && inCircle;
        delayedTooltip(icons[i].help, hovered);
        scales_[i].springTo(hovered ? 1.15f : 1.0f, kHoverSpring);
        scales_[i].step(frame.dt);
        drawIcon(list, icons[i].icon, centre, 15.0f * scales_[i].value(),
                 white(hovered ? 1.0f : 0.75f));
        if (!pressed || !inCircle) continue;
        if (i == 0) {
            state.shuffleNow();
            state.syncBrowseToActive();
        } else if (i == 1) {
            state.togglePaused();
        } else {
            result.gearClicked = true;
        }
    }
    return result;
}

}  // namespace tavel::gallery
