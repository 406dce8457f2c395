#include "app/ui/gallery/gallery_ui.h"

#include "app/ui/gallery/gallery_chrome.h"
#include "app/ui/gallery/gallery_style.h"

namespace tavel {

namespace {

constexpr float kWindowRadius = 28.0f;
constexpr ImGuiWindowFlags kWindowFlags =
    ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
    ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoBringToFrontOnFocus |
    ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoFocusOnAppearing;

bool pressed(ImGuiKey key) {
    const int index = ImGui::GetKeyIndex(key);
    return index >= 0 && ImGui::IsKeyPressed(index);
}

}  // namespace

GalleryUi::GalleryUi(AppState& state, GalleryPictures& pictures, GalleryWindowControls& controls,
                     GalleryServices services)
    : state_(state), pictures_(pictures), controls_(controls), services_(std::move(services)) {
    gallery::applyGalleryStyle(ImGui::GetStyle());
}

void GalleryUi::showGuide() {
    modals_.requestGuide();
}

std::optional<ImRect> GalleryUi::itemRect(std::string_view name) const {
    return items_.find(name);
}

void GalleryUi::frame() {
    const ImGuiIO& io = ImGui::GetIO();
    gallery::GalleryFrame frame{state_,
                                pictures_,
                                items_,
                                io.DisplaySize,
                                io.DisplayFramebufferScale,
                                io.DeltaTime,
                                gallery::stageSlot(state_.browsedEffect().id),
                                {}};
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 0));
    ImGui::Begin("##gallery", nullptr, kWindowFlags);

    // Back to front.
    stage_.draw(frame, controls_.roundedCorners() ? kWindowRadius : 0.0f);
    gallery::drawTitlePill(frame, services_.logo);
    gallery::drawWindowControls(frame, controls_);
    const auto rail = rail_.draw(frame);
    if (rail.gearClicked) settings_.toggle();
    panel_.draw(frame);
    shelf_.draw(frame);

    gallery::SettingsActions actions{
        services_.openWallpaperSettings, services_.lockVideoProgress,
        [this](std::string text) { modals_.requestMessage(std::move(text)); }};
    settings_.draw(frame, rail.gear, actions);
    modals_.draw(frame, services_.openWallpaperSettings);

    keys();
    backgroundPress(frame);
    ImGui::End();
    ImGui::PopStyleVar(3);
    items_.finishFrame();
}

void GalleryUi::keys() {
    // A popover or dialog in front has the keyboard.
    if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel)) return;
    if (pressed(ImGuiKey_LeftArrow)) state_.browse(-1);
    if (pressed(ImGuiKey_RightArrow)) state_.browse(1);
    if (pressed(ImGuiKey_Enter) || pressed(ImGuiKey_KeyPadEnter)) state_.applyBrowsed();
}

void GalleryUi::backgroundPress(const gallery::GalleryFrame& frame) {
    if (!ImGui::IsMouseClicked(ImGuiMouseButton_Left)) return;
    // Only the gallery window itself, not a popover over it nor the shelf inside it.
    if (!ImGui::IsWindowHovered() || ImGui::IsAnyItemHovered()) return;
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    for (const ImRect& panel : frame.panels)
        if (panel.Contains(mouse)) return;
    controls_.beginMove();
}

}  // namespace tavel
