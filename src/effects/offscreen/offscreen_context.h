#pragma once
// A GL 3.3 core context with no window, for rendering into framebuffers.
//
// Tries Mesa's surfaceless platform, then an EGL device, then the default display.
// All contexts share one process-wide EGL display, which is never terminated.

#include <memory>
#include <string>

namespace tavel {

class OffscreenContext {
public:
    // Nothing when no display or context can be made (no EGL, no GL 3.3).
    static std::unique_ptr<OffscreenContext> create();
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    // Binds the context to the calling thread; false when the driver refuses.
    bool makeCurrent();
    // Unbinds it from the calling thread, so another thread may take it next.
    void release();

private:
    OffscreenContext(void* display, void* context, void* surface)
        : display_(display), context_(context), surface_(surface) {}
    void* display_;
    void* context_;
    void* surface_;  // a 1x1 pbuffer where surfaceless contexts are not supported
};

}  // namespace tavel
