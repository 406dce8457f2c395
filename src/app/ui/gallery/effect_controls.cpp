#include "app/ui/gallery/effect_controls.h"

#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"
#include "app/ui/gallery/glass.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace tavel::gallery {

namespace {

constexpr float kTabAreaMinHeight = 196.0f;
constexpr float kTabFadeSeconds = 0.18f;
const std::vector<std::string> kTabs = {"Colors", "Motion", "Style"};

struct MotionRow {
    const char* label;
    float ShaderParams::*field;
    ClosedRange range;
    ValueFormat format;
};
constexpr MotionRow kMotionRows[] = {
    {"Speed", &ShaderParams::speed, {0.1f, 3.0f}, ValueFormat::times},
    {"Zoom", &ShaderParams::zoom, {0.4f, 2.5f}, ValueFormat::times},
    {"Glow", &ShaderParams::intensity, {0.3f, 1.8f}, ValueFormat::percent},
    {"Hue", &ShaderParams::hue, {-180.0f, 180.0f}, ValueFormat::degrees},
};

// The palette opens below its swatch, its arrow pointing up at it.
void paletteArrow(ImVec2 tip) {
    ImDrawList* list = ImGui::GetWindowDrawList();
    list->PushClipRectFullScreen();
    const ImU32 fill = ImGui::GetColorU32(ImGuiCol_PopupBg);
    list->AddTriangleFilled(tip, tip + ImVec2(9, 10), tip + ImVec2(-9, 10), fill);
    list->AddLine(tip, tip + ImVec2(9, 10), ImGui::GetColorU32(ImGuiCol_Border));
    list->AddLine(tip, tip + ImVec2(-9, 10), ImGui::GetColorU32(ImGuiCol_Border));
    list->PopClipRect();
}

}  // namespace

const std::array<Rgba, 10> kPresetColors = {{
    {0.95f, 0.96f, 1.0f, 1.0f},
    {0.45f, 0.8f, 1.0f, 1.0f},
    {0.2f, 0.9f, 0.75f, 1.0f},
    {0.62f, 1.0f, 0.1f, 1.0f},
    {1.0f, 0.78f, 0.25f, 1.0f},
    {1.0f, 0.45f, 0.35f, 1.0f},
    {1.0f, 0.3f, 0.65f, 1.0f},
    {0.7f, 0.45f, 1.0f, 1.0f},
    {0.1f, 0.15f, 0.35f, 1.0f},
    {0.02f, 0.02f, 0.03f, 1.0f},
}};

std::string valueText(ValueFormat format, float value) {
    char text[64];
    switch (format) {
        case ValueFormat::times:
            std::snprintf(text, sizeof text, "%.1f×", value);
            break;
        case ValueFormat::percent:
            std::snprintf(text, sizeof text, "%.0f%%", value * 100.0f);
            break;
        case ValueFormat::degrees:
            std::snprintf(text, sizeof text, "%.0f°", value);
            break;
        case ValueFormat::whole:
            std::snprintf(text, sizeof text, "%.0f", value);
            break;
        case ValueFormat::hundredths:
            std::snprintf(text, sizeof text, "%.2f", value);
            break;
    }
    return text;
}

std::string capitalised(std::string_view label) {
    std::string out(label);
    bool wordStart = true;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        c = static_cast<char>(wordStart ? std::toupper(u) : std::tolower(u));
        wordStart = std::isspace(u) != 0;
    }
    return out;
}

EffectControls::EffectControls() {
    fades_[0].set(1.0f);
}

