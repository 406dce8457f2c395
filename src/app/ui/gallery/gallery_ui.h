#pragma once
// The gallery window's interface: a live stage of the browsed effect with floating glass
// panels over it (title pill, rail, control panel, shelf), the app settings popover, and
// the modal guide. Everything shown is read from AppState; every action is one call on it.
//
// Main thread only. Needs a current ImGui context (whose style it sets up when made) and
// a font atlas built from kGalleryFonts. Time comes only from io.DeltaTime; input only from
// ImGui's io (keys through io.KeyMap / io.KeysDown).

#include "app/core/app_state.h"
#include "app/ui/gallery/control_panel.h"
#include "app/ui/gallery/gallery_host.h"
#include "app/ui/gallery/gallery_modals.h"
#include "app/ui/gallery/gallery_rail.h"
#include "app/ui/gallery/gallery_shelf.h"
#include "app/ui/gallery/gallery_stage.h"
#include "app/ui/gallery/item_rects.h"
#include "app/ui/gallery/settings_pane.h"

#include <functional>
#include <optional>
#include <string_view>

namespace tavel {

// What the interface asks of the rest of the application.
struct GalleryServices {
    // The desktop's background settings (the guide's and the settings pane's button).
    std::function<void()> openWallpaperSettings;
    // The lock-screen video's encoding progress, 0...1; empty while no job runs.
    std::function<std::optional<double>()> lockVideoProgress;
    // The application's Logo image for the title, kTitleLogoPoints square; null: none.
    ImTextureID logo = nullptr;
};

class GalleryUi {
public:
    GalleryUi(AppState& state, GalleryPictures& pictures, GalleryWindowControls& controls,
              GalleryServices services);

    // Builds one whole window frame: call between ImGui::NewFrame() and ImGui::Render().
    void frame();
    // Opens the Live Lock Screen guide at the next frame.
    void showGuide();

    // Where the named item was drawn in the last frame; nothing when it was not drawn.
    std::optional<ImRect> itemRect(std::string_view name) const;

private:
    void keys();
    void backgroundPress(const gallery::GalleryFrame& frame);

    AppState& state_;
    GalleryPictures& pictures_;
    GalleryWindowControls& controls_;
    GalleryServices services_;
    gallery::ItemRects items_;
    gallery::GalleryStage stage_;
    gallery::GalleryRail rail_;
    gallery::ControlPanel panel_;
    gallery::GalleryShelf shelf_;
    gallery::SettingsPane settings_;
    gallery::GalleryModals modals_;
};

}  // namespace tavel
