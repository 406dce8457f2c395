#include "app/ui/gallery/gallery_widgets.h"

#include "app/ui/gallery/gallery_theme.h"

#include <algorithm>

namespace tavel::gallery {

bool slider(const char* id, float* value, float lower, float upper, float width, Rgba tint) {
    constexpr float kHeight = 16.0f, kKnob = 7.0f, kTrack = 3.0f;
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton(id, ImVec2(width, kHeight));
    const float x0 = pos.x + kKnob, x1 = pos.x + width - kKnob;
    bool wrote = false;
    if (ImGui::IsItemActive() && x1 > x0) {
        const float t = (ImGui::GetIO().MousePos.x - x0) / (x1 - x0);
        const float v = t <= 0.0f ? lower : t >= 1.0f ? upper : lower + (upper - lower) * t;
        if (v != *value) *value = v, wrote = true;
    }
    const float t = upper > lower ? std::clamp((*value - lower) / (upper - lower), 0.0f, 1.0f) : 0;
    const float y = pos.y + kHeight * 0.5f, knobX = x0 + (x1 - x0) * t;
    ImDrawList* list = ImGui::GetWindowDrawList();
    list->AddRectFilled(ImVec2(x0, y - kTrack * 0.5f), ImVec2(x1, y + kTrack * 0.5f), white(0.18f),
                        kTrack * 0.5f);
    list->AddRectFilled(ImVec2(x0, y - kTrack * 0.5f), ImVec2(knobX, y + kTrack * 0.5f),
                        colour(tint), kTrack * 0.5f);
    list->AddCircleFilled(ImVec2(knobX, y + 0.8f), kKnob, black(0.3f), 20);
    list->AddCircleFilled(ImVec2(knobX, y), kKnob, white(ImGui::IsItemActive() ? 0.85f : 1.0f), 20);
    return wrote;
}

bool toggleSwitch(const char* id, bool on, Rgba tint) {
    const ImVec2 size(32.0f, 18.0f);
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const bool clicked = ImGui::InvisibleButton(id, size);
    ImDrawList* list = ImGui::GetWindowDrawList();
    const float r = size.y * 0.5f;
    list->AddRectFilled(pos, pos + size, on ? colour(tint) : white(0.16f), r);
    const ImVec2 knob(on ? pos.x + size.x - r : pos.x + r, pos.y + r);
    list->AddCircleFilled(knob, r - 2.0f, white(1.0f), 20);
    return clicked;
}

int segmented(const char* id, const std::vector<std::string>& items, int selected, float width,
              float height, ItemRects& rects, const std::string& name) {
    if (items.empty()) return -1;
    ImGui::PushID(id);
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    ImDrawList* list = ImGui::GetWindowDrawList();
    list->AddRectFilled(pos, pos + ImVec2(width, height), white(0.08f), 7.0f);
    const float segment = width / static_cast<float>(items.size());
    int clicked = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ImVec2 p(pos.x + segment * static_cast<float>(i), pos.y);
        ImGui::SetCursorScreenPos(p);
        ImGui::PushID(static_cast<int>(i));
        if (ImGui::InvisibleButton("##segment", ImVec2(segment, height)))
            clicked = static_cast<int>(i);
        ImGui::PopID();
        rects.recordLastItem(name + ":" + items[i]);
        const bool on = static_cast<int>(i) == selected;
        if (on)
            list->AddRectFilled(p + ImVec2(2, 2), p + ImVec2(segment - 2, height - 2), white(0.2f),
                                5.5f);
        const ImVec2 text = ImGui::CalcTextSize(items[i].c_str());
        list->AddText(p + ImVec2((segment - text.x) * 0.5f, (height - text.y) * 0.5f),
                      white(on || ImGui::IsItemHovered() ? 0.95f : 0.6f), items[i].c_str());
    }
    ImGui::SetCursorScreenPos(pos);
    ImGui::Dummy(ImVec2(width, height));
    ImGui::PopID();
    return clicked;
}

bool textButton(const char* label, ImVec2 size, ImU32 fill, ImU32 text, float rounding) {
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const bool clicked = ImGui::InvisibleButton(label, size);
    ImDrawList* list = ImGui::GetWindowDrawList();
    if (fill & IM_COL32_A_MASK) list->AddRectFilled(pos, pos + size, fill, rounding);
    if (ImGui::IsItemHovered())
        list->AddRectFilled(pos, pos + size, white(ImGui::IsItemActive() ? 0.12f : 0.06f),
                            rounding);
    // Only the part before "##" is shown, as ImGui does for its own labels.
    const char* end = ImGui::FindRenderedTextEnd(label);
    const ImVec2 t = ImGui::CalcTextSize(label, end);
    list->AddText(pos + (size - t) * 0.5f, text, label, end);
    return clicked;
}

void letterSpacedText(const char* text, float spacing, ImU32 colour) {
    ImFont* font = ImGui::GetFont();
    const float size = ImGui::GetFontSize();
    const ImVec2 start = ImGui::GetCursorScreenPos();
    ImVec2 pos = start;
    ImDrawList* list = ImGui::GetWindowDrawList();
    for (const char* s = text; *s;) {
        unsigned int c = 0;
        const int n = ImTextCharFromUtf8(&c, s, nullptr);
        if (n <= 0) break;
        list->AddText(font, size, pos, colour, s, s + n);
        pos.x += font->CalcTextSizeA(size, 1e9f, 0.0f, s, s + n).x + spacing;
        s += n;
    }
    ImGui::Dummy(ImVec2(std::max(pos.x - start.x - spacing, 0.0f), size));
}

void delayedTooltip(const char* text) {
    delayedTooltip(text, ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled));
}

void delayedTooltip(const char* text, bool hovered) {
    constexpr float kDelay = 0.5f;
    // The hover time lives in the window's storage, keyed by the item.
    ImGuiStorage* storage = ImGui::GetStateStorage();
    float& since = *storage->GetFloatRef(ImGui::GetItemID() ^ ImGui::GetID("##tooltip"), 0.0f);
    if (!hovered) {
        since = 0.0f;
        return;
    }
    since += ImGui::GetIO().DeltaTime;
    if (since < kDelay) return;
    // The gallery builds its frame without window padding; a tooltip needs its own.
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8.0f, 5.0f));
    ImGui::SetTooltip("%s", text);
    ImGui::PopStyleVar();
}

}  // namespace tavel::gallery
