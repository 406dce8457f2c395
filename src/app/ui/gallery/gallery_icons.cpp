#include "app/ui/gallery/gallery_icons.h"

#include <imgui_internal.h>

#include <cmath>
#include <numbers>

namespace tavel::gallery {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void arrowHead(ImDrawList* list, ImVec2 tip, ImVec2 direction, float size, ImU32 colour) {
    const ImVec2 back = tip - direction * size;
    const ImVec2 side(-direction.y * size * 0.6f, direction.x * size * 0.6f);
    list->AddTriangleFilled(tip, back + side, back - side, colour);
}

void shuffle(ImDrawList* list, ImVec2 c, float s, ImU32 colour) {
    const float h = s * 0.5f, t = s * 0.11f;
    const ImVec2 a0 = c + ImVec2(-h, -h * 0.55f), a1 = c + ImVec2(h * 0.7f, h * 0.55f);
    const ImVec2 b0 = c + ImVec2(-h, h * 0.55f), b1 = c + ImVec2(h * 0.7f, -h * 0.55f);
    list->AddBezierCubic(a0, a0 + ImVec2(s * 0.5f, 0), a1 - ImVec2(s * 0.5f, 0), a1, colour, t);
    list->AddBezierCubic(b0, b0 + ImVec2(s * 0.5f, 0), b1 - ImVec2(s * 0.5f, 0), b1, colour, t);
    arrowHead(list, a1 + ImVec2(h * 0.3f, 0), ImVec2(1, 0), h * 0.45f, colour);
    arrowHead(list, b1 + ImVec2(h * 0.3f, 0), ImVec2(1, 0), h * 0.45f, colour);
}

void gear(ImDrawList* list, ImVec2 c, float s, ImU32 colour) {
    constexpr int kTeeth = 8;
    const float outer = s * 0.5f, inner = s * 0.33f;
    // Each tooth is a small quad standing on the ring.
    for (int i = 0; i < kTeeth; ++i) {
        const float a = 2.0f * kPi * static_cast<float>(i) / kTeeth;
        const float w = kPi / kTeeth * 0.55f;
        const ImVec2 p[4] = {
            c + ImVec2(std::cos(a - w), std::sin(a - w)) * inner,
            c + ImVec2(std::cos(a - w * 0.7f), std::sin(a - w * 0.7f)) * outer,
            c + ImVec2(std::cos(a + w * 0.7f), std::sin(a + w * 0.7f)) * outer,
            c + ImVec2(std::cos(a + w), std::sin(a + w)) * inner,
        };
        list->AddConvexPolyFilled(p, 4, colour);
    }
    // A thick ring leaves the hub open, so whatever is behind shows through it.
    list->AddCircle(c, s * 0.27f, colour, 24, s * 0.2f);
}

void logo(ImDrawList* list, ImVec2 c, float s, ImU32 colour) {
    const float r = s * 0.5f;
    list->AddCircle(c, r - s * 0.06f, colour, 24, s * 0.12f);
    // As the application's icon: the left half, from the bottom round to the top.
    list->PathArcTo(c, r - s * 0.06f, kPi * 0.5f, kPi * 1.5f, 16);
    list->PathFillConvex(colour);
}

}  // namespace

void drawIcon(ImDrawList* list, Icon icon, ImVec2 c, float s, ImU32 colour) {
    const float h = s * 0.5f;
    switch (icon) {
        case Icon::shuffle:
            return shuffle(list, c, s, colour);
        case Icon::play:
            return list->AddTriangleFilled(c + ImVec2(-h * 0.7f, -h * 0.85f),
                                           c + ImVec2(h * 0.9f, 0.0f),
                                           c + ImVec2(-h * 0.7f, h * 0.85f), colour);
        case Icon::pause:
            list->AddRectFilled(c + ImVec2(-h * 0.75f, -h * 0.85f),
                                c + ImVec2(-h * 0.2f, h * 0.85f), colour, s * 0.06f);
            list->AddRectFilled(c + ImVec2(h * 0.2f, -h * 0.85f), c + ImVec2(h * 0.75f, h * 0.85f),
                                colour, s * 0.06f);
            return;
        case Icon::gear:
            return gear(list, c, s, colour);
        case Icon::logo:
            return logo(list, c, s, colour);
        case Icon::close:
            list->AddLine(c + ImVec2(-h, -h), c + ImVec2(h, h), colour, s * 0.16f);
            list->AddLine(c + ImVec2(-h, h), c + ImVec2(h, -h), colour, s * 0.16f);
            return;
        case Icon::minimise:
            list->AddLine(c + ImVec2(-h, 0), c + ImVec2(h, 0), colour, s * 0.16f);
            return;
    }
}

}  // namespace tavel::gallery
