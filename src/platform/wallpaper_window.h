#pragma once
// Desktop-level windows, one per display, each holding one effect view.

#include "effects/catalog.h"
#include "effects/shader_params.h"
#include "platform/screen.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tavel {

// The settable face of the effect view inside a wallpaper window. Main thread only.
// Setting an effect with the identifier the view already shows does not recompile.
class WallpaperView {
public:
    virtual ~WallpaperView() = default;
    virtual void setEffect(const ShaderEffect& effect) = 0;
    virtual void setParams(const ShaderParams& params) = 0;
    virtual void setPreferredFramesPerSecond(std::int64_t fps) = 0;
    // Fraction of the backing resolution the view renders at (1.0 full, 0.5 half).
    virtual void setQualityScale(double scale) = 0;
    virtual void setRenderPaused(bool paused) = 0;

    // For reports: frames drawn so far, and whether the view is drawing now (neither
    // paused by its owner nor hidden).
    virtual std::uint64_t framesDrawn() const = 0;
    virtual bool isDrawing() const = 0;
};

// Behind the desktop icons of one screen: never focused, clicks pass through.
class WallpaperWindow {
public:
    virtual ~WallpaperWindow() = default;
    virtual WallpaperView& shaderView() = 0;
    // Shows the window (whatever the application's activation state).
    virtual void orderFront() = 0;
    // Hides it; the window is destroyed with its owner.
    virtual void orderOut() = 0;
    // For reports: what draws the display ("layer surface", "plasma plugin", ...).
    virtual std::string drawnBy() const = 0;
    // The name of the desktop program whose opaque window hides this one where its
    // effect cannot be shown over it ("Xfdesktop"); empty when nothing does.
    virtual std::string hiddenBy() const { return {}; }
    // Whether to cover such a program's window anyway: its icons are then hidden, and
    // every click still reaches it.
    virtual void setCoverDesktopProgram(bool) {}
};

class WallpaperWindowFactory {
public:
    virtual ~WallpaperWindowFactory() = default;
    // A new window on the screen's rectangle. Main thread.
    virtual std::unique_ptr<WallpaperWindow> makeWindow(const ScreenRecord& screen) = 0;
};

}  // namespace tavel