void EffectControls::draw(GalleryFrame& frame, float width) {
    const ShaderEffect effect = frame.state.browsedEffect();
    const ImVec2 origin = ImGui::GetCursorScreenPos();

    FontScope font(FontFace::text, FontWeight::medium, 11);
    const int picked = segmented("##tabs", kTabs, tab_, width, 24.0f, frame.items, "tab");
    if (picked >= 0 && picked != tab_) {
        tab_ = picked;
        for (int i = 0; i < 3; ++i)
            fades_[i].easeTo(i == tab_ ? 1.0f : 0.0f, kTabFadeSeconds, Easing::easeOut);
    }

    // All three bodies stay in place; the area is as tall as the tallest.
    const ImVec2 area(origin.x, origin.y + 24.0f + 16.0f);
    const float baseAlpha = ImGui::GetStyle().Alpha;
    for (int i = 0; i < 3; ++i) fades_[i].step(frame.dt);
    // The selected body goes first: the first item under the pointer takes it, even a
    // disabled one.
    for (int i : {tab_, (tab_ + 1) % 3, (tab_ + 2) % 3}) {
        const bool live = i == tab_;
        ImGui::SetCursorScreenPos(area + ImVec2(0.0f, 4.0f));
        ImGui::BeginDisabled(!live);
        ImGui::PushStyleVar(ImGuiStyleVar_Alpha, baseAlpha * fades_[i].value());
        ImGui::PushID(i);
        ImGui::BeginGroup();
        if (i == 0) colorsBody(frame, effect.id, width, live);
        if (i == 1) motionBody(frame, effect.id, width, live);
        if (i == 2) styleBody(frame, effect, width, live);
        ImGui::EndGroup();
        heights_[i] = ImGui::GetItemRectSize().y + 4.0f;
        ImGui::PopID();
        ImGui::PopStyleVar();
        ImGui::EndDisabled();
    }
    const float areaHeight =
        std::max(kTabAreaMinHeight, *std::max_element(heights_.begin(), heights_.end()));

    // "Reset to defaults", centred below the area.
    const char* reset = "Reset to defaults";
    const ImVec2 size = textSize(reset) + ImVec2(16.0f, 8.0f);
    ImGui::SetCursorScreenPos(ImVec2(origin.x + (width - size.x) * 0.5f, area.y + areaHeight + 16));
    if (textButton(reset, size, 0, white(0.45f), 6.0f)) frame.state.resetParams(effect.id);
    frame.items.recordLastItem("panel:Reset to defaults");
}

void EffectControls::colorsBody(GalleryFrame& frame, const std::string& id, float width,
                                bool live) {
    swatchRow(frame, "Background", frame.state.colorBinding(false, id), width, live);
    ImGui::Dummy(ImVec2(0.0f, 16.0f));
    swatchRow(frame, "Accent", frame.state.colorBinding(true, id), width, live);
}

void EffectControls::motionBody(GalleryFrame& frame, const std::string& id, float width,
                                bool live) {
    for (const MotionRow& row : kMotionRows) {
        if (&row != kMotionRows) ImGui::Dummy(ImVec2(0.0f, 14.0f));
        paramRow(frame, row.label, frame.state.paramBinding(row.field, id), row.range, row.format,
                 width, live);
    }
}

void EffectControls::styleBody(GalleryFrame& frame, const ShaderEffect& effect, float width,
                               bool live) {
    const auto& first = effect.defaults.custom1;
    const auto& second = effect.defaults.custom2;
    if (first)
        paramRow(frame, capitalised(first->label), frame.state.customBinding(1, effect.id),
                 first->range, ValueFormat::whole, width, live);
    if (first && second) ImGui::Dummy(ImVec2(0.0f, 14.0f));
    if (second)
        paramRow(frame, capitalised(second->label), frame.state.customBinding(2, effect.id),
                 second->range, ValueFormat::hundredths, width, live);
    if (!first && !second) {
        FontScope font(FontFace::text, FontWeight::regular, 11);
        ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1, 1, 1, 0.45f));
        ImGui::TextUnformatted("This backdrop has no unique settings.");
        ImGui::PopStyleColor();
    }
}

void EffectControls::paramRow(GalleryFrame& frame, const std::string& label, Binding<float> value,
                              ClosedRange range, ValueFormat format, float width, bool live) {
    ImGui::PushID(label.c_str());
    ImDrawList* list = ImGui::GetWindowDrawList();
    const ImVec2 top = ImGui::GetCursorScreenPos();
    float lineHeight = 0.0f;
    {
        FontScope font(FontFace::text, FontWeight::medium, 11);
        list->AddText(top, white(0.7f), label.c_str());
        lineHeight = ImGui::GetTextLineHeight();
    }
    {
        FontScope font(FontFace::mono, FontWeight::medium, 10);
        const std::string text = valueText(format, value.get());
        const ImVec2 size = textSize(text.c_str());
        list->AddText(ImVec2(top.x + width - size.x, top.y + (lineHeight - size.y) * 0.5f),
                      white(0.35f), text.c_str());
    }
    ImGui::SetCursorScreenPos(ImVec2(top.x, top.y + lineHeight + 7.0f));
    float v = value.get();
    if (slider("##slider", &v, range.lower, range.upper, width, frame.state.accent())) value.set(v);
    if (live) frame.items.recordLastItem("slider:" + label);
    ImGui::PopID();
}

