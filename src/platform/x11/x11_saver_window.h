#pragma once
// The idle saver's windows on X11: override-redirect windows on a monitor's rectangle,
// raised above every other window. The fade is drawn by the view (black over the
// effect), so it works without a compositor. Input on them is reported to the factory's
// input handler. Main thread only.

#include "platform/idle.h"
#include "platform/x11/x11_render_services.h"
#include "platform/x11/x11_view_window.h"

#include <functional>
#include <memory>

namespace tavel {

// Where a factory's windows report input; shared by the factory and its windows, so a
// handler set later reaches windows already made.
struct X11SaverInputRelay {
    std::function<void()> handler;
    bool pending = false;  // a report is queued on the main loop
};

class X11SaverWindow final : public SaverWindow {
public:
    X11SaverWindow(const X11RenderServices& services, const ScreenRecord& screen,
                   std::shared_ptr<X11SaverInputRelay> relay);

    WallpaperView& shaderView() override { return window_.face(); }
    // 0 black ... 1 the effect; values outside are clamped when drawn.
    void setAlpha(double alpha) override { window_.view().setFade(static_cast<float>(alpha)); }
    // Maps it on its rectangle above everything.
    void orderFront() override;
    void orderOut() override;

    ShaderView& view() { return window_.view(); }
    Window xid() const { return window_.xid(); }

private:
    X11ViewWindow window_;
};

class X11SaverWindowFactory final : public SaverWindowFactory {
public:
    explicit X11SaverWindowFactory(const X11RenderServices& services) : services_(services) {}
    std::unique_ptr<SaverWindow> makeSaverWindow(const ScreenRecord& screen) override {
        return makeX11SaverWindow(screen);
    }
    std::unique_ptr<X11SaverWindow> makeX11SaverWindow(const ScreenRecord& screen) {
        return std::make_unique<X11SaverWindow>(services_, screen, relay_);
    }

    // Main thread. Runs on the main loop soon after a key press, button press
    // (scrolling included) or pointer motion on any of its windows (a burst of them may
    // be one call); empty for none.
    void setInputHandler(std::function<void()> handler) { relay_->handler = std::move(handler); }

private:
    X11RenderServices services_;
    std::shared_ptr<X11SaverInputRelay> relay_ = std::make_shared<X11SaverInputRelay>();
};

}  // namespace tavel
