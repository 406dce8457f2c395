#pragma once
// The desktop windows on Plasma: a display is drawn by Tavel's wallpaper plugin on its
// Plasma desktops while plasmashell has taken the plugin there, and by Tavel's own window
// (a layer surface, a desktop window) otherwise. The own window exists only while it
// draws: under a desktop that plasmashell draws it would only cost. Main thread only.

#include "platform/plasma_wallpapers.h"
#include "platform/wallpaper_window.h"

#include <memory>
#include <optional>

namespace tavel {

class PlasmaWallpaperWindow final : public WallpaperWindow, private WallpaperView {
public:
    // `own` makes Tavel's own window when it is needed; both must outlive this.
    PlasmaWallpaperWindow(WallpaperWindowFactory& own, PlasmaWallpapers& plasma,
                          const ScreenRecord& screen);
    ~PlasmaWallpaperWindow() override;
    PlasmaWallpaperWindow(const PlasmaWallpaperWindow&) = delete;
    PlasmaWallpaperWindow& operator=(const PlasmaWallpaperWindow&) = delete;

    WallpaperView& shaderView() override { return *this; }
    void orderFront() override;
    void orderOut() override;
    std::string drawnBy() const override;

private:
    // WallpaperView: kept here, and handed to whichever draws the display.
    void setEffect(const ShaderEffect& effect) override;
    void setParams(const ShaderParams& params) override;
    void setPreferredFramesPerSecond(std::int64_t fps) override;
    void setQualityScale(double scale) override;
    void setRenderPaused(bool paused) override;
    // The own window's frames (the plugin's are plasmashell's).
    std::uint64_t framesDrawn() const override;
    bool isDrawing() const override;

    // Hands the state to the plugin, or to the own window (made when missing).
    void follow();
    void tellPlugin();

    WallpaperWindowFactory& ownWindows_;
    PlasmaWallpapers& plasma_;
    ScreenRecord screen_;
    int handle_ = 0;
    std::optional<ShaderEffect> effect_;
    ShaderParams params_;
    std::int64_t fps_ = 30;
    double scale_ = 1;
    bool paused_ = false;
    bool shown_ = false;
    std::uint64_t earlierFrames_ = 0;  // of own windows that are gone
    std::unique_ptr<WallpaperWindow> own_;
};

class PlasmaWallpaperWindowFactory final : public WallpaperWindowFactory {
public:
    PlasmaWallpaperWindowFactory(WallpaperWindowFactory& own, PlasmaWallpapers& plasma)
        : own_(own), plasma_(plasma) {}
    std::unique_ptr<WallpaperWindow> makeWindow(const ScreenRecord& screen) override {
        return std::make_unique<PlasmaWallpaperWindow>(own_, plasma_, screen);
    }

private:
    WallpaperWindowFactory& own_;
    PlasmaWallpapers& plasma_;
};

}  // namespace tavel
