#include "app/ui/gallery/gallery_style.h"

namespace tavel::gallery {

void applyGalleryStyle(ImGuiStyle& style) {
    ImGui::StyleColorsDark(&style);
    // Disabled controls are dimmed where they are drawn, so that a faded, inactive tab
    // body stays exactly as transparent as its fade says.
    style.DisabledAlpha = 1.0f;
    style.WindowRounding = 12.0f;
    style.PopupRounding = 12.0f;
    style.FrameRounding = 6.0f;
    style.GrabRounding = 6.0f;
    style.PopupBorderSize = 1.0f;
    style.WindowBorderSize = 1.0f;
    style.FramePadding = ImVec2(8.0f, 4.0f);
    style.ItemSpacing = ImVec2(8.0f, 6.0f);
    style.ScrollbarSize = 0.0f;
    ImVec4* c = style.Colors;
    c[ImGuiCol_Text] = ImVec4(1.0f, 1.0f, 1.0f, 0.92f);
    c[ImGuiCol_TextDisabled] = ImVec4(1.0f, 1.0f, 1.0f, 0.4f);
    c[ImGuiCol_WindowBg] = ImVec4(0.12f, 0.12f, 0.14f, 0.97f);
    c[ImGuiCol_PopupBg] = ImVec4(0.13f, 0.13f, 0.15f, 0.97f);
    c[ImGuiCol_Border] = ImVec4(1.0f, 1.0f, 1.0f, 0.14f);
    c[ImGuiCol_FrameBg] = ImVec4(1.0f, 1.0f, 1.0f, 0.09f);
    c[ImGuiCol_FrameBgHovered] = ImVec4(1.0f, 1.0f, 1.0f, 0.14f);
    c[ImGuiCol_FrameBgActive] = ImVec4(1.0f, 1.0f, 1.0f, 0.18f);
    c[ImGuiCol_Button] = ImVec4(1.0f, 1.0f, 1.0f, 0.12f);
    c[ImGuiCol_ButtonHovered] = ImVec4(1.0f, 1.0f, 1.0f, 0.18f);
    c[ImGuiCol_ButtonActive] = ImVec4(1.0f, 1.0f, 1.0f, 0.24f);
    c[ImGuiCol_Header] = ImVec4(1.0f, 1.0f, 1.0f, 0.12f);
    c[ImGuiCol_HeaderHovered] = ImVec4(1.0f, 1.0f, 1.0f, 0.18f);
    c[ImGuiCol_HeaderActive] = ImVec4(1.0f, 1.0f, 1.0f, 0.24f);
    c[ImGuiCol_Separator] = ImVec4(1.0f, 1.0f, 1.0f, 0.1f);
    // Dialogs do not dim the window: a dimming layer would ignore its rounded corners.
    c[ImGuiCol_ModalWindowDimBg] = ImVec4(0.0f, 0.0f, 0.0f, 0.0f);
}

}  // namespace tavel::gallery
