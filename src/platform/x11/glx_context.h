#pragma once
// The one OpenGL 3.3 core context (GLX) that every window of a connection draws with,
// and the contexts shared with it that background threads compile in.
//
// Main thread only, except GlxSharedContext::makeCurrent/release, which belong to the
// one thread that uses that shared context. Xlib must have been initialised for threads
// (X11Connection does so) before a shared context is used on another thread.

#include "platform/compile_context.h"
#include "platform/result.h"

#include <X11/Xlib.h>

#include <memory>
#include <set>
#include <string>

namespace tavel {

class GlxSharedContext;

class GlxContext {
public:
    // A failure when the display lacks GLX 1.3 with GLX_ARB_create_context_profile, an
    // RGBA8 double-buffered window config, or an OpenGL 3.3 core context. With
    // `forVisual`, the config of that X visual is preferred, then one of its depth: for
    // drawing into a window another client made.
    static Result<std::unique_ptr<GlxContext>> create(Display* display, int screen,
                                                      VisualID forVisual = 0);
    ~GlxContext();
    GlxContext(const GlxContext&) = delete;
    GlxContext& operator=(const GlxContext&) = delete;

    Display* display() const { return display_; }
    int screen() const { return screen_; }
    // Windows the context draws into are created with this visual and depth.
    Visual* visual() const { return visual_; }
    int depth() const { return depth_; }
    // GL_RENDERER of the context ("llvmpipe (LLVM 15.0.6, 256 bits)", a GPU's name), read
    // once when it was made (or at the first bound drawable where it could be bound
    // neither without one nor on a pbuffer); empty until then.
    const std::string& renderer() const { return renderer_; }

    // The GL drawable of `window` (a GLX window, which the driver keeps with its buffers
    // for as long as it exists, however often the context moves between windows).
    // `window` must have been created with visual() (or have a visual of depth() that the
    // context was chosen for) and outlive the drawable; another client's window that is
    // destroyed first makes its requests fail with X errors, nothing worse. Frames
    // drawn into it do not wait for the vertical blank, where the driver offers
    // GLX_EXT_swap_control or GLX_MESA_swap_control. None when GLX refuses.
    unsigned long createDrawable(Window window);
    // Unbinds the context if it is bound to `drawable`, then destroys the drawable: call
    // before destroying its window.
    void destroyDrawable(unsigned long drawable);
    // Binds the context to `drawable` on the calling (main) thread; false when GLX
    // refuses or the drawable is not one of this context's live drawables, so nothing can
    // draw into a window that is gone.
    bool makeCurrent(unsigned long drawable);
    // Shows the back buffer of `drawable`.
    void swapBuffers(unsigned long drawable);

    // A new context in this context's share group, for a background thread; nothing
    // when the driver cannot make one it can bind.
    std::unique_ptr<GlxSharedContext> createShared();

private:
    GlxContext() = default;

    Display* display_ = nullptr;
    int screen_ = 0;
    void* config_ = nullptr;   // GLXFBConfig
    void* context_ = nullptr;  // GLXContext
    Visual* visual_ = nullptr;
    int depth_ = 0;
    std::set<unsigned long> drawables_;  // made by createDrawable and not destroyed yet
    unsigned long current_ = None;       // the drawable the context is bound to, or None
    bool swapControlExt_ = false;
    bool swapControlMesa_ = false;
    std::string renderer_;
};

// A context of the main context's share group, bound on one background thread.
class GlxSharedContext final : public CompileContext {
public:
    ~GlxSharedContext() override;
    GlxSharedContext(const GlxSharedContext&) = delete;
    GlxSharedContext& operator=(const GlxSharedContext&) = delete;

    // The using thread. Binds with no drawable (or a 1x1 pbuffer where the driver
    // requires a drawable); false when refused.
    bool makeCurrent() override;
    // The using thread. Unbinds it, so it can be destroyed from another thread.
    void release() override;

private:
    friend class GlxContext;
    GlxSharedContext(Display* display, void* context, unsigned long pbuffer)
        : display_(display), context_(context), pbuffer_(pbuffer) {}
    Display* display_;
    void* context_;          // GLXContext
    unsigned long pbuffer_;  // GLXPbuffer, None when the context binds without one
};

}  // namespace tavel
