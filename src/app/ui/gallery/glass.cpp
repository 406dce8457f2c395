#include "app/ui/gallery/glass.h"

#include "app/ui/gallery/gallery_theme.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace tavel::gallery {

namespace {

constexpr int kCornerSegments = 8;
constexpr int kContourPoints = 4 * (kCornerSegments + 1);
// Contours of the shadow from three deviations inside the edge to three outside; the
// opacity between two of them is interpolated linearly.
constexpr int kRings = 12;
constexpr float kReach = 3.0f;

using Contour = std::array<ImVec2, kContourPoints>;

// The outline of `shape` grown by `grow` points (shrunk when negative), its corners rounded
// by the grown radius: the same number of points whatever the size, so that contours pair.
Contour contour(const ImRect& shape, float radius, float grow) {
    const ImVec2 centre = shape.GetCenter();
    const ImVec2 half(std::max(0.0f, shape.GetWidth() * 0.5f + grow),
                      std::max(0.0f, shape.GetHeight() * 0.5f + grow));
    const float r = std::clamp(radius + grow, 0.0f, std::min(half.x, half.y));
    const ImVec2 inner(half.x - r, half.y - r);
    // Corner centres clockwise from the top left, each with the angle its arc starts at.
    const ImVec2 corners[4] = {
        {-inner.x, -inner.y}, {inner.x, -inner.y}, {inner.x, inner.y}, {-inner.x, inner.y}};
    constexpr float kQuarter = std::numbers::pi_v<float> * 0.5f;
    Contour points;
    int i = 0;
    for (int c = 0; c < 4; ++c)
        for (int s = 0; s <= kCornerSegments; ++s) {
            const float a =
                kQuarter * (static_cast<float>(c) + 2.0f + static_cast<float>(s) / kCornerSegments);
            points[i++] = centre + corners[c] + ImVec2(std::cos(a), std::sin(a)) * r;
        }
    return points;
}

}  // namespace

void drawShadow(ImDrawList* list, const ImRect& shape, float cornerRadius, float opacity,
                float radius, ImVec2 offset) {
    const ImRect moved(shape.Min + offset, shape.Max + offset);
    if (radius <= 0.0f) {
        list->AddRectFilled(moved.Min, moved.Max, black(opacity), cornerRadius);
        return;
    }
    const float deviation = radius * 0.5f;
    const ImVec2 uv = list->_Data->TexUvWhitePixel;
    constexpr int kVertices = (kRings + 1) * kContourPoints + 1;
    constexpr int kIndices = kContourPoints * 3 + kRings * kContourPoints * 6;
    list->PrimReserve(kIndices, kVertices);
    const auto base = static_cast<ImDrawIdx>(list->_VtxCurrentIdx);
    // Opacity at a distance from the edge: a straight edge blurred by the Gaussian.
    auto alphaAt = [&](float distance) {
        return opacity * 0.5f * std::erfc(distance / (deviation * std::numbers::sqrt2_v<float>));
    };
    list->PrimWriteVtx(moved.GetCenter(), uv, black(alphaAt(-kReach * deviation)));
    for (int ring = 0; ring <= kRings; ++ring) {
        const float distance = kReach * deviation * (2.0f * ring / kRings - 1.0f);
        const ImU32 colour = black(alphaAt(distance));
        for (const ImVec2& p : contour(moved, cornerRadius, distance))
            list->PrimWriteVtx(p, uv, colour);
    }
    auto at = [base](int ring, int point) {
        return static_cast<ImDrawIdx>(base + 1 + ring * kContourPoints + point % kContourPoints);
    };
    // The inside as a fan, then a band of two triangles per point between the contours.
    for (int p = 0; p < kContourPoints; ++p) {
        list->PrimWriteIdx(base);
        list->PrimWriteIdx(at(0, p));
        list->PrimWriteIdx(at(0, p + 1));
    }
    for (int ring = 0; ring < kRings; ++ring)
        for (int p = 0; p < kContourPoints; ++p) {
            list->PrimWriteIdx(at(ring, p));
            list->PrimWriteIdx(at(ring + 1, p));
            list->PrimWriteIdx(at(ring + 1, p + 1));
            list->PrimWriteIdx(at(ring, p));
            list->PrimWriteIdx(at(ring + 1, p + 1));
            list->PrimWriteIdx(at(ring, p + 1));
        }
}

void drawGlass(ImDrawList* list, const ImRect& panel, const GlassStyle& style, ImTextureID blurred,
               const ImRect& blurredArea) {
    const float radius = style.cornerRadius;
    const float clarity = std::clamp(style.clarity, 0.0f, 1.0f);
    drawShadow(list, panel, radius, style.shadowOpacity, style.shadowRadius,
               ImVec2(0.0f, style.shadowOffsetY));
    const ImVec2 area = blurredArea.GetSize();
    if (blurred && area.x > 0 && area.y > 0) {
        const ImVec2 uv0((panel.Min - blurredArea.Min) / area);
        const ImVec2 uv1((panel.Max - blurredArea.Min) / area);
        list->AddImageRounded(blurred, panel.Min, panel.Max, uv0, uv1, white(clarity), radius);
        // The "menu" material: a dark veil over the blur, lighter where clarity is low.
        list->AddRectFilled(panel.Min, panel.Max,
                            ImGui::GetColorU32(ImVec4(0.1f, 0.1f, 0.12f, 0.42f * clarity)), radius);
    } else {
        list->AddRectFilled(panel.Min, panel.Max,
                            ImGui::GetColorU32(ImVec4(0.11f, 0.11f, 0.13f, 0.78f * clarity)),
                            radius);
    }
    // The hairline belongs to the backing: it fades with it.
    list->AddRect(panel.Min, panel.Max, white(0.22f * clarity), radius, 0, 1.0f);
}

}  // namespace tavel::gallery
