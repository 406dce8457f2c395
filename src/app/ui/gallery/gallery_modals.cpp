#include "app/ui/gallery/gallery_modals.h"

#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"

namespace tavel::gallery {

namespace {

constexpr const char* kGuideId = "##guide";
constexpr const char* kMessageId = "##message";
constexpr float kWidth = 380.0f;
constexpr ImGuiWindowFlags kFlags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings |
                                    ImGuiWindowFlags_AlwaysAutoResize;

bool beginModal(const char* id, const GalleryFrame& frame) {
    ImGui::SetNextWindowPos(frame.window * 0.5f, ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(kWidth, 0.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(20.0f, 18.0f));
    const bool open = ImGui::BeginPopupModal(id, nullptr, kFlags);
    ImGui::PopStyleVar();
    return open;
}

void wrappedText(const char* text, FontWeight weight, float points, float alpha) {
    FontScope font(FontFace::text, weight, points);
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1, 1, 1, alpha));
    ImGui::PushTextWrapPos(kWidth - 20.0f);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
}

// Buttons at the trailing end, the first (the default) rightmost. The index clicked, or -1.
int buttons(GalleryFrame& frame, const char* prefix, std::initializer_list<const char*> labels) {
    FontScope font(FontFace::text, FontWeight::regular, 13);
    ImGui::Dummy(ImVec2(0.0f, 14.0f));
    const float y = ImGui::GetCursorScreenPos().y;
    float right = ImGui::GetWindowPos().x + kWidth - 20.0f;
    int clicked = -1, index = 0;
    for (const char* label : labels) {
        const ImVec2 size = textSize(label) + ImVec2(24.0f, 10.0f);
        right -= size.x;
        ImGui::SetCursorScreenPos(ImVec2(right, y));
        const ImU32 fill = index == 0 ? colour(frame.state.accent()) : white(0.14f);
        if (textButton(label, size, fill, white(1.0f), 6.0f)) clicked = index;
        frame.items.recordLastItem(std::string(prefix) + label);
        right -= 8.0f;
        ++index;
    }
    return clicked;
}

}  // namespace

void GalleryModals::draw(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings) {
    if (guideWanted_) ImGui::OpenPopup(kGuideId), guideWanted_ = false;
    guide(frame, openWallpaperSettings);
    if (messageWanted_ && !ImGui::IsPopupOpen(kGuideId))
        ImGui::OpenPopup(kMessageId), messageWanted_ = false;
    message(frame);
}

void GalleryModals::guide(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings) {
    if (!beginModal(kGuideId, frame)) return;
    wrappedText("One-time setup for Live Lock Screen", FontWeight::bold, 13, 1.0f);
    ImGui::Dummy(ImVec2(0.0f, 6.0f));
    wrappedText(
        "Lock screens on Linux play motion only through a video saver, such as "
        "xsecurelock's. Tavel streams your backdrop into the video slot in your Videos folder "
        "that such savers play.\n\nSet up your screen locker to play that video once. After "
        "that, your Lock Screen always follows your backdrop automatically.",
        FontWeight::regular, 11, 0.8f);
    const int clicked = buttons(frame, "guide:", {"Open Background Settings", "Later"});
    if (clicked == 0 && openWallpaperSettings) openWallpaperSettings();
    if (clicked >= 0) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

void GalleryModals::message(GalleryFrame& frame) {
    if (!beginModal(kMessageId, frame)) return;
    wrappedText(message_.c_str(), FontWeight::regular, 13, 0.9f);
    if (buttons(frame, "message:", {"OK"}) == 0) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

}  // namespace tavel::gallery
