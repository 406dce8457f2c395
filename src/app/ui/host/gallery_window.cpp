#include <epoxy/gl.h>

#include "app/ui/host/gallery_window.h"

#include "app/ui/host/gallery_window_native.h"

#include "app/ui/gallery/gallery_chrome.h"
#include "app/ui/gallery/gallery_ui.h"
#include "app/ui/host/gallery_font_loader.h"
#include "app/ui/host/gallery_frame.h"
#include "app/ui/host/gallery_pictures.h"
#include "app/ui/host/texture_surface.h"
#include "platform/x11/scheduler_frame_timer.h"
#include "platform/x11/x11_window_chrome.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <asio/posix/stream_descriptor.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace tavel {

Result<std::unique_ptr<GalleryWindow>> GalleryWindow::create(
    GalleryWindowDependencies dependencies) {
    std::unique_ptr<GalleryWindow> window(new GalleryWindow(std::move(dependencies)));
    if (Result<void> opened = window->open(); !opened) return Failure{opened.why()};
    return window;
}

GalleryWindow::GalleryWindow(GalleryWindowDependencies dependencies)
    : deps_(std::move(dependencies)), native_(std::make_unique<Native>()) {}

bool GalleryWindow::bindContext() {
    return deps_.context.makeCurrent(native_->drawable);
}

Result<void> GalleryWindow::open() {
    auto fail = [](const char* reason) { return Failure{reason}; };
    if (!glfwInit()) return fail("GLFW cannot open the display");
    glfwWindowHint(GLFW_CLIENT_API, GLFW_NO_API);  // drawn with the context it was given
    glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);
    glfwWindowHint(GLFW_FOCUS_ON_SHOW, GLFW_TRUE);
    glfwWindowHintString(GLFW_X11_CLASS_NAME, "Tavel");
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, "tavel");
    // The scale of the desktop (Xft.dpi / 96), as for the desktop views.
    float scaleX = 1, scaleY = 1;
    if (GLFWmonitor* monitor = glfwGetPrimaryMonitor())
        glfwGetMonitorContentScale(monitor, &scaleX, &scaleY);
    scale_ = std::clamp(static_cast<double>(scaleX), 1.0, 4.0);
    GLFWwindow* window = glfwCreateWindow(static_cast<int>(std::lround(kWidth * scale_)),
                                          static_cast<int>(std::lround(kHeight * scale_)), "Tavel",
                                          nullptr, nullptr);
    if (!window) return fail("GLFW cannot make a window");
    native_->window = window;
    glfwSetWindowUserPointer(window, this);
    glfwSetWindowSizeLimits(window, static_cast<int>(std::lround(kMinWidth * scale_)),
                            static_cast<int>(std::lround(kMinHeight * scale_)), GLFW_DONT_CARE,
                            GLFW_DONT_CARE);
    // The window is made on GLFW's own connection: the server must know it before the
    // context's connection asks for a drawable of it.
    XSync(glfwGetX11Display(), False);
    native_->drawable = deps_.context.createDrawable(glfwGetX11Window(window));
    if (native_->drawable == 0 || !bindContext())
        return fail("the OpenGL context cannot draw into the gallery window");

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // the window's state lives in the settings, not in a file
    io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;  // edges set their own cursors
    loadGalleryFonts(*io.Fonts, static_cast<float>(scale_), deps_.log);
    io.FontGlobalScale = static_cast<float>(1.0 / scale_);
    native_->imguiGlfw = ImGui_ImplGlfw_InitForOther(window, false);
    native_->imguiGl = ImGui_ImplOpenGL3_Init("#version 330 core");
    if (!native_->imguiGlfw || !native_->imguiGl)
        return fail("the interface cannot draw in the gallery window");

    native_->arrow = glfwCreateStandardCursor(GLFW_ARROW_CURSOR);
    native_->horizontal = glfwCreateStandardCursor(GLFW_HRESIZE_CURSOR);
    native_->vertical = glfwCreateStandardCursor(GLFW_VRESIZE_CURSOR);
    native_->cross = glfwCreateStandardCursor(GLFW_CROSSHAIR_CURSOR);

    installInput();
    glfwSetWindowCloseCallback(window, [](GLFWwindow* w) {
        // The window manager's close only hides it: the application keeps running.
        glfwSetWindowShouldClose(w, GLFW_FALSE);
        static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w))->close();
    });
    glfwSetWindowIconifyCallback(window, [](GLFWwindow* w, int iconified) {
        auto* self = static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w));
        self->minimised_ = iconified == GLFW_TRUE;
        if (self->minimised_)
            self->stopDrawing();
        else if (self->shown_)
            self->startDrawing();
    });
    glfwSetWindowSizeCallback(window, [](GLFWwindow* w, int, int) {
        auto* self = static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w));
        self->refreshOutline();
        self->rememberFrame();
    });
    glfwSetWindowPosCallback(window, [](GLFWwindow* w, int, int) {
        static_cast<GalleryWindow*>(glfwGetWindowUserPointer(w))->rememberFrame();
    });

    pictures_ = std::make_unique<LiveGalleryPictures>(
        GalleryPicturesServices{
            deps_.compiler, deps_.renderer,
            [&scheduler = deps_.scheduler] {
                return std::chrono::duration<double>(scheduler.now()).count();
            },
            deps_.log, [this] { return bindContext(); }, deps_.renderStill,
            [&state = deps_.state](ViewLimits wish) { return state.galleryBudgeted(wish); }},
        staticPreviewMode());
    // The logo at the title's size in pixels, drawn as it is: no scaling in GL.
    const int logoPixels = static_cast<int>(std::lround(gallery::kTitleLogoPoints * scale_));
    if (std::optional<Image> logo = deps_.logo ? deps_.logo(logoPixels) : std::nullopt)
        logoTexture_ = makeTexture(logo->width, logo->height, logo->bgra.data());
    ui_ = std::make_unique<GalleryUi>(
        deps_.state, *pictures_, *this,
        GalleryServices{
            deps_.openWallpaperSettings, deps_.lockVideoProgress,
            logoTexture_ ? reinterpret_cast<ImTextureID>(std::uintptr_t{logoTexture_}) : nullptr});
    timer_ = std::make_unique<SchedulerFrameTimer>(deps_.scheduler);
    restoreFrame();
    setShownInTaskbar(glfwGetX11Display(), glfwGetX11Window(window),
                      policy_ == ActivationPolicy::regular);
    watchEvents();
    return {};
}