void EffectControls::swatchRow(GalleryFrame& frame, const char* label, Binding<Rgba> color,
                               float width, bool live) {
    constexpr float kSwatch = 22.0f;
    ImGui::PushID(label);
    ImDrawList* list = ImGui::GetWindowDrawList();
    const ImVec2 top = ImGui::GetCursorScreenPos();
    {
        FontScope font(FontFace::text, FontWeight::medium, 11);
        list->AddText(ImVec2(top.x, top.y + (kSwatch - ImGui::GetTextLineHeight()) * 0.5f),
                      white(0.7f), label);
    }
    const ImVec2 at(top.x + width - kSwatch, top.y);
    ImGui::SetCursorScreenPos(at);
    const bool clicked = ImGui::InvisibleButton("##swatch", ImVec2(kSwatch, kSwatch));
    if (live) frame.items.recordLastItem(std::string("swatch:") + label);
    const Rgba current = color.get();
    const ImVec2 centre = at + ImVec2(kSwatch, kSwatch) * 0.5f;
    drawShadow(list, ImRect(at, at + ImVec2(kSwatch, kSwatch)), kSwatch * 0.5f, 0.4f, 3.0f,
               ImVec2(0.0f, 1.0f));
    list->AddCircleFilled(centre, kSwatch * 0.5f, colour(current), 24);
    list->AddCircle(centre, kSwatch * 0.5f - 0.5f, white(0.3f), 24, 1.0f);
    if (clicked) ImGui::OpenPopup("##palette");

    // Centred under the swatch as far as the window lets it; the arrow stays on the swatch.
    constexpr float kPaletteWidth = 190.0f, kMargin = 8.0f;
    const float left = std::clamp(centre.x - kPaletteWidth * 0.5f, kMargin,
                                  std::max(kMargin, frame.window.x - kMargin - kPaletteWidth));
    ImGui::SetNextWindowPos(ImVec2(left, at.y + kSwatch + 10.0f), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(kPaletteWidth, 0.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(14.0f, 14.0f));
    if (ImGui::BeginPopup("##palette", ImGuiWindowFlags_NoMove)) {
        paletteArrow(ImVec2(centre.x, at.y + kSwatch));
        // Columns 26 wide, rows as tall as their 24-point dots, 8 apart both ways.
        constexpr float kColumn = 26.0f, kGap = 8.0f, kDot = 24.0f;
        const ImVec2 grid = ImGui::GetCursorScreenPos();
        for (std::size_t i = 0; i < kPresetColors.size(); ++i) {
            const ImVec2 cell(grid.x + static_cast<float>(i % 5) * (kColumn + kGap),
                              grid.y + static_cast<float>(i / 5) * (kDot + kGap));
            const ImVec2 dot = cell + ImVec2((kColumn - kDot) * 0.5f, 0.0f);
            ImGui::SetCursorScreenPos(dot);
            ImGui::PushID(static_cast<int>(i));
            if (ImGui::InvisibleButton("##preset", ImVec2(kDot, kDot))) color.set(kPresetColors[i]);
            ImGui::PopID();
            frame.items.recordLastItem("preset:" + std::to_string(i + 1));
            ImDrawList* popup = ImGui::GetWindowDrawList();
            const ImVec2 c = dot + ImVec2(kDot, kDot) * 0.5f;
            popup->AddCircleFilled(c, kDot * 0.5f, colour(kPresetColors[i]), 24);
            popup->AddCircle(c, kDot * 0.5f - 0.5f, white(0.25f), 24, 1.0f);
        }
        ImGui::SetCursorScreenPos(ImVec2(grid.x, grid.y + 2 * kDot + kGap + 12.0f));
        ImGui::Separator();
        ImGui::Dummy(ImVec2(0.0f, 8.0f));
        {
            FontScope font(FontFace::text, FontWeight::regular, 11);
            ImGui::TextUnformatted("Custom color");
        }
        ImGui::Dummy(ImVec2(0.0f, 4.0f));
        Rgba picked = color.get();
        float rgb[3] = {picked.r, picked.g, picked.b};
        ImGui::SetNextItemWidth(kPaletteWidth - 28.0f);
        if (ImGui::ColorPicker3("##Custom color", rgb,
                                ImGuiColorEditFlags_NoAlpha | ImGuiColorEditFlags_NoSidePreview |
                                    ImGuiColorEditFlags_NoSmallPreview |
                                    ImGuiColorEditFlags_NoInputs | ImGuiColorEditFlags_NoLabel))
            color.set(Rgba{rgb[0], rgb[1], rgb[2], 1.0f});
        frame.items.recordLastItem("picker:Custom color");
        ImGui::EndPopup();
    }
    ImGui::PopStyleVar();
    ImGui::SetCursorScreenPos(top);
    ImGui::Dummy(ImVec2(width, kSwatch));
    ImGui::PopID();
}

}  // namespace tavel::gallery
