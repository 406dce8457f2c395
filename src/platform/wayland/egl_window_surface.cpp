#include <epoxy/gl.h>

#include "platform/wayland/egl_window_surface.h"

#include <wayland-egl.h>

#include <algorithm>

namespace tavel {

EglWindowSurface::EglWindowSurface(EglContext& context, wl_surface* surface, int pixelWidth,
                                   int pixelHeight, PresentHooks hooks)
    : context_(context),
      hooks_(std::move(hooks)),
      width_(std::max(1, pixelWidth)),
      height_(std::max(1, pixelHeight)),
      window_(wl_egl_window_create(surface, width_, height_)),
      eglSurface_(window_ ? context.createSurface(window_) : nullptr) {}

EglWindowSurface::~EglWindowSurface() {
    context_.destroySurface(eglSurface_);
    if (window_) wl_egl_window_destroy(window_);
}

bool EglWindowSurface::makeCurrent() {
    if (!context_.makeCurrent(eglSurface_)) return false;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
}

void EglWindowSurface::present() {
    if (hooks_.beforeSwap) hooks_.beforeSwap();
    context_.swapBuffers(eglSurface_);
    if (hooks_.afterSwap) hooks_.afterSwap();
}

void EglWindowSurface::setPixelSize(int width, int height) {
    width_ = std::max(1, width);
    height_ = std::max(1, height);
    if (window_) wl_egl_window_resize(window_, width_, height_, 0, 0);
}

void EglWindowSurface::presentBlack() {
    if (!makeCurrent()) return;
    glViewport(0, 0, width_, height_);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    present();
}

}  // namespace tavel