GalleryWindow::~GalleryWindow() {
    self_.reset();
    if (timer_) stopDrawing();
    if (native_->events) {
        native_->events->cancel();
        native_->events->release();  // the descriptor is GLFW's connection
    }
    if (native_->window) rememberFrame();
    if (native_->drawable != 0 && bindContext()) {
        ui_.reset();
        pictures_.reset();
        if (logoTexture_) glDeleteTextures(1, &logoTexture_);
        if (native_->imguiGl) ImGui_ImplOpenGL3_Shutdown();
    }
    ui_.reset();
    pictures_.reset();
    if (native_->imguiGlfw) ImGui_ImplGlfw_Shutdown();
    if (ImGui::GetCurrentContext()) ImGui::DestroyContext();
    if (native_->drawable != 0) {
        deps_.context.destroyDrawable(native_->drawable);
        // Done before the window goes on GLFW's connection: afterwards the request would
        // fail, and a later window (which may get the same id) would take the blame.
        XSync(deps_.context.display(), False);
    }
    if (native_->window) {
        for (GLFWcursor* cursor :
             {native_->arrow, native_->horizontal, native_->vertical, native_->cross})
            if (cursor) glfwDestroyCursor(cursor);
        glfwDestroyWindow(native_->window);
    }
    glfwTerminate();
}

unsigned long GalleryWindow::xWindow() const {
    return glfwGetX11Window(native_->window);
}

void GalleryWindow::watchEvents() {
    if (!native_->events)
        native_->events = std::make_unique<asio::posix::stream_descriptor>(
            deps_.loop, ConnectionNumber(glfwGetX11Display()));
    native_->events->async_wait(asio::posix::stream_descriptor::wait_read,
                                [this](const std::error_code& error) {
                                    if (error) return;
                                    pumpEvents();
                                    watchEvents();
                                });
}

void GalleryWindow::pumpEvents() {
    if (XPending(glfwGetX11Display()) > 0) pacing_.wake(deps_.scheduler.now());
    glfwPollEvents();
    // A reply read on GLFW's connection may have queued events behind it; they would
    // wait for the next wake-up, so handle them now.
    if (QLength(glfwGetX11Display()) > 0) deps_.scheduler.post([this] { pumpEvents(); });
}

void GalleryWindow::startDrawing() {
    timer_->start(kFramesPerSecond, [this] { drawFrame(); });
    deps_.state.setGalleryOpen(true);
}

void GalleryWindow::stopDrawing() {
    timer_->stop();
    deps_.state.setGalleryOpen(false);
}

bool GalleryWindow::deferredFromFrame(void (GalleryWindow::*step)()) {
    if (!inFrame_) return false;
    deps_.scheduler.post(self_.guard([step](GalleryWindow& window) { (window.*step)(); }));
    return true;
}

void GalleryWindow::show() {
    if (deferredFromFrame(&GalleryWindow::show)) return;
    GLFWwindow* window = native_->window;
    if (!shown_) {
        setShownInTaskbar(glfwGetX11Display(), glfwGetX11Window(window),
                          policy_ == ActivationPolicy::regular);
        glfwShowWindow(window);
        shown_ = true;
        refreshOutline();
    }
    if (minimised_) glfwRestoreWindow(window);
    glfwFocusWindow(window);
    startDrawing();
    drawFrame();
}

void GalleryWindow::activate() {
    if (deferredFromFrame(&GalleryWindow::activate)) return;
    if (shown_) glfwFocusWindow(native_->window);
}

void GalleryWindow::showGuide() {
    ui_->showGuide();  // opened at the next frame
    show();
}

