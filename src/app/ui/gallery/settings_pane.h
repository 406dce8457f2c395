#pragma once
// The app settings popover that opens from the rail's gear: a grouped form of the
// application-wide settings ("Displays", "Playback", "Lock Screen & Screen Saver",
// "General"), 340 x 560 points, its arrow pointing at the gear. It keeps no values of its
// own: every control reads AppState each frame and writes straight into it.

#include "app/ui/gallery/gallery_frame.h"

#include <functional>
#include <optional>
#include <string>

namespace tavel::gallery {

struct SettingsActions {
    std::function<void()> openWallpaperSettings;
    // The lock-screen video's encoding progress, 0...1; empty while no job runs.
    std::function<std::optional<double>()> lockVideoProgress;
    // Shows the text installScreenSaver() returned.
    std::function<void(std::string)> showMessage;
};

class SettingsPane {
public:
    static constexpr const char* kPopupId = "##settings";

    // Opens or closes the popover; call where the gear is drawn, at the same ID level as
    // draw().
    void toggle();
    // Draws the popover while it is open, next to `gear`.
    void draw(GalleryFrame& frame, const ImRect& gear, const SettingsActions& actions);

private:
    void form(GalleryFrame& frame, const SettingsActions& actions);
};

}  // namespace tavel::gallery
