#include <epoxy/gl.h>

#include "platform/x11/glx_surface.h"

namespace tavel {

GlxSurface::GlxSurface(GlxContext& context, Window window, int pixelWidth, int pixelHeight)
    : context_(context),
      drawable_(context.createDrawable(window)),
      width_(pixelWidth),
      height_(pixelHeight) {}

GlxSurface::~GlxSurface() {
    context_.destroyDrawable(drawable_);
}

bool GlxSurface::makeCurrent() {
    if (!context_.makeCurrent(drawable_)) return false;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
}

}  // namespace tavel
