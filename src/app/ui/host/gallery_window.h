#pragma once
// The gallery window: a frameless GLFW window drawn with a GLX context (on X11 the desktop
// views' own, so their compiled programs serve its pictures; under a Wayland compositor
// one of its own through Xwayland, which the main thread binds in turn with the desktop's
// EGL context), Dear ImGui for its interface, and the window-manager side of its
// behaviour: our own move and resize, taskbar presence, rounded corners (cut by the X
// server, so no compositor is needed), the last size and place remembered. Made once at
// start and only hidden when closed.
//
// Main thread only. It draws only while shown and not minimised, from a timer of the
// main loop, so it shares the loop's time with the desktop views and never blocks them.
// What reaches the window from inside its own frame (a settings change made there asks
// for the guide, which shows the window and draws) waits until the frame is done: a
// frame cannot begin inside another.

#include "app/ui/gallery/gallery_host.h"
#include "app/ui/host/gallery_pacing.h"
#include "effects/log_sink.h"
#include "effects/offscreen/image.h"
#include "effects/shader_view.h"
#include "platform/preferences_store.h"
#include "platform/scheduler.h"
#include "platform/system_state.h"
#include "platform/weak_self.h"
#include "platform/x11/glx_context.h"

#include <asio/io_context.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace tavel {

class AppState;
class GalleryUi;
class LiveGalleryPictures;
struct GalleryPicturesServices;

struct GalleryWindowDependencies {
    asio::io_context& loop;
    Scheduler& scheduler;
    GlxContext& context;  // DesktopPlatform::galleryGl's: the desktop views' on X11
    ProgramCompiler& compiler;
    FrameRenderer& renderer;
    PreferencesStore& preferences;  // the application's domain: the window's frame
    LogSink& log;
    AppState& state;
    // The interface's own needs.
    std::function<void()> openWallpaperSettings;
    std::function<std::optional<double>()> lockVideoProgress;
    // Renders one still for HV_STATIC_PREVIEW away from the main thread (see
    // GalleryPicturesServices::renderStill).
    std::function<void(const ShaderEffect&, const ShaderParams&,
                       std::function<void(std::optional<Image>)>)>
        renderStill;
    // The application's Logo image fitted into a square of that many pixels, for the
    // title; empty, or none returned: the title shows the symbol.
    std::function<std::optional<Image>(int pixels)> logo = {};
};

class GalleryWindow final : public GalleryWindowControls, public ActivationControl {
public:
    static constexpr int kFramesPerSecond = 30;
    static constexpr double kWidth = 1020, kHeight = 660;        // points, at first
    static constexpr double kMinWidth = 1040, kMinHeight = 660;  // points
    static constexpr double kCornerRadius = 28;                  // points
    static constexpr const char* kFrameKey = "galleryFrame";

    // A failure when GLFW cannot open the display or the context cannot draw into its
    // window.
    static Result<std::unique_ptr<GalleryWindow>> create(GalleryWindowDependencies dependencies);
    ~GalleryWindow() override;
    GalleryWindow(const GalleryWindow&) = delete;
    GalleryWindow& operator=(const GalleryWindow&) = delete;

    // Shows the window (at its remembered place), brings it forward and starts drawing.
    void show();
    // Shows the window with the Live Lock Screen guide over it.
    void showGuide();
    bool shown() const { return shown_; }
    bool minimised() const { return minimised_; }
    std::uint64_t framesDrawn() const { return framesDrawn_; }
    // One frame now (the timer's tick; tests call it directly).
    void drawFrame();
    // For tests: the X window and the interface.
    unsigned long xWindow() const;
    GalleryUi& ui() { return *ui_; }
    LiveGalleryPictures& pictures() { return *pictures_; }

    // GalleryWindowControls.
    void beginMove() override;
    void close() override;
    void minimise() override;
    bool roundedCorners() const override { return rounded_; }

    // Runs after the window was hidden (closed); empty for none.
    std::function<void()> onHidden;

    // ActivationControl: taskbar presence; activation raises and focuses the window when
    // it is shown (it never opens a closed one).
    void setActivationPolicy(ActivationPolicy policy) override;
    void activate() override;

private:
    struct Native;
    explicit GalleryWindow(GalleryWindowDependencies dependencies);
    Result<void> open();
    // gallery_window_input.cpp: the GLFW input callbacks, what a frame's ImGui sees of
    // the input since the last one, and what waits for the next.
    void installInput();
    void feedInput(float scale);
    void endInputFrame();
    void watchEvents();
    void pumpEvents();
    void startDrawing();
    void stopDrawing();
    void refreshOutline();
    void rememberFrame();
    void restoreFrame();
    bool bindContext();
    void dropPictures();
    // Inside a frame: posts `step` to run after it and says so; false outside one.
    bool deferredFromFrame(void (GalleryWindow::*step)());

    GalleryWindowDependencies deps_;
    std::unique_ptr<Native> native_;
    std::unique_ptr<LiveGalleryPictures> pictures_;
    std::unique_ptr<GalleryUi> ui_;
    std::unique_ptr<FrameTimer> timer_;
    ActivationPolicy policy_ = ActivationPolicy::regular;
    double scale_ = 1.0;
    bool shown_ = false;
    bool minimised_ = false;
    bool rounded_ = false;
    bool inFrame_ = false;
    GalleryPacing pacing_;
    unsigned logoTexture_ = 0;
    std::uint64_t framesDrawn_ = 0;
    WeakSelf<GalleryWindow> self_{*this};
};

}  // namespace tavel
