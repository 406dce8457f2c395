#include "platform/x11/glx_surface.h"

namespace tavel {

GlxSurface::GlxSurface(GlxContext& context, Window window, int pixelWidth, int pixelHeight)
    : context_(context), window_(window), width_(pixelWidth), height_(pixelHeight) {
    context_.disableSwapWait(window_);
}

GlxSurface::~GlxSurface() {
    context_.forgetWindow(window_);
}

}  // namespace tavel
