#pragma once
// What every piece of the gallery needs while one frame is built: the state it shows and
// edits, where pictures come from, where it notes its items and panels, and the frame's
// time and size. Lives for one frame.

#include "app/core/app_state.h"
#include "app/ui/gallery/gallery_host.h"
#include "app/ui/gallery/glass.h"
#include "app/ui/gallery/item_rects.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <string>
#include <vector>

namespace tavel::gallery {

// `area` narrowed to `aspect` (width / height) and centred in it, as a picture scaled to fit
// with its proportions kept; `area` itself for aspect 0.
inline ImRect fitted(const ImRect& area, float aspect) {
    const ImVec2 size = area.GetSize();
    if (aspect <= 0.0f || size.x <= 0.0f || size.y <= 0.0f) return area;
    const ImVec2 fit = size.x / size.y > aspect ? ImVec2(size.y * aspect, size.y)
                                                : ImVec2(size.x, size.x / aspect);
    const ImVec2 min = area.GetCenter() - fit * 0.5f;
    return ImRect(min, min + fit);
}

struct GalleryFrame {
    AppState& state;
    GalleryPictures& pictures;
    ItemRects& items;
    ImVec2 window;               // the window's size in points
    ImVec2 pixelScale;           // pixels per point
    float dt;                    // seconds since the last frame
    std::string stageSlot;       // the picture slot of the browsed effect on the stage
    std::vector<ImRect> panels;  // the glass panels drawn so far (a press there is no move)
    // Where the stage's picture lies: the whole window, or less for a still fitted into it.
    ImRect stagePicture{ImVec2(0, 0), window};

    // Draws the glass backing of a panel into the current window and notes the panel.
    void glass(const ImRect& panel, const GlassStyle& style) {
        drawGlass(ImGui::GetWindowDrawList(), panel, style, pictures.blurred(stageSlot),
                  stagePicture);
        panels.push_back(panel);
    }
};

}  // namespace tavel::gallery
