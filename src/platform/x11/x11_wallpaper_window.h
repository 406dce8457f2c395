#pragma once
// The backdrop of one monitor on X11: a desktop-type window on the monitor's rectangle,
// below every other window, on every workspace, out of taskbars and pagers, never
// focused, with an empty input shape so clicks reach what lies below. Main thread only.

#include "platform/wallpaper_window.h"
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
    // Maps it on its rectangle and lowers it: without a window manager nothing else
    // keeps it at the bottom.
    void orderFront() override;
    void orderOut() override;
    std::string drawnBy() const override { return "desktop window"; }

    // For reports (frame counts) and tests.
    ShaderView& view() { return window_.view(); }
    Window xid() const { return window_.xid(); }

private:
    X11ViewWindow window_;
    X11CoverageWatcher* coverage_;
    int coverageWatch_ = 0;
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
