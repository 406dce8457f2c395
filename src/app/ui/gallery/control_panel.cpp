#include "app/ui/gallery/control_panel.h"

#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"

#include <cctype>

namespace tavel::gallery {

namespace {

constexpr float kContentWidth = 300.0f;
constexpr float kPadding = 18.0f;
constexpr float kTrailing = 24.0f;
constexpr float kTop = 66.0f;
constexpr float kApplyHeight = 38.0f;
constexpr GlassStyle kGlass{28.0f, 0.86f, 0.35f, 14.0f, 6.0f};
constexpr const char* kBadge = "badge";
constexpr const char* kButton = "button";

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string categoryName(const std::string& id) {
    for (const ShaderCategory& category : shaderLibrary())
        for (const ShaderEffect& effect : category.effects)
            if (effect.id == id) return category.name;
    return {};
}

ControlPanel::ControlPanel() : apply_(0.35f, Easing::easeInOut) {}

void ControlPanel::draw(GalleryFrame& frame) {
    AppState& state = frame.state;
    const ShaderEffect effect = state.browsedEffect();
    const float width = kContentWidth + 2 * kPadding;
    const ImVec2 min(frame.window.x - kTrailing - width, kTop);
    frame.glass(ImRect(min, min + ImVec2(width, height_)), kGlass);

    ImGui::SetCursorScreenPos(min + ImVec2(kPadding, kPadding));
    ImGui::BeginGroup();
    {
        FontScope font(FontFace::text, FontWeight::semibold, 9);
        letterSpacedText(upper(categoryName(effect.id)).c_str(), 2.4f, white(0.4f));
    }
    ImGui::Dummy(ImVec2(0.0f, 3.0f));
    {
        FontScope font(FontFace::rounded, FontWeight::bold, 21);
        ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1, 1, 1, 1));
        ImGui::TextUnformatted(effect.name.c_str());
        ImGui::PopStyleColor();
    }
    ImGui::Dummy(ImVec2(0.0f, 16.0f));

    apply_.show(state.activeShaderID() == effect.id ? kBadge : kButton);
    apply_.step(frame.dt);
    const ImVec2 applyAt = ImGui::GetCursorScreenPos();
    if (!apply_.previous().empty())
        applyControl(frame, apply_.previous(), 1.0f - apply_.opacity(), false);
    ImGui::SetCursorScreenPos(applyAt);
    applyControl(frame, apply_.current(), apply_.opacity(), true);
    ImGui::SetCursorScreenPos(applyAt + ImVec2(0.0f, kApplyHeight + 16.0f));

    controls_.draw(frame, kContentWidth);
    ImGui::EndGroup();
    height_ = ImGui::GetItemRectMax().y + kPadding - min.y;
}

void ControlPanel::applyControl(GalleryFrame& frame, const std::string& key, float alpha,
                                bool live) {
    const ImVec2 at = ImGui::GetCursorScreenPos();
    const ImVec2 size(kContentWidth, kApplyHeight);
    const Rgba accent = frame.state.accent();
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, ImGui::GetStyle().Alpha * alpha);
    ImGui::BeginDisabled(!live);
    ImDrawList* list = ImGui::GetWindowDrawList();
    if (key == kBadge) {
        FontScope font(FontFace::rounded, FontWeight::semibold, 12);
        const char* text = "Active on Desktop";
        const ImVec2 t = textSize(text);
        const float rowWidth = 6.0f + 8.0f + t.x;
        const ImVec2 row(at.x + (size.x - rowWidth) * 0.5f, at.y + size.y * 0.5f);
        list->AddRect(at + ImVec2(0.5f, 0.5f), at + size - ImVec2(0.5f, 0.5f), white(0.16f),
                      size.y * 0.5f, 0, 1.0f);
        list->AddCircleFilled(row + ImVec2(3.0f, 0.0f), 3.0f, colour(accent), 12);
        list->AddText(row + ImVec2(14.0f, -t.y * 0.5f), white(0.75f), text);
        ImGui::Dummy(size);
        if (live) frame.items.recordLastItem("panel:Active on Desktop");
    } else {
        FontScope font(FontFace::rounded, FontWeight::semibold, 13);
        if (textButton("Set as Wallpaper", size, colour(accent), white(1.0f), 9.0f))
            frame.state.applyBrowsed();
        if (live) frame.items.recordLastItem("panel:Set as Wallpaper");
    }
    ImGui::EndDisabled();
    ImGui::PopStyleVar();
}

}  // namespace tavel::gallery
