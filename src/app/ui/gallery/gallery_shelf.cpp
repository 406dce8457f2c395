#include "app/ui/gallery/gallery_shelf.h"

#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"

#include <cmath>

namespace tavel::gallery {

namespace {

constexpr float kHeight = 122.0f;
constexpr float kBottom = 22.0f;
constexpr float kSides = 24.0f;
const ImVec2 kPadding(14.0f, 12.0f);
constexpr float kSpacing = 10.0f;
const ImVec2 kPicture(118.0f, 72.0f);
constexpr float kNameGap = 5.0f;
constexpr float kNamePoints = 9.0f;
constexpr int kThumbFps = 12;
constexpr float kWheelStep = 40.0f;
constexpr GlassStyle kGlass{24.0f, 0.88f, 0.4f, 18.0f, 10.0f};
constexpr Spring kBrowseSpring{0.3f, 0.8f};
constexpr float kHoverSeconds = 0.15f;

}  // namespace

std::string thumbSlot(const std::string& effectId) {
    return "thumb:" + effectId;
}

void GalleryShelf::draw(GalleryFrame& frame) {
    const ImVec2 min(kSides, frame.window.y - kBottom - kHeight);
    const ImVec2 size(frame.window.x - 2 * kSides, kHeight);
    frame.glass(ImRect(min, min + size), kGlass);

    const auto effects = allShaders();
    const float columnHeight = kPicture.y + kNameGap + kNamePoints + 2.0f;
    const float contentWidth = 2 * kPadding.x + static_cast<float>(effects.size()) * kPicture.x +
                               static_cast<float>(effects.size() - 1) * kSpacing;
    ImGui::SetCursorScreenPos(min);
    ImGui::SetNextWindowContentSize(ImVec2(contentWidth, kHeight));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::BeginChild("##shelf", size, false,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                          ImGuiWindowFlags_NoBackground);
    // Either wheel scrolls sideways: the shelf has nothing to scroll up and down.
    const ImGuiIO& io = ImGui::GetIO();
    if (ImGui::IsWindowHovered() && (io.MouseWheel != 0.0f || io.MouseWheelH != 0.0f))
        ImGui::SetScrollX(ImGui::GetScrollX() - (io.MouseWheel + io.MouseWheelH) * kWheelStep);

    const ImRect visible(min, min + size);
    ImGui::PushClipRect(visible.Min, visible.Max, true);
    const float top = min.y + (kHeight - columnHeight) * 0.5f;
    const float left = min.x + kPadding.x - ImGui::GetScrollX();
    for (std::size_t i = 0; i < effects.size(); ++i) {
        const ImVec2 at(left + static_cast<float>(i) * (kPicture.x + kSpacing), top);
        thumb(frame, effects[i], static_cast<std::int64_t>(i), at, visible);
    }
    ImGui::PopClipRect();
    ImGui::EndChild();
    ImGui::PopStyleVar();
}

void GalleryShelf::thumb(GalleryFrame& frame, const ShaderEffect& effect, std::int64_t index,
                         ImVec2 at, const ImRect& visible) {
    AppState& state = frame.state;
    const float columnHeight = kPicture.y + kNameGap + kNamePoints + 2.0f;
    const ImRect column(at, at + ImVec2(kPicture.x, columnHeight));
    Thumb& t = thumbs_[effect.id];
    const bool browsed = state.browseIndex() == index;

    ImGui::SetCursorScreenPos(at);
    ImGui::PushID(effect.id.c_str());
    const bool clicked = ImGui::InvisibleButton("##thumb", column.GetSize());
    const bool hovered = ImGui::IsItemHovered();
    const bool doubleClicked = hovered && ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left);
    delayedTooltip(effect.name.c_str());
    ImGui::PopID();
    // A double click is also the second click of a single one: it browses, then applies.
    if (doubleClicked) {
        state.setBrowseIndex(index);
        state.applyBrowsed();
    } else if (clicked) {
        state.setBrowseIndex(index);
    }

    // Browsing springs, hovering eases; the browsed scale wins.
    const float target = browsed ? 1.05f : hovered ? 1.02f : 1.0f;
    if (browsed != t.browsed)
        t.scale.springTo(target, kBrowseSpring);
    else if (hovered != t.hovered)
        t.scale.easeTo(target, kHoverSeconds, Easing::easeOut);
    t.browsed = browsed, t.hovered = hovered;
    t.scale.step(frame.dt);

    ImRect shown = column;
    shown.ClipWith(visible);
    if (shown.GetWidth() <= 0.0f) return;  // scrolled away: no picture is asked for
    frame.items.record("thumb:" + effect.id, shown);

    const float s = t.scale.value();
    const ImVec2 centre = column.GetCenter();
    auto scaled = [&](ImVec2 p) { return centre + (p - centre) * s; };
    const ImVec2 p0 = scaled(at), p1 = scaled(at + kPicture);
    ImDrawList* list = ImGui::GetWindowDrawList();
    const float radius = 9.0f * s;
    const ImVec2 pixels(std::round(kPicture.x * frame.pixelScale.x),
                        std::round(kPicture.y * frame.pixelScale.y));
    ImTextureID texture =
        frame.pictures.picture(thumbSlot(effect.id), effect, state.params(effect.id), kThumbFps,
                               static_cast<int>(pixels.x), static_cast<int>(pixels.y));
    list->AddRectFilled(p0, p1, ImGui::GetColorU32(ImVec4(0.03f, 0.03f, 0.04f, 1.0f)), radius);
    if (texture) {
        const ImRect picture = fitted(ImRect(p0, p1), frame.pictures.aspect(thumbSlot(effect.id)));
        list->AddImageRounded(texture, picture.Min, picture.Max, ImVec2(0, 0), ImVec2(1, 1),
                              white(1), radius);
    }
    const Rgba accent = state.accent();
    if (state.activeShaderID() == effect.id) {
        const ImVec2 dot(p1.x - (6.0f + 3.0f) * s, p0.y + (6.0f + 3.0f) * s);
        list->AddCircleFilled(dot + ImVec2(0, 0.5f), 4.0f * s, black(0.35f), 12);
        list->AddCircleFilled(dot, 3.0f * s, colour(accent), 12);
    }
    if (browsed)
        list->AddRect(p0 + ImVec2(1, 1), p1 - ImVec2(1, 1), colour(accent), radius - 1.0f, 0, 2.0f);
    else
        list->AddRect(p0 + ImVec2(0.5f, 0.5f), p1 - ImVec2(0.5f, 0.5f),
                      white(hovered ? 0.55f : 0.16f), radius - 0.5f, 0, 1.0f);

    FontScope font(FontFace::text, FontWeight::medium, kNamePoints);
    const ImVec2 name = textSize(effect.name.c_str());
    const ImVec2 namePos =
        scaled(ImVec2(at.x + (kPicture.x - name.x) * 0.5f, at.y + kPicture.y + kNameGap));
    list->PushClipRect(ImVec2(p0.x, namePos.y), ImVec2(p1.x, namePos.y + name.y + 2.0f), true);
    list->AddText(nullptr, kNamePoints * s, namePos, white(browsed ? 0.95f : 0.55f),
                  effect.name.c_str());
    list->PopClipRect();
}

}  // namespace tavel::gallery
