#pragma once
// The backdrop of one monitor on X11: a window on the monitor's rectangle, below every
// other window, or next to the desktop program's icon window where one lies over the
// monitor: directly above it, drawing its icons over the effect (x11_icon_overlay.h),
// where the program paints an opaque backdrop and the server can show its icons so;
// otherwise directly below it. x11_desktop_program.h keeps it there: it is
// override-redirect where that fits (window managers differ in what they let a
// desktop-type window do; xfwm4 lets it do nothing), else a managed desktop-type window
// restacked on request. Never focused, with an empty input shape so clicks reach what
// lies below. It still says what
// it is (a desktop-type window, on every workspace, out of taskbars and pagers) for anyone who
// looks. Main thread only.

#include "platform/wallpaper_window.h"
#include "platform/x11/x11_icon_overlay.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_view_window.h"

namespace tavel {

class X11WallpaperWindow final : public WallpaperWindow {
public:
    X11WallpaperWindow(const X11RenderServices& services, const ScreenRecord& screen);
    ~X11WallpaperWindow() override;
    X11WallpaperWindow(const X11WallpaperWindow&) = delete;
    X11WallpaperWindow& operator=(const X11WallpaperWindow&) = delete;

    WallpaperView& shaderView() override { return window_.face(); }
    // Maps it on its rectangle and lowers it: nothing else keeps it at the bottom.
    void orderFront() override;
    void orderOut() override;
    // The desktop program it stands next to, as last seen; nothing when none.
    const std::optional<DesktopProgramWindow>& desktopProgram() const { return program_; }
    // Whether it draws that program's icons over the effect (and stands above it).
    bool iconsOver() const { return iconsOver_; }
    std::string drawnBy() const override;
    std::string hiddenBy() const override;
    void setCoverDesktopProgram(bool cover) override;

    // For reports (frame counts) and tests.
    ShaderView& view() { return window_.view(); }
    Window xid() const { return window_.xid(); }

private:
    X11ViewWindow window_;
    X11CoverageWatcher* coverage_;
    int coverageWatch_ = 0;
    X11DesktopStackKeeper* stacking_;
    int stackingWatch_ = 0;
    std::optional<DesktopProgramWindow> program_;
    std::unique_ptr<X11IconOverlay> overlay_;
    bool iconsOver_ = false;
    bool cover_ = false;  // an opaque program's window, whose icons cannot be shown

    ProgramSide follow(const std::optional<DesktopProgramWindow>& program);
};

class X11WallpaperWindowFactory final : public WallpaperWindowFactory {
public:
    explicit X11WallpaperWindowFactory(const X11RenderServices& services) : services_(services) {}
    std::unique_ptr<WallpaperWindow> makeWindow(const ScreenRecord& screen) override {
        return makeX11Window(screen);
    }
    std::unique_ptr<X11WallpaperWindow> makeX11Window(const ScreenRecord& screen) {
        return std::make_unique<X11WallpaperWindow>(services_, screen);
    }

private:
    X11RenderServices services_;
};

}  // namespace tavel
