#pragma once
// The one OpenGL 3.3 core context (EGL on the Wayland display) that every window of a
// connection draws with, and the contexts shared with it that background threads
// compile in.
//
// Main thread only, except EglSharedContext::makeCurrent/release, which belong to the
// one thread that uses that shared context.

#include "platform/compile_context.h"
#include "platform/result.h"

#include <memory>
#include <string>

struct wl_display;
struct wl_egl_window;

namespace tavel {

class EglSharedContext;

class EglContext {
public:
    // A failure when the display has no EGL for Wayland, no RGB8 window config for desktop
    // OpenGL, or no OpenGL 3.3 core context. `display` must outlive the context. One
    // context per display.
    static Result<std::unique_ptr<EglContext>> create(wl_display* display);
    // After every surface and shared context is gone; ends EGL's use of the display.
    ~EglContext();
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;

    // The EGL surface of `window` (null when EGL refuses it). Frames drawn into it do not
    // wait for the compositor: pacing is the caller's.
    void* createSurface(wl_egl_window* window);
    // Unbinds the context if it is bound to `surface`, then destroys the surface: call
    // before destroying its wl_egl_window.
    void destroySurface(void* surface);
    // Binds the context to `surface` on the calling (main) thread; false when refused.
    bool makeCurrent(void* surface);
    // Shows what was drawn into `surface` (attaches a buffer and commits its wl_surface).
    void swapBuffers(void* surface);

    // A new context in this context's share group, for a background thread; nothing
    // when the driver cannot make one that binds without a surface.
    std::unique_ptr<EglSharedContext> createShared();

    // GL_RENDERER of the context ("llvmpipe (LLVM 15.0.6, 256 bits)", a GPU's name), read
    // once when it was made (or at the first bound surface where it cannot be bound
    // without one); empty until then.
    const std::string& renderer() const { return renderer_; }

private:
    EglContext() = default;

    void* display_ = nullptr;  // EGLDisplay
    void* config_ = nullptr;   // EGLConfig
    void* context_ = nullptr;  // EGLContext
    void* current_ = nullptr;  // the surface the context is bound to
    std::string renderer_;
};

// A context of the main context's share group, bound with no surface on one background
// thread.
class EglSharedContext final : public CompileContext {
public:
    ~EglSharedContext() override;
    EglSharedContext(const EglSharedContext&) = delete;
    EglSharedContext& operator=(const EglSharedContext&) = delete;

    // The using thread; false when refused.
    bool makeCurrent() override;
    // The using thread. Unbinds it, so it can be destroyed from another thread.
    void release() override;

private:
    friend class EglContext;
    EglSharedContext(void* display, void* context) : display_(display), context_(context) {}
    void* display_;
    void* context_;
};

}  // namespace tavel