void GalleryWindow::close() {
    if (deferredFromFrame(&GalleryWindow::close)) return;
    if (!shown_) return;
    rememberFrame();
    stopDrawing();
    glfwHideWindow(native_->window);
    shown_ = false;
    dropPictures();
    if (auto hidden = onHidden) hidden();
}

void GalleryWindow::dropPictures() {
    // Two rounds with nothing asked for let every slot go: a hidden gallery keeps no
    // picture drawing and no texture of its size.
    if (bindContext()) {
        pictures_->endFrame();
        pictures_->endFrame();
    }
}

void GalleryWindow::minimise() {
    glfwIconifyWindow(native_->window);
}

void GalleryWindow::beginMove() {
    GLFWwindow* w = native_->window;
    double x = 0, y = 0;
    int left = 0, top = 0;
    glfwGetCursorPos(w, &x, &y);
    glfwGetWindowPos(w, &left, &top);
    native_->down[0] = false;
    beginWindowDrag(glfwGetX11Display(), glfwGetX11Window(w), WindowDrag::move,
                    left + static_cast<int>(x), top + static_cast<int>(y), 1);
}

void GalleryWindow::setActivationPolicy(ActivationPolicy policy) {
    policy_ = policy;
    if (native_->window)
        setShownInTaskbar(glfwGetX11Display(), glfwGetX11Window(native_->window),
                          policy == ActivationPolicy::regular);
}

void GalleryWindow::refreshOutline() {
    // The server's shape cuts the corners away with or without a compositor; the
    // interface rounds its own drawing only where they are cut.
    int width = 0, height = 0;
    glfwGetWindowSize(native_->window, &width, &height);
    rounded_ = setRoundedOutline(glfwGetX11Display(), glfwGetX11Window(native_->window), width,
                                 height, static_cast<int>(std::lround(kCornerRadius * scale_)));
}

void GalleryWindow::rememberFrame() {
    if (!shown_) return;
    GalleryFrame frame;
    glfwGetWindowPos(native_->window, &frame.x, &frame.y);
    glfwGetWindowSize(native_->window, &frame.width, &frame.height);
    std::string text = galleryFrameText(frame);
    auto stored = deps_.preferences.data(kFrameKey);
    if (stored && std::string(stored->begin(), stored->end()) == text) return;
    // Not kept: the next opening is centred instead.
    static_cast<void>(deps_.preferences.setData(kFrameKey, textBytes(text)));
}

void GalleryWindow::restoreFrame() {
    GLFWwindow* window = native_->window;
    if (auto stored = deps_.preferences.data(kFrameKey)) {
        Display* display = glfwGetX11Display();
        auto frame = restorableGalleryFrame(
            std::string_view(reinterpret_cast<const char*>(stored->data()), stored->size()),
            DisplayWidth(display, DefaultScreen(display)),
            DisplayHeight(display, DefaultScreen(display)));
        if (frame) {
            glfwSetWindowSize(window, frame->width, frame->height);
            glfwSetWindowPos(window, frame->x, frame->y);
            return;
        }
    }
    int width = 0, height = 0;
    glfwGetWindowSize(window, &width, &height);
    if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) {
        int areaX = 0, areaY = 0, areaWidth = 0, areaHeight = 0;
        glfwGetMonitorWorkarea(monitor, &areaX, &areaY, &areaWidth, &areaHeight);
        glfwSetWindowPos(window, areaX + std::max(0, (areaWidth - width) / 2),
                         areaY + std::max(0, (areaHeight - height) / 2));
    }
}

void GalleryWindow::drawFrame() {
    if (!shown_ || minimised_) return;
    const Duration now = deps_.scheduler.now();
    if (XPending(glfwGetX11Display()) > 0) pacing_.wake(now);
    glfwPollEvents();
    const ViewLimits pictures = deps_.state.galleryBudgeted(ViewLimits{1.0, kFramesPerSecond});
    if (!pacing_.due(now, pictures.fps, kFramesPerSecond)) return;
    if (!shown_ || minimised_ || !bindContext()) return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    // The interface works in points: the backend measured pixels.
    ImGuiIO& io = ImGui::GetIO();
    const float scale = static_cast<float>(scale_);
    int pixelWidth = 0, pixelHeight = 0;
    glfwGetFramebufferSize(native_->window, &pixelWidth, &pixelHeight);
    io.DisplaySize = ImVec2(pixelWidth / scale, pixelHeight / scale);
    io.DisplayFramebufferScale = ImVec2(scale, scale);
    feedInput(scale);
    ImGui::NewFrame();
    inFrame_ = true;
    ui_->frame();
    inFrame_ = false;
    ImGui::Render();
    endInputFrame();
    pictures_->endFrame();
    if (!bindContext()) return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, pixelWidth, pixelHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    deps_.context.swapBuffers(native_->drawable);
    ++framesDrawn_;
    if (QLength(glfwGetX11Display()) > 0) deps_.scheduler.post([this] { pumpEvents(); });
}

}  // namespace tavel
